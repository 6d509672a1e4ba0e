#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "PbxPeer.h"
#include "tests/support/Bytes.h"

namespace varno::test {

// An agent whose serial line is a pty played by the test and whose gateway
// listens on a free loopback port. The tick never fires by itself: the
// tests tick by hand, and no poll timer fires either.
struct GatewayAgent : AgentOnPty {
    // Lines added to sections Set and Log of the configuration file; they
    // take precedence over the fixture's own.
    explicit GatewayAgent(const QByteArray& setLines = {}, const QByteArray& logLines = {});

    quint16 Port() const;
    TGateway& Gateway() { return *form->Gateway(); }

    // Answers the start-up requests C, I, V.
    void StartUp();
    // Waits for the next packet to the PBX not taken yet; its payload, or an
    // empty array when none came.
    QByteArray NextToPbx(int ms = 2000);
    // Answers the packet taken last.
    void ReplyToLast(const QByteArray& payload);
    uint8_t LastSeq() const { return pbx.Received.at(taken_ - 1).Seq; }
    int SentToPbx() const { return static_cast<int>(pbx.Received.size()); }

    int CountTag(const QString& tag) const;

private:
    int taken_ = 0;
};

// Runs the event loop for a moment.
void Pump(int ms = 20);
// Runs the event loop until `done` holds or `ms` have passed.
bool PumpUntil(const std::function<bool()>& done, int ms = 3000);

// A loopback TCP client on a plain socket.
class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient() { Close(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;
    TcpClient(TcpClient&& other) noexcept : fd_(other.fd_), received_(std::move(other.received_)) { other.fd_ = -1; }

    // Starts connecting; the agent accepts when its event loop runs.
    bool Start(quint16 port);
    bool Connect(quint16 port);  // Start, then wait until the agent has it
    bool Send(const QByteArray& bytes);
    // Takes what has arrived so far, without waiting.
    void Poll();
    // Waits (running the agent) until at least one byte came; returns all
    // bytes received since the last Receive.
    QByteArray Receive(int ms = 2000);
    // Runs the agent for `ms` and tells whether nothing arrived meanwhile.
    bool Silent(int ms = 100);
    bool HasReply() const { return !received_.isEmpty(); }
    void Close();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    QByteArray received_;
};

// A clock that stands still until the test moves it.
class ManualClock {
public:
    explicit ManualClock(double start);
    ~ManualClock();
    double Now() const { return now_; }
    void Set(double value) { now_ = value; }
    void AddMs(double ms);

private:
    double now_;
};

}  // namespace varno::test
