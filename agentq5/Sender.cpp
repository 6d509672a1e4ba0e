#include "agentq5/Sender.h"

#include "agentq5/DebugLog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

constexpr int maxRetrySeconds = 600;
// Files another process left in the spool are looked at this often while idle.
constexpr int64_t idleRescanMs = 30000;
constexpr int64_t lockBusyRetryMs = 1000;

int64_t NowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string FirstLine(const std::string& text)
{
    const size_t end = text.find('\n');
    return text.substr(0, end == std::string::npos ? text.size() : end);
}

}  // namespace

Sender::Sender(Spool& spool, int timeoutSeconds, int retrySeconds)
    : spool_(spool), timeoutSeconds_(timeoutSeconds), retrySeconds_(retrySeconds)
{
    stop_.fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Sender::~Sender()
{
    Join();
    if (stop_.fd >= 0)
        ::close(stop_.fd);
}

bool Sender::Start()
{
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& error) {
        LogLine(LogErrors, "no sender thread: %s", error.what());
        return false;
    }
    return true;
}

void Sender::Wake()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    woken_ = true;
    changed_.notify_all();
}

void Sender::Stop()
{
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    stop_.requested.store(true);
    if (stop_.fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(stop_.fd, &one, sizeof one);
    }
}

void Sender::Join()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void Sender::WaitFor(int64_t milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_ || woken_; });
    woken_ = false;
}

bool Sender::SendOne(int64_t& nextDue)
{
    const int64_t now = NowMs();
    const std::vector<std::string> names = spool_.List();
    // Retries of messages that have left the spool (sent by another process) are forgotten.
    for (auto it = retries_.begin(); it != retries_.end();) {
        if (!std::binary_search(names.begin(), names.end(), it->first))
            it = retries_.erase(it);
        else
            ++it;
    }
    const std::string* chosen = nullptr;
    for (const std::string& name : names) {
        const auto retry = retries_.find(name);
        if (retry == retries_.end() || retry->second.due <= now) {
            chosen = &name;
            break;
        }
        if (nextDue == 0 || retry->second.due < nextDue)
            nextDue = retry->second.due;
    }
    if (chosen == nullptr)
        return false;
    std::string error;
    const std::optional<SpoolEntry> entry = spool_.Load(*chosen, error);
    if (!entry) {
        LogLine(LogErrors, "spool: %s; kept aside as bad-%s", error.c_str(), chosen->c_str());
        spool_.SetAside(*chosen);
        return true;
    }
    const CommandOutcome outcome = RunCommand(entry->command, entry->message, timeoutSeconds_, stop_);
    if (outcome.Succeeded()) {
        spool_.Remove(entry->name);
        retries_.erase(entry->name);
        LogLine(LogEvents, "message %s (type %c) to %s handed to %s", entry->name.c_str(), entry->type,
                entry->address.c_str(), entry->command[0].c_str());
        return true;
    }
    if (outcome.kind == CommandOutcome::Kind::Stopped) {
        LogLine(LogErrors, "message %s to %s: %s %s; it stays in the spool", entry->name.c_str(),
                entry->address.c_str(), entry->command[0].c_str(), outcome.Describe().c_str());
        return true;
    }
    Retry& retry = retries_[entry->name];
    retry.delay = retry.delay == 0 ? retrySeconds_ : std::min(retry.delay * 2, maxRetrySeconds);
    retry.due = NowMs() + static_cast<int64_t>(retry.delay) * 1000;
    LogLine(LogErrors, "message %s to %s: %s %s%s%s; next try in %d s", entry->name.c_str(), entry->address.c_str(),
            entry->command[0].c_str(), outcome.Describe().c_str(), outcome.output.empty() ? "" : ": ",
            FirstLine(outcome.output).c_str(), retry.delay);
    return true;
}

void Sender::Run()
{
    for (;;) {
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            if (stopping_)
                break;
            woken_ = false;
        }
        if (!spool_.TryLock()) {
            WaitFor(lockBusyRetryMs);
            continue;
        }
        int64_t nextDue = 0;
        const bool sent = SendOne(nextDue);
        spool_.Unlock();
        if (sent)
            continue;
        int64_t wait = idleRescanMs;
        if (nextDue != 0)
            wait = std::max<int64_t>(1, std::min(wait, nextDue - NowMs()));
        WaitFor(wait);
    }
    spool_.Unlock();
}

}  // namespace varno::agentq5
