#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "agent/core/AgentContext.h"
#include "agent/core/PendingTable.h"
#include "agent/core/RequestBuilder.h"
#include "agent/core/RequestQueue.h"

namespace varno {

class TCommPax;

// The conversation with the PBX: one request at a time. Requests wait in
// the queue; every tick sends at most one and waits for its reply, counts
// missing replies, sends again, and declares the line failed after too many.
//
// The conversation alone changes the tick state, its counters, the queue and
// the pending table; the receive side and the gateway use the operations
// below, named after what they mean.
class TConversation : public QObject {
    Q_OBJECT
public:
    enum TickStates { Idle = 0, AwaitAgent = 1, ErrorPause = 2, AwaitClient = 20 };

    TConversation(const TAgentContext& context, TCommPax& port, TRequestBuilder& builder);

    // A # request given bytes is sent with exactly those bytes.
    bool QueueRequest(char kind, int32_t value, const uint8_t* data = nullptr, int length = 0);
    // One request of `kind` per `key` (a line's party lookup): a newer one
    // replaces what the waiting one carries. The reply's request carries the
    // argument it was sent with.
    void QueueKeyedRequest(char kind, int32_t key, int32_t argument);
    void QueueStartupRequests();  // C, I, V
    void AddPending(char kind, const uint8_t* data, int length, int32_t value, uint32_t queueEntry = 0,
                    int32_t argument = 0);
    std::unique_ptr<TRequest> TakePending(uint8_t seq) { return pending_.Take(seq); }
    // Reports the send and writes one packet with the next sequence number
    // (nothing is written without data or while the port is closed). Throws
    // ECommError when the line refuses the packet.
    void SendPacket(const QString& tag, const QString& text, const uint8_t* data, int length);
    // A client request sent at once, past the queue.
    void SendNow(char kind, int32_t handle, const uint8_t* data, int length, const QString& text);

    void TimerTickTimer();
    void CommPax1RxChr(uint8_t chr);

    // Any packet arrived: ends a reported line failure. True when there was
    // one, so that the recovery is reported once.
    bool EndLinkFailure();
    // A matched reply: removes the queue head when it is the request this
    // reply answers.
    void ReplyMatched(const TRequest& request);
    // The reply has been handled: the line is free for the next request.
    void ReplyHandled();
    // A TCP/IP client's request: sent at once when the line is free and
    // nothing waits, otherwise queued under the client's handle (a newer
    // request of the same client replaces the one waiting). `rendered` is
    // the request as the log shows it.
    void ForwardClientRequest(int32_t handle, const uint8_t* data, int length, const QString& rendered);
    // The client with `handle` has gone: what it still waits for keeps its
    // place under `noClient`.
    void ForgetClient(int32_t handle, int32_t noClient);
    // Port selection and the like: idle state, C, I, V, no errors counted.
    void Restart();
    // Shutdown: every waiting and pending request is dropped.
    void Clear();

    // The mail gateway's check before the counters write at the head of the
    // queue: true when counters changed and the write is to be sent. Without
    // a check there is nothing to write.
    std::function<bool()> MailboxCheck;

    const TRequestQueue& RequestQueue() const { return queue_; }
    const TPendingTable& PendingTable() const { return pending_; }
    uint8_t SequenceNumber() const { return sequenceNumber_; }
    bool TickBusy() const { return tickBusy_; }
    int TickState() const { return tickState_; }
    int TickCounter() const { return tickCounter_; }
    int ErrorCount() const { return errorCount_; }
    bool LinkFailure() const { return linkFailure_; }

signals:
    // At the start of every tick, before the line is looked at.
    void tickStarted();
    // An idle tick, before the head of the queue goes out.
    void idleTick();
    // MaxError replies in a row are missing: the line has failed (once per
    // failure).
    void lineFailed();

private:
    void SendHead(TRequestQueue::Entry& head);
    void LogLocal(int text);
    // Every change of the tick state goes through here; the tick counter
    // starts again with it.
    void EnterState(TickStates state);
    QString Text(int number) const { return context_.Text(number); }

    const TAgentContext& context_;
    TCommPax& port_;
    TRequestBuilder& builder_;
    TRequestQueue queue_;
    TPendingTable pending_;
    uint8_t sequenceNumber_ = 1;
    bool tickBusy_ = false;
    int tickState_ = Idle;
    int tickCounter_ = 0;
    int errorCount_ = 0;
    bool linkFailure_ = false;
    int takenCount_ = 0;
};

}  // namespace varno
