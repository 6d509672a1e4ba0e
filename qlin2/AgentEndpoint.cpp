#include "qlin2/AgentEndpoint.h"

#include "qlin2/qlin2.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace varno::qlin2 {

bool NotifyAgent(const char* sharedName, uint32_t window, uint32_t message, int32_t first, int32_t second)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract name: a zero byte, then the name without a terminating zero.
    const size_t length =
        QLIN2_FormatEndpointName(address.sun_path + 1, sizeof address.sun_path - 1, window, sharedName);
    if (length == 0)
        return false;
    const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

    uint32_t words[3] = {message, static_cast<uint32_t>(first), static_cast<uint32_t>(second)};
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd == -1)
        return false;
    ssize_t sent;
    do {
        sent = sendto(fd, words, sizeof words, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                      addressLength);
    } while (sent == -1 && errno == EINTR);
    close(fd);
    return sent == static_cast<ssize_t>(sizeof words);
}

}  // namespace varno::qlin2
