// Sending through a sendmail stand-in (a shell script that records its arguments and standard
// input): every address type, hostile input, failures, hangs, restarts and stopping.
#include "tests/agentq5/GatewayFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace varno::agentq5::test {
namespace {

class Agentq5Send : public GatewayTest {
protected:
    void SetUp() override
    {
        GatewayTest::SetUp();
        mailbox_ = AddMailbox("anna", "Anna Nová", "201");
        routes_ = "[Routes]\nQ=%s@sms.example.net\nV=|" + sendmail_ + " --voice %s\nZ=|" + sendmail_ + " --pager=%s\n";
    }
    void Start()
    {
        WriteConfig("From=PBX Agent <agent@pbx.example>", routes_);
        ASSERT_EQ(Init(), 0);
    }
    bool SentCount(size_t count, int timeoutMs = 8000)
    {
        return WaitUntil([&] { return Sent().size() >= count; }, timeoutMs) && Sent().size() == count;
    }
    std::vector<std::string> Spooled() const
    {
        std::vector<std::string> names;
        for (const std::string& name : FilesIn(work_ + "/agentq5-spool")) {
            if (name[0] == 'm')
                names.push_back(name);
        }
        return names;
    }

    std::string mailbox_;
    std::string routes_;
};

TEST_F(Agentq5Send, EachAddressTypeLeavesTheWayItsRouteSays)
{
    Start();
    EXPECT_EQ(PosliStavovouZpravu("tech@example.net", 'I', "Ústředna nedostupná", "Linka 5 je mimo provoz.", 1), 0);
    ASSERT_TRUE(SentCount(1));
    EXPECT_EQ(PosliStavovouZpravu("+420777123456", 'Q', "SMS", "text", '1'), 0);
    ASSERT_TRUE(SentCount(2));
    EXPECT_EQ(PosliStavovouZpravu("301", 'V', "Hlas", "text", '1'), 0);
    ASSERT_TRUE(SentCount(3));
    EXPECT_EQ(PosliStavovouZpravu("7", 'Z', "Pager", "text", '1'), 0);
    ASSERT_TRUE(SentCount(4));
    EXPECT_EQ(PosliStavovouZpravu("plain@example.net", 0, "type zero", "is a mail", 1), 0);
    ASSERT_TRUE(SentCount(5));
    const std::vector<SentMessage> sent = Sent();

    const SentMessage& mail = sent[0];
    EXPECT_EQ(mail.arguments, (std::vector<std::string>{"-t", "-i"}));
    EXPECT_EQ(mail.Header("From"), "PBX Agent <agent@pbx.example>");
    EXPECT_EQ(mail.Header("To"), "tech@example.net");
    EXPECT_EQ(mail.Header("Subject").rfind("=?UTF-8?B?", 0), 0U);
    EXPECT_NE(mail.Header("Date"), "<none>");
    const std::string id = mail.Header("Message-ID");
    EXPECT_EQ(id.front(), '<');
    EXPECT_NE(id.find('@'), std::string::npos);
    EXPECT_EQ(mail.Header("Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(mail.Header("X-Varno-Origin"), "trap");
    EXPECT_EQ(mail.Body(), "Linka 5 je mimo provoz.\n");

    EXPECT_EQ(sent[1].arguments, (std::vector<std::string>{"-t", "-i"}));
    EXPECT_EQ(sent[1].Header("To"), "+420777123456@sms.example.net");
    EXPECT_EQ(sent[1].Header("X-Varno-Origin"), "pbx");
    EXPECT_EQ(sent[2].arguments, (std::vector<std::string>{"--voice", "301"}));
    EXPECT_EQ(sent[2].Header("To"), "301");
    EXPECT_EQ(sent[3].arguments, (std::vector<std::string>{"--pager=7"}));
    EXPECT_EQ(sent[4].Header("To"), "plain@example.net");
    EXPECT_NE(sent[0].Header("Message-ID"), sent[4].Header("Message-ID"));
    EXPECT_TRUE(WaitUntil([&] { return Spooled().empty(); }));
}

TEST_F(Agentq5Send, RefusalsHaveTheirNumbers)
{
    EXPECT_EQ(PosliStavovouZpravu("a@b", 'I', "s", "t", 1), AQ5_SEND_NOT_INITIALISED);
    Start();
    struct Case {
        const char* address;
        char type;
        int result;
    };
    const std::vector<Case> cases = {
        {"", 'I', AQ5_SEND_NO_ADDRESS},
        {nullptr, 'I', AQ5_SEND_NO_ADDRESS},
        {"a@b\r\nBcc: evil@example.com", 'I', AQ5_SEND_NO_ADDRESS},
        {"a@b\tc", 'Q', AQ5_SEND_NO_ADDRESS},
        {"-oQ/tmp/x", 'V', AQ5_SEND_NO_ADDRESS},
        {"bad\xff", 'I', AQ5_SEND_NO_ADDRESS},
        {"123", 'F', AQ5_SEND_NO_ROUTE},
        {"999", 'L', AQ5_SEND_NO_MAILBOX},
        {"a@b", 'X', AQ5_SEND_UNKNOWN_TYPE},
        {"a@b", 'i', AQ5_SEND_UNKNOWN_TYPE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PosliStavovouZpravu(c.address, c.type, "s", "t", 1), c.result) << (c.address ? c.address : "null");
    EXPECT_TRUE(Spooled().empty());
    EXPECT_EQ(PosliStavovouZpravu("a@b", 'I', nullptr, nullptr, 1), 0);  // no subject, no text: still a message
    ASSERT_TRUE(SentCount(1));
    EXPECT_EQ(Sent()[0].Header("Subject"), "");
}

TEST_F(Agentq5Send, HostileAddressesRunNothingAndInjectNoHeader)
{
    Start();
    const std::string pwned = root_ + "/pwned";
    const std::vector<std::string> addresses = {"x; touch " + pwned, "$(touch " + pwned + ")", "`touch " + pwned + "`",
                                                "a@b | touch " + pwned, "\"quoted\" 'a'"};
    for (const std::string& address : addresses)
        ASSERT_EQ(PosliStavovouZpravu(address.c_str(), 'V', "s", "t", '1'), 0) << address;
    ASSERT_EQ(PosliStavovouZpravu(addresses[0].c_str(), 'I', "hi\r\nBcc: evil@example.com", "body\r\n.\r\n", '1'), 0);
    ASSERT_TRUE(SentCount(addresses.size() + 1));
    const std::vector<SentMessage> sent = Sent();
    for (size_t i = 0; i < addresses.size(); ++i) {
        EXPECT_EQ(sent[i].arguments, (std::vector<std::string>{"--voice", addresses[i]}));
        EXPECT_EQ(sent[i].Header("To"), addresses[i]);
    }
    const SentMessage& mail = sent.back();
    const std::string header = mail.message.substr(0, mail.message.find("\n\n"));
    EXPECT_EQ(header.find("\nBcc:"), std::string::npos);
    EXPECT_EQ(mail.Header("Subject"), "hi  Bcc: evil@example.com");
    EXPECT_EQ(mail.Body(), "body\n.\n");
    EXPECT_FALSE(Exists(pwned));
}

TEST_F(Agentq5Send, LocalDeliveryLandsInTheMailboxAndIsCounted)
{
    Start();
    Read(AQ5_MODE_ALL);
    ConfirmAll();
    EXPECT_EQ(PosliStavovouZpravu("201", 'L', "Vzkaz", "Zavolejte zpět.", '1'), 0);
    EXPECT_EQ(PosliStavovouZpravu("Anna Nová", 'L', "By owner", "second", '1'), 0);
    const std::vector<std::string> delivered = FilesIn(mailbox_ + "/new");
    ASSERT_EQ(delivered.size(), 2U);
    EXPECT_TRUE(FilesIn(mailbox_ + "/tmp").empty());
    for (const std::string& name : delivered) {
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(name.find(':'), std::string::npos);
        EXPECT_NE(name.find(".M"), std::string::npos);
    }
    const std::string text = ReadFile(mailbox_ + "/new/" + delivered[0]);
    EXPECT_NE(text.find("\nTo: 201\n"), std::string::npos);
    EXPECT_NE(text.find("\n\nZavolejte zpět.\n"), std::string::npos);
    EXPECT_EQ(FastTest(), 1);
    const std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].With(0).size(), 2U);
    EXPECT_EQ(read[0].texts, 2U);
    ConfirmAll();
    EXPECT_TRUE(Sent().empty());  // never through sendmail

    RemoveTree(mailbox_);
    EXPECT_EQ(PosliStavovouZpravu("201", 'L', "s", "t", '1'), AQ5_SEND_SPOOL_FAILED);
}

TEST_F(Agentq5Send, FailingCommandIsRetriedUntilItSucceedsAndSentOnce)
{
    Start();
    WriteFile(root_ + "/fail-once", "");
    ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', "retry", "text", 1), 0);
    ASSERT_TRUE(SentCount(1));
    EXPECT_FALSE(Exists(root_ + "/fail-once"));
    EXPECT_TRUE(WaitUntil([&] { return Spooled().empty(); }));

    // A program that does not exist is a failure like any other: tried again, not dropped.
    DeInicializaceQ5Komunikace();
    WriteConfig("", "[Routes]\nV=|" + root_ + "/not-yet-installed %s\n");
    ASSERT_EQ(Init(), 0);
    ASSERT_EQ(PosliStavovouZpravu("301", 'V', "s", "t", '1'), 0);
    ASSERT_TRUE(WaitUntil([&] { return Spooled().size() == 1; }));
    ::symlink(sendmail_.c_str(), (root_ + "/not-yet-installed").c_str());
    ASSERT_TRUE(SentCount(2));
    EXPECT_EQ(Sent()[1].arguments, std::vector<std::string>{"301"});
}

TEST_F(Agentq5Send, HangingCommandIsKilledAfterItsTimeoutAndTriedAgain)
{
    Start();
    WriteFile(root_ + "/hang-once", "");
    ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', "hang", "text", 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return Exists(root_ + "/hanging"); }));
    ASSERT_TRUE(SentCount(1));  // Timeout=1 killed the first try, Retry=1 made the second
    EXPECT_EQ(Sent()[0].Header("Subject"), "hang");
}

TEST_F(Agentq5Send, SpoolSurvivesARestartAndIsSentInOrder)
{
    Start();
    WriteFile(root_ + "/fail", "");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', ("msg " + std::to_string(i)).c_str(), "x", 1), 0);
    EXPECT_EQ(Spooled().size(), 3U);
    DeInicializaceQ5Komunikace();
    EXPECT_EQ(Spooled().size(), 3U);
    ::unlink((root_ + "/fail").c_str());
    ASSERT_EQ(Init(), 0);
    ASSERT_TRUE(SentCount(3));
    const std::vector<SentMessage> sent = Sent();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sent[i].Header("Subject"), "msg " + std::to_string(i));
    EXPECT_TRUE(WaitUntil([&] { return Spooled().empty(); }));
}

TEST_F(Agentq5Send, StoppingKillsTheRunningCommandAndKeepsTheSpool)
{
    Start();
    WriteFile(root_ + "/hang", "");
    ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', "first", "x", 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return Exists(root_ + "/hanging"); }));
    EXPECT_EQ(ZastavAkci(), 0);
    ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', "after the stop", "x", 1), 0);
    EXPECT_EQ(Spooled().size(), 2U);
    ::unlink((root_ + "/hang").c_str());
    ::unlink((root_ + "/hanging").c_str());
    DeInicializaceQ5Komunikace();  // waits for the sender: the hanging command is killed
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Spooled().size(), 2U);
    ASSERT_EQ(Init(), 0);
    ASSERT_TRUE(SentCount(2));
    EXPECT_EQ(Sent()[0].Header("Subject"), "first");
}

TEST_F(Agentq5Send, UnreadableSpoolFileIsSetAsideAndTheRestIsSent)
{
    Start();
    DeInicializaceQ5Komunikace();
    WriteFile(work_ + "/agentq5-spool/m00000000000000000000-0000000001-0000000000", "not a spool entry\n");
    ASSERT_EQ(Init(), 0);
    ASSERT_EQ(PosliStavovouZpravu("a@example.net", 'I', "good", "x", 1), 0);
    ASSERT_TRUE(SentCount(1));
    EXPECT_TRUE(Exists(work_ + "/agentq5-spool/bad-m00000000000000000000-0000000001-0000000000"));
}

}  // namespace
}  // namespace varno::agentq5::test
