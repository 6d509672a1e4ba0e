#include "Query.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varno::pbxquery {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes that follow the first part of a reply within this pause belong to it.
constexpr int kSettleMs = 30;

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
    int Fd() const { return fd_; }

private:
    int fd_;
};

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on fd until the deadline; false on time-out.
bool WaitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

std::string ErrnoText(int e) { return std::strerror(e); }

// A connected, non-blocking socket, or -1 with the reason.
int ConnectTo(const std::string& host, uint16_t port, Clock::time_point deadline, std::string* error)
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
            why = ErrnoText(errno);
            continue;
        }
        int e = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            e = errno;
            if (e == EINPROGRESS) {
                if (!WaitFor(fd, POLLOUT, MsLeft(deadline))) {
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
            why = ErrnoText(e);
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
    const int fd = ConnectTo(host, port, deadline, &result.Error);
    if (fd < 0) {
        result.Outcome = QueryResult::NotConnected;
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
        } else if (errno == EAGAIN && WaitFor(fd, POLLOUT, MsLeft(deadline))) {
            continue;
        } else if (errno != EINTR) {
            result.Outcome = QueryResult::SendFailed;
            result.Error =
                "cannot send the request: " + (errno == EAGAIN ? std::string("timed out") : ErrnoText(errno));
            return result;
        }
    }

    uint8_t buf[4096];
    for (;;) {
        const int wait = result.Reply.empty() ? MsLeft(deadline) : std::min(kSettleMs, MsLeft(deadline));
        if (!WaitFor(fd, POLLIN, wait))
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            result.Reply.insert(result.Reply.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (result.Reply.empty()) {
            result.Outcome = QueryResult::Closed;
            result.Error = n == 0 ? "the agent closed the connection without a reply"
                                  : "connection lost before a reply: " + ErrnoText(errno);
            return result;
        }
        break;  // closed after its reply
    }
    if (result.Reply.empty()) {
        result.Outcome = QueryResult::NoReply;
        result.Error = "no reply within " + std::to_string(timeoutMs) + " ms";
        return result;
    }
    result.Outcome = QueryResult::Answered;
    return result;
}

}  // namespace varno::pbxquery
