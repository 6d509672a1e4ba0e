#include "AgentSocket.h"

#include "qlin2/qlin2.h"

#include <cstddef>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace varno::qlin2test {

AgentSocket::AgentSocket(uint32_t window)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = QLIN2_EndpointName(address.sun_path + 1, sizeof address.sun_path - 1, window);
    if (length == 0)
        throw std::runtime_error("no endpoint name");
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (fd_ == -1 || bind(fd_, reinterpret_cast<sockaddr*>(&address), addressLength) != 0)
        throw std::runtime_error("cannot bind the agent endpoint");
}

AgentSocket::~AgentSocket() { close(fd_); }

int AgentSocket::pendingSize(int timeoutMs)
{
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return -1;
    return static_cast<int>(recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC));
}

std::optional<std::array<uint32_t, 3>> AgentSocket::receive(int timeoutMs)
{
    if (pendingSize(timeoutMs) < 0)
        return std::nullopt;
    unsigned char bytes[64];
    const ssize_t size = recv(fd_, bytes, sizeof bytes, 0);
    if (size != 12)
        return std::nullopt;
    // Three little-endian words, whatever the host's byte order.
    std::array<uint32_t, 3> words{};
    for (size_t i = 0; i < 3; ++i)
        words[i] = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16 |
                   uint32_t(bytes[4 * i + 3]) << 24;
    return words;
}

}  // namespace varno::qlin2test
