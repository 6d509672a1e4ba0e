#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <cstdint>
#include <memory>

namespace varno {

// The agent's notification endpoint of the line interface: the Unix datagram
// socket named after the agent's handle, watched on the event loop. A
// command notification names the slot to take a command from; a show
// request asks for the window. Anything else is dropped and counted. The
// socket is read in batches, so that a flood of datagrams cannot keep the
// event loop from the serial line.
class TQlinEndpoint : public QObject {
    Q_OBJECT
public:
    static constexpr int DatagramSize = 12;
    static constexpr int BatchSize = 64;

    explicit TQlinEndpoint(QObject* parent = nullptr);
    ~TQlinEndpoint() override;
    TQlinEndpoint(const TQlinEndpoint&) = delete;
    TQlinEndpoint& operator=(const TQlinEndpoint&) = delete;

    // Binds the endpoint of `handle`; notifications carry `message`. False,
    // with the reason, when the name is not valid or the socket cannot be bound.
    bool Bind(uint32_t handle, uint32_t message, QString* error);
    void Close();
    bool Bound() const { return fd_ >= 0; }
    // The socket's name in the abstract namespace (without its leading zero byte).
    const QString& Name() const { return name_; }

signals:
    void commandNotified(int slot);
    void showRequested(int command);
    // A datagram that is neither: `why` says what was wrong with it.
    void datagramIgnored(const QString& why);

private:
    void ReadBatch();
    void Take(const uint8_t* bytes, long size);

    int fd_ = -1;
    uint32_t message_ = 0;
    QString name_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace varno
