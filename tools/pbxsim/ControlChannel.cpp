#include "tools/pbxsim/ControlChannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::pbxsim {

ControlChannel::ControlChannel(QObject* parent) : QObject(parent) {}

ControlChannel::~ControlChannel()
{
    Stop();
    if (!createdFifo_.empty())
        ::unlink(createdFifo_.c_str());
}

void ControlChannel::Stop()
{
    notifier_.reset();
    if (ownsFd_ && fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
}

bool ControlChannel::OpenStdin(std::string& /*error*/)
{
    Stop();
    fd_ = STDIN_FILENO;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    return true;
}

bool ControlChannel::OpenFifo(const std::string& path, std::string& error)
{
    Stop();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (::mkfifo(path.c_str(), 0600) != 0) {
            error = path + ": cannot create the pipe: " + std::strerror(errno);
            return false;
        }
        createdFifo_ = path;
    } else if (!S_ISFIFO(info.st_mode)) {
        error = path + ": exists and is not a named pipe";
        return false;
    }
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = path + ": cannot open the pipe: " + std::strerror(errno);
        return false;
    }
    ownsFd_ = true;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    return true;
}

void ControlChannel::Readable()
{
    char buffer[4096];
    // One read per wake-up: poll said bytes are there, so it does not block
    // even on a standard input left in blocking mode.
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        if (got < 0 && OnProblem)
            OnProblem(std::string("control channel read error: ") + std::strerror(errno));
        if (!pending_.empty() && !discarding_ && OnLine) {
            const std::string last = std::move(pending_);
            pending_.clear();
            OnLine(last);
        }
        Stop();
        return;
    }
    for (ssize_t i = 0; i < got; ++i) {
        const char c = buffer[i];
        if (c == '\n') {
            if (discarding_) {
                discarding_ = false;
            } else if (OnLine) {
                const std::string line = std::move(pending_);
                pending_.clear();
                OnLine(line);
                if (fd_ < 0)
                    return;  // the line stopped the channel
            }
            pending_.clear();
            continue;
        }
        if (discarding_)
            continue;
        if (pending_.size() >= MaxLine) {
            pending_.clear();
            discarding_ = true;
            if (OnProblem)
                OnProblem("control line longer than " + std::to_string(MaxLine) + " characters ignored");
            continue;
        }
        pending_ += c;
    }
}

}  // namespace varno::pbxsim
