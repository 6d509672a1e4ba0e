#include "Query.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pbxquery {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes that follow the first part of a reply within this pause belong to it.
constexpr int SettleMs = 30;

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on fd until the deadline; false on time-out.
bool waitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

std::string errnoText(int e) { return std::strerror(e); }

// A connected, non-blocking socket, or -1 with the reason.
int connectTo(const std::string& host, uint16_t port, Clock::time_point deadline, std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        *error = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return -1;
    }
    std::string why = "no address";
    int connected = -1;
    for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = errnoText(errno);
            continue;
        }
        int e = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            e = errno;
            if (e == EINPROGRESS) {
                if (!waitFor(fd, POLLOUT, msLeft(deadline))) {
                    e = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof e;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0)
                        e = errno;
                }
            }
        }
        if (e == 0) {
            connected = fd;
        } else {
            why = errnoText(e);
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (connected < 0)
        *error = "cannot connect to " + host + ":" + service + ": " + why;
    return connected;
}

}  // namespace

QueryResult Query(const std::string& host, uint16_t port, const std::vector<uint8_t>& request, int timeoutMs)
{
    QueryResult result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = connectTo(host, port, deadline, &result.error);
    if (fd < 0) {
        result.status = QueryResult::NotConnected;
        return result;
    }
    Socket socket(fd);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // One write: the gateway takes the bytes of one read as one request.
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<size_t>(n);
        } else if (errno == EAGAIN && waitFor(fd, POLLOUT, msLeft(deadline))) {
            continue;
        } else if (errno != EINTR) {
            result.status = QueryResult::SendFailed;
            result.error = "cannot send the request: " + (errno == EAGAIN ? std::string("timed out") : errnoText(errno));
            return result;
        }
    }

    uint8_t buf[4096];
    for (;;) {
        const int wait = result.reply.empty() ? msLeft(deadline) : std::min(SettleMs, msLeft(deadline));
        if (!waitFor(fd, POLLIN, wait))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            result.reply.insert(result.reply.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (result.reply.empty()) {
            result.status = QueryResult::Closed;
            result.error = n == 0 ? "the agent closed the connection without a reply"
                                  : "connection lost before a reply: " + errnoText(errno);
            return result;
        }
        break;  // closed after its reply
    }
    if (result.reply.empty()) {
        result.status = QueryResult::NoReply;
        result.error = "no reply within " + std::to_string(timeoutMs) + " ms";
        return result;
    }
    result.status = QueryResult::Answered;
    return result;
}

}  // namespace pbxquery
