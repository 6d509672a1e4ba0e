#include "agentq5/CommandRun.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace varno::agentq5 {
namespace {

constexpr size_t outputKept = 2048;

int64_t NowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The pieces posix_spawn needs, released on every way out.
class SpawnSetup {
public:
    SpawnSetup()
    {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
};

}  // namespace

std::string CommandOutcome::Describe() const
{
    switch (kind) {
    case Kind::Exited: return "exit status " + std::to_string(status);
    case Kind::Signalled: return "ended by signal " + std::to_string(status);
    case Kind::TimedOut: return "killed after its time-out";
    case Kind::Stopped: return "killed as the library stopped";
    case Kind::NotStarted: return std::string("could not be started: ") + std::strerror(status);
    case Kind::Lost: return "its end was not to be learned";
    }
    return "?";
}

CommandOutcome RunCommand(const std::vector<std::string>& command, const std::string& input, int timeoutSeconds,
                          const StopRequest& stop, int stopGraceSeconds)
{
    CommandOutcome outcome;
    if (command.empty()) {
        outcome.status = ENOENT;
        return outcome;
    }
    int inputPair[2] = {-1, -1};
    int outputPipe[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0) {
        outcome.status = errno;
        return outcome;
    }
    if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
        outcome.status = errno;
        CloseFd(inputPair[0]);
        CloseFd(inputPair[1]);
        return outcome;
    }
    pid_t pid = -1;
    {
        SpawnSetup setup;
        ::posix_spawn_file_actions_adddup2(&setup.actions, inputPair[1], STDIN_FILENO);
        ::posix_spawn_file_actions_adddup2(&setup.actions, outputPipe[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&setup.actions, outputPipe[1], STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // Descriptors the host program left inheritable are none of the command's business.
        ::posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, signal);
        ::posix_spawnattr_setflags(&setup.attributes,
                                   POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        ::posix_spawnattr_setpgroup(&setup.attributes, 0);
        ::posix_spawnattr_setsigmask(&setup.attributes, &none);
        ::posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
        std::vector<char*> argv;
        argv.reserve(command.size() + 1);
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        const bool searchPath = command[0].find('/') == std::string::npos;
        const int failed = searchPath
                               ? ::posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ)
                               : ::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
        CloseFd(inputPair[1]);
        CloseFd(outputPipe[1]);
        if (failed != 0) {
            outcome.status = failed;
            CloseFd(inputPair[0]);
            CloseFd(outputPipe[0]);
            return outcome;
        }
    }
    ::fcntl(inputPair[0], F_SETFL, O_NONBLOCK);
    ::fcntl(outputPipe[0], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    if (input.empty())
        CloseFd(inputPair[0]);
    const int64_t started = NowMs();
    int64_t deadline = started + static_cast<int64_t>(timeoutSeconds) * 1000;
    bool stopSeen = false;
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR) {
            outcome.kind = CommandOutcome::Kind::Lost;
            outcome.status = errno;
            ::kill(-pid, SIGKILL);
            CloseFd(inputPair[0]);
            CloseFd(outputPipe[0]);
            return outcome;
        }
        if (!stopSeen && stop.requested.load()) {
            stopSeen = true;
            const int64_t graceEnd = NowMs() + static_cast<int64_t>(stopGraceSeconds) * 1000;
            if (graceEnd < deadline)
                deadline = graceEnd;
        }
        const int64_t now = NowMs();
        if (now >= deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            outcome.kind = stopSeen ? CommandOutcome::Kind::Stopped : CommandOutcome::Kind::TimedOut;
            CloseFd(inputPair[0]);
            CloseFd(outputPipe[0]);
            return outcome;
        }
        pollfd fds[3];
        nfds_t count = 0;
        if (inputPair[0] >= 0)
            fds[count++] = {inputPair[0], POLLOUT, 0};
        if (outputPipe[0] >= 0)
            fds[count++] = {outputPipe[0], POLLIN, 0};
        if (!stopSeen && stop.fd >= 0)
            fds[count++] = {stop.fd, POLLIN, 0};
        // The child's end is learned by polling waitpid: its output may stay open in a grandchild.
        const int64_t wait = deadline - now < 50 ? deadline - now : 50;
        ::poll(fds, count, static_cast<int>(wait));
        if (inputPair[0] >= 0) {
            const ssize_t sent =
                ::send(inputPair[0], input.data() + written, input.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0)
                written += static_cast<size_t>(sent);
            if (written == input.size() || (sent < 0 && errno != EAGAIN && errno != EINTR))
                CloseFd(inputPair[0]);  // all given, or the command stopped reading
        }
        if (outputPipe[0] >= 0) {
            char buffer[4096];
            const ssize_t got = ::read(outputPipe[0], buffer, sizeof buffer);
            if (got > 0 && outcome.output.size() < outputKept)
                outcome.output.append(buffer, static_cast<size_t>(got) < outputKept - outcome.output.size()
                                                  ? static_cast<size_t>(got)
                                                  : outputKept - outcome.output.size());
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                CloseFd(outputPipe[0]);
        }
    }
    if (outputPipe[0] >= 0) {
        char buffer[4096];
        const ssize_t got = ::read(outputPipe[0], buffer, sizeof buffer);
        if (got > 0 && outcome.output.size() < outputKept)
            outcome.output.append(buffer, static_cast<size_t>(got));
    }
    CloseFd(inputPair[0]);
    CloseFd(outputPipe[0]);
    if (WIFEXITED(status)) {
        outcome.kind = CommandOutcome::Kind::Exited;
        outcome.status = WEXITSTATUS(status);
    } else {
        outcome.kind = CommandOutcome::Kind::Signalled;
        outcome.status = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return outcome;
}

}  // namespace varno::agentq5
