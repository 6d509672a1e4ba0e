// A program run as a child process, talked to line by line over its standard input and output.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace varno::qlin2test {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    void send(const std::string& line);
    // The next line of its output without the newline; "<timeout>" or "<eof>" when none came.
    std::string readLine(int timeoutMs = 20000);
    // send() followed by readLine().
    std::string ask(const std::string& line, int timeoutMs = 20000);

    // Closes its input and waits for it; returns the exit status, or -signal when killed.
    int finish(int timeoutMs = 20000);
    void kill();

private:
    int wait(int timeoutMs);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    int status_ = 0;
    bool reaped_ = false;
};

}  // namespace varno::qlin2test
