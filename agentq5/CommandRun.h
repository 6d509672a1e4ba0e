// Runs one sendmail or route command: program and arguments straight to posix_spawn (no shell),
// the message on its standard input, its output kept for the log, killed with its whole process
// group when it runs past its time or the library stops.
#ifndef VARNO_AGENTQ5_COMMANDRUN_H
#define VARNO_AGENTQ5_COMMANDRUN_H

#include <atomic>
#include <string>
#include <vector>

namespace varno::agentq5 {

// Set by the agent's thread to end a running command early; fd becomes readable at that moment.
struct StopRequest {
    std::atomic<bool> requested{false};
    int fd = -1;
};

struct CommandOutcome {
    enum class Kind { Exited, Signalled, TimedOut, Stopped, NotStarted, Lost };
    Kind kind = Kind::NotStarted;
    int status = 0;  // exit status, signal number or errno
    std::string output;

    bool Succeeded() const { return kind == Kind::Exited && status == 0; }
    std::string Describe() const;
};

// stopGraceSeconds: how long a command may go on after a stop was requested.
CommandOutcome RunCommand(const std::vector<std::string>& command, const std::string& input, int timeoutSeconds,
                          const StopRequest& stop, int stopGraceSeconds = 2);

}  // namespace varno::agentq5

#endif
