#include "agent/lineif/QlinEndpoint.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "qlin2/qlin2.h"

namespace varno {
namespace {

constexpr int kSlotCount = QLIN_SLOT_COUNT;

uint32_t word(const uint8_t* bytes, int index)
{
    const uint8_t* p = bytes + 4 * index;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

TQlinEndpoint::TQlinEndpoint(QObject* parent) : QObject(parent) {}

TQlinEndpoint::~TQlinEndpoint() { Close(); }

bool TQlinEndpoint::Bind(uint32_t handle, uint32_t message, QString* error)
{
    Close();
    char name[sizeof(sockaddr_un::sun_path)];
    const size_t length = QLIN2_EndpointName(name, sizeof name - 1, handle);
    if (length == 0) {
        *error =
            QStringLiteral("no valid endpoint name (environment variable %1)").arg(QLatin1String(QLIN_SHM_NAME_ENV));
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name, length);  // abstract: a zero byte first
    const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), addressLength) != 0) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(name), QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    fd_ = fd;
    message_ = message;
    name_ = QLatin1String(name);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TQlinEndpoint::ReadBatch);
    return true;
}

void TQlinEndpoint::Close()
{
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    name_.clear();
}

void TQlinEndpoint::ReadBatch()
{
    // At most one batch per wake-up: what is left wakes the loop again after
    // the other events have had their turn.
    for (int i = 0; i < BatchSize && fd_ >= 0; ++i) {
        uint8_t bytes[DatagramSize];
        // MSG_TRUNC: the datagram's real size, so that a longer one is not mistaken for a notification.
        const ssize_t size = recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT | MSG_TRUNC);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            return;  // EAGAIN: nothing more waits
        }
        Take(bytes, static_cast<long>(size));
    }
}

void TQlinEndpoint::Take(const uint8_t* bytes, long size)
{
    if (size != DatagramSize) {
        emit datagramIgnored(QStringLiteral("%1 bytes").arg(size));
        return;
    }
    const uint32_t message = word(bytes, 0);
    if (message == message_) {
        const auto slot = static_cast<int32_t>(word(bytes, 2));
        if (slot < 0 || slot >= kSlotCount) {
            emit datagramIgnored(QStringLiteral("slot %1").arg(slot));
            return;
        }
        emit commandNotified(slot);
        return;
    }
    if (message == QLIN_SHOW_MESSAGE) {
        emit showRequested(static_cast<int32_t>(word(bytes, 1)));
        return;
    }
    emit datagramIgnored(QStringLiteral("message %1").arg(message));
}

}  // namespace varno
