#include "platform/serial/PtyPair.h"

#include "platform/serial/CommError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace varno {

PtyPair::PtyPair(bool holdSlave)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        throw ECommError(CommErrorText::AccessDevice, errno, QStringLiteral("no pseudo-terminal available"));
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        const int err = errno;
        CloseAll();
        throw ECommError(CommErrorText::AccessDevice, err, QStringLiteral("pseudo-terminal could not be set up"));
    }
    slavePath_ = QString::fromLocal8Bit(name);
    if (holdSlave) {
        slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (slaveHold_ < 0 || ::tcgetattr(slaveHold_, &tio) != 0) {
            const int err = errno;
            CloseAll();
            throw ECommError(CommErrorText::AccessDevice, err, slavePath_);
        }
        ::cfmakeraw(&tio);
        ::tcsetattr(slaveHold_, TCSANOW, &tio);
    }
}

PtyPair::~PtyPair() { CloseAll(); }

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      slaveHold_(std::exchange(other.slaveHold_, -1)),
      slavePath_(std::move(other.slavePath_))
{
}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept
{
    if (this != &other) {
        CloseAll();
        master_ = std::exchange(other.master_, -1);
        slaveHold_ = std::exchange(other.slaveHold_, -1);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

int PtyPair::ReleaseMaster() { return std::exchange(master_, -1); }

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(std::exchange(master_, -1));
}

void PtyPair::CloseSlaveHold()
{
    if (slaveHold_ >= 0)
        ::close(std::exchange(slaveHold_, -1));
}

void PtyPair::CloseAll()
{
    CloseSlaveHold();
    CloseMaster();
}

}  // namespace varno
