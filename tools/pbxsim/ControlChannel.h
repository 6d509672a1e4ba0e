#pragma once
#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace varno::pbxsim {

// Statements that arrive while the simulator runs, one per line, from
// standard input or from a named pipe. Watched on the main thread.
class ControlChannel : public QObject {
public:
    explicit ControlChannel(QObject* parent = nullptr);
    ~ControlChannel() override;

    // Reads standard input; its end stops the channel, not the simulator.
    bool OpenStdin(std::string& error);
    // Reads a named pipe, created when missing (and then removed again by the
    // destructor). Held open for writing as well, so that writers may come
    // and go ("echo 'fault silent' > FIFO").
    bool OpenFifo(const std::string& path, std::string& error);

    std::function<void(const std::string& line)> OnLine;
    // A line too long to be a statement, or a read error.
    std::function<void(const std::string& problem)> OnProblem;

    static constexpr size_t MaxLine = 8192;

private:
    void Readable();
    void Stop();

    int fd_ = -1;
    bool ownsFd_ = false;
    bool discarding_ = false;  // inside an overlong line
    std::string pending_;
    std::string createdFifo_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace varno::pbxsim
