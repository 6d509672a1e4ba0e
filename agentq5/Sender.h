// The sender thread: hands the spooled messages, oldest first, to their commands. A command that
// fails or hangs is tried again after the first retry delay (5 s unless configured), then after
// twice as long each time, up to 10 minutes. Only the holder of the spool's lock sends, so two
// processes on one working directory never send a message twice.
#ifndef VARNO_AGENTQ5_SENDER_H
#define VARNO_AGENTQ5_SENDER_H

#include "agentq5/CommandRun.h"
#include "agentq5/Spool.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace varno::agentq5 {

class Sender {
public:
    Sender(Spool& spool, int timeoutSeconds, int retrySeconds);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Starts the thread; false when no thread could be had.
    bool Start();
    // A message was spooled.
    void Wake();
    // No more sending in this run; a running command is given 2 s, then killed. Returns at once.
    void Stop();
    // Stop() and waits for the thread.
    void Join();

private:
    struct Retry {
        int64_t due = 0;
        int delay = 0;
    };

    void Run();
    // Sends one due message; false when none was due. nextDue: the earliest retry still waiting.
    bool SendOne(int64_t& nextDue);
    void WaitFor(int64_t milliseconds);

    Spool& spool_;
    const int timeoutSeconds_;
    const int retrySeconds_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool woken_ = false;
    StopRequest stop_;
    std::map<std::string, Retry> retries_;
};

}  // namespace varno::agentq5

#endif
