#include "GatewayFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/clock/Clock.h"

namespace varno::test {

void Pump(int ms) { AgentOnPty::Pump(ms); }

bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() >= ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// ---- the agent ---------------------------------------------------------------

GatewayAgent::GatewayAgent(const QByteArray& setLines, const QByteArray& logLines)
    // No poll timer fires by itself either.
    : AgentOnPty("[Set]\n" + setLines + "\n[Log]\n" + logLines +
                 "\n[Timer]\nANInterval=1000000\nSWInterval=1000000\nURInterval=1000000\n"
                 "URIntervalBezDat=1000000\n")
{
}

quint16 GatewayAgent::Port() const { return form->Gateway() ? form->Gateway()->Port() : 0; }

QByteArray GatewayAgent::NextToPbx(int ms)
{
    if (!pbx.WaitFor(taken_ + 1, ms))
        return {};
    return pbx.Received.at(taken_++).Payload;
}

void GatewayAgent::ReplyToLast(const QByteArray& payload)
{
    pbx.Reply(LastSeq(), payload);
    Pump(30);
}

void GatewayAgent::StartUp()
{
    QByteArray config = Bytes({0});
    for (int i = 0; i < 16; ++i)
        config.append(static_cast<char>(i == 4 ? 1 : 0x40 + i));
    const struct {
        QByteArray request, reply;
    } steps[] = {
        {Bytes({13}), config},
        {Bytes({2}), Bytes({0, 3, 0x12, 30, 0, 0, 0, 0})},
        {Bytes({0, 14, 0}), Bytes({0, 14, 0, 1, 2, 3, 4, 2, 10, 0, 0})},
    };
    for (const auto& step : steps) {
        Tick();
        if (NextToPbx() != step.request)
            throw std::runtime_error("start-up request not sent");
        ReplyToLast(step.reply);
    }
}

int GatewayAgent::CountTag(const QString& tag) const
{
    int n = 0;
    for (const QString& line : LogLines())
        n += line.startsWith(tag + " ") ? 1 : 0;
    return n;
}

// ---- a client ------------------------------------------------------------------

bool TcpClient::Start(quint16 port)
{
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    // Each request leaves at once, also while an earlier one is not yet
    // acknowledged (the agent answers forwarded requests only later).
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    return errno == EINPROGRESS;
}

bool TcpClient::Connect(quint16 port)
{
    if (!Start(port))
        return false;
    const bool writable = PumpUntil([this]() {
        pollfd p{fd_, POLLOUT, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
    });
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
    Pump(10);  // the agent accepts
    return writable && error == 0;
}

bool TcpClient::Send(const QByteArray& bytes)
{
    qsizetype off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + off, static_cast<size_t>(bytes.size() - off), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN)
                return false;
            Pump(1);
            continue;
        }
        off += n;
    }
    return true;
}

void TcpClient::Poll()
{
    if (fd_ < 0)
        return;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0)
            return;
        received_.append(buf, n);
    }
}

QByteArray TcpClient::Receive(int ms)
{
    PumpUntil(
        [this]() {
            Poll();
            return !received_.isEmpty();
        },
        ms);
    QByteArray out;
    out.swap(received_);
    return out;
}

bool TcpClient::Silent(int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        Poll();
    } while (t.elapsed() < ms);
    return received_.isEmpty();
}

void TcpClient::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

// ---- the clock -------------------------------------------------------------------

ManualClock::ManualClock(double start) : now_(start)
{
    SetClockForTest([this]() { return now_; });
}

ManualClock::~ManualClock() { SetClockForTest({}); }

void ManualClock::AddMs(double ms) { now_ += ms / MsPerDay; }

}  // namespace varno::test
