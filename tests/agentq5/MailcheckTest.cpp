// mailcheck as the administrator runs it: a real process on the shared library.
#include "tests/agentq5/GatewayFixture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace varno::agentq5::test {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and standard error together
};

ToolRun Mailcheck(const std::vector<std::string>& arguments)
{
    ToolRun run;
    std::vector<std::string> words = {MAILCHECK_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    ::posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

class Agentq5Mailcheck : public GatewayTest {};

TEST_F(Agentq5Mailcheck, PrintsEveryMailboxAndSendsATestMessage)
{
    const std::string box = AddMailbox("anna", "Anna Nová", "201", true);
    mailboxSections_ += "[Mailbox lost]\nOwner=Nobody\nPhone=299\nMaildir=" + root_ + "/no-such-maildir\n";
    Deliver(box, "1.a");
    Deliver(box, "2.b");
    Deliver(box, "3.c", ".Fax");
    WriteConfig();
    const ToolRun run = Mailcheck({config_, "--workdir", work_, "--send", "I", "tech@example.net", "Test", "Hello"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("anna: owner \"Anna Nová\", phone \"201\": 2 texts, 1 faxes, 0 voice"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("lost: owner \"Nobody\", phone \"299\": unreadable"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("handed on"), std::string::npos) << run.output;
    const std::vector<SentMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].Header("To"), "tech@example.net");
    EXPECT_EQ(sent[0].Body(), "Hello\n");
}

TEST_F(Agentq5Mailcheck, InitialisationFailureSaysWhatTheNumberMeans)
{
    AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ToolRun run = Mailcheck({config_, "--user", "someone-else", "--workdir", work_});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("failed with 3: the user name differs from [Gateway] User="), std::string::npos)
        << run.output;
    run = Mailcheck({root_ + "/missing.ini", "--workdir", work_});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("failed with 1: the configuration file cannot be read"), std::string::npos) << run.output;
    run = Mailcheck({config_, "--workdir", work_, "--send", "F", "123", "s", "t"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("(22)"), std::string::npos) << run.output;
    run = Mailcheck({});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("usage:"), std::string::npos);
}

}  // namespace
}  // namespace varno::agentq5::test
