#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "agent/core/AgentContext.h"
#include "agent/pbx/States.h"

namespace varno {

class TConversation;
class TData;
class TQLIN;
class TQlinEndpoint;

// The agent's side of the line interface: binds libQLIN2.so and the
// notification endpoint, publishes the PBX's line names and line states to
// the clients, and turns the clients' commands (speaker, microphone,
// volume, dialling) into key requests (#) for the PBX.
//
// The library is called with short waits only (a client stopped inside a
// call holds the block's lock): a command that could not be taken is taken
// again at the next tick.
class TLineInterface : public QObject {
    Q_OBJECT
public:
    // The client slots of the line interface.
    static constexpr int SlotCount = 5;
    // The message number of command notifications.
    static constexpr uint32_t AgentMessage = 33169;
    // Key requests of client commands that may wait at once: a client that
    // floods commands must not crowd the agent's own requests out of the queue.
    static constexpr int MaxWaitingKeyRequests = 24;
    // At most this many characters of a dial text are dialled, 8 per request.
    static constexpr int MaxDialCharacters = 30;
    static constexpr int DialCharactersPerRequest = 8;

    TLineInterface(const TAgentContext& context, TConversation& conversation, TData& model);
    ~TLineInterface() override;
    TLineInterface(const TLineInterface&) = delete;
    TLineInterface& operator=(const TLineInterface&) = delete;

    // Start-up: loads the library from `programDir` (or the library path),
    // binds the endpoint under `handle`, "QLIN" "Start", QLIN_Init, "QLIN"
    // "Init". False when the library or one of its entry points is missing:
    // one "QLIN" line said which, and nothing of it is called.
    bool Start(const QString& programDir, uint32_t handle);
    // Shutdown: QLIN_DeInit, the endpoint closed, the library unloaded.
    void Stop();
    bool Bound() const { return bound_; }
    // The endpoint's socket name, empty when none is bound.
    QString EndpointName() const;

    // A command notification for `slot`: takes one command and queues its
    // key requests.
    void HandleQlinMessage(int slot);
    // The tick: commands whose notification came while the library's lock
    // could not be had are taken now.
    void RetryCommands();
    // The line list named line `index`.
    void PublishLineName(int index, const char* name);
    // A line-state record for the clients of its line.
    void PublishLineState(const varno::TStates& record);

signals:
    // A client asked for the window (show command of the line interface).
    void showRequested(int command);

private:
    // False when the lock could not be had: try again later.
    bool TakeCommand(int slot);
    void QueueCommand(const TStates& command);
    // One # request per argument, built from QlinCommand.
    void QueueKeyRequests(const int* arguments, int count);
    void ReportIgnored(const QString& why);
    void LogLine(const QString& text) const;

    const TAgentContext& context_;
    TConversation& conversation_;
    TData& model_;
    std::unique_ptr<TQLIN> qlin_;
    std::unique_ptr<TQlinEndpoint> endpoint_;
    bool bound_ = false;
    // Notifications per slot still to be taken.
    std::array<int, SlotCount> retries_{};
    bool keyRequestsFull_ = false;
    long ignoredDatagrams_ = 0;
    QElapsedTimer ignoredReported_;
};

}  // namespace varno
