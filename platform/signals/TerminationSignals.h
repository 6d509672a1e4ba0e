#pragma once
#include <functional>
#include <memory>

class QSocketNotifier;

namespace varno {

// SIGTERM and SIGINT as a callback on the main thread: the handler only
// writes the signal number into a pipe that the event loop watches.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void(int signalNumber)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void Readable();
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace varno
