#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace varno::qlin2test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == -1)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execv(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    signal(SIGPIPE, SIG_IGN);
}

ChildProcess::~ChildProcess()
{
    if (!reaped_)
        kill();
    if (toChild_ != -1)
        close(toChild_);
    close(fromChild_);
}

void ChildProcess::send(const std::string& line)
{
    const std::string data = line + "\n";
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(toChild_, data.data() + done, data.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string ChildProcess::readLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return "<timeout>";
        pollfd p{fromChild_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = read(fromChild_, buffer, sizeof buffer);
        if (n <= 0)
            return "<eof>";
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

std::string ChildProcess::ask(const std::string& line, int timeoutMs)
{
    send(line);
    return readLine(timeoutMs);
}

int ChildProcess::wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped_) {
        pid_t r = waitpid(pid_, &status_, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            reaped_ = true;
            return -SIGKILL;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFSIGNALED(status_))
        return -WTERMSIG(status_);
    return WEXITSTATUS(status_);
}

int ChildProcess::finish(int timeoutMs)
{
    if (toChild_ != -1) {
        close(toChild_);
        toChild_ = -1;
    }
    return wait(timeoutMs);
}

void ChildProcess::kill()
{
    if (reaped_)
        return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
}

}  // namespace varno::qlin2test
