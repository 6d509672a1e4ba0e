#pragma once
#include <QString>
#include <cstdint>

#include "agent/core/Config.h"
#include "agent/core/PendingTable.h"
#include "agent/core/RequestQueue.h"

namespace varno {

class TData;

// What the conversation needs of the agent around it.
class TConversationHost {
public:
    virtual ~TConversationHost() = default;
    virtual bool PortOpen() const = 0;
    // Writes one framed packet; throws ECommError when the line refuses it.
    virtual void WritePacket(uint8_t seq, const uint8_t* data, int length) = 0;
    virtual void LogLine(const QString& tag, const QString& text) = 0;
    virtual void ShowStatus(const QString& tag, const QString& text) = 0;
    virtual QString GetText(int number) const = 0;
    virtual TData& Data() = 0;
    virtual const TConfig& Config() const = 0;
    // Tray icon deferred from start-up.
    virtual void DeferredTray() = 0;
    // The idle tick's expiry checks of the line-state and command-14 polls.
    virtual void IdleExpiryChecks() = 0;
    // The mailbox check of a counters request at the head of the queue:
    // true when counters changed and the request is to be sent.
    virtual bool MailboxCheck() = 0;
    // The trap mail that reports the line as failed.
    virtual void LineFailureTrap() = 0;
};

// The conversation with the PBX: one request at a time. Requests wait in
// the queue; every tick sends at most one and waits for its reply, counts
// missing replies, sends again, and declares the line failed after too many.
class TConversation {
public:
    enum TickStates { Idle = 0, AwaitAgent = 1, ErrorPause = 2, AwaitClient = 20 };

    explicit TConversation(TConversationHost& host);

    bool QueueRequest(char kind, int32_t value, const uint8_t* data = nullptr, int length = 0);
    void QueueStartupRequests();  // C, I, V
    void AddPending(char kind, const uint8_t* data, int length, int32_t value, uint32_t queueEntry = 0);
    std::unique_ptr<TRequest> TakePending(uint8_t seq) { return PendingTable.Take(seq); }
    // Reports the send and writes one packet with the next sequence number
    // (nothing is written without data or while the port is closed).
    void SendPacket(const QString& tag, const QString& text, const uint8_t* data, int length);
    // A client request sent at once, past the queue.
    void SendNow(char kind, int32_t handle, const uint8_t* data, int length, const QString& text);

    void TimerTickTimer();
    void CommPax1RxChr(uint8_t chr);

    // A matched reply: removes the queue head when it is the request this
    // reply answers.
    void ReplyMatched(const TRequest& request);
    // Port selection and the like: idle state, C, I, V, no errors counted.
    void Restart();

    TRequestQueue RequestQueue;
    TPendingTable PendingTable;
    uint8_t SequenceNumber = 1;
    bool TickBusy = false;
    int TickState = Idle;
    int TickCounter = 0;
    int ErrorCount = 0;
    bool LinkFailure = false;
    int TakenCount = 0;

private:
    void SendHead(TRequestQueue::Entry& head);
    void LogLocal(int text);
    QString Text(int number) const { return host_.GetText(number); }

    TConversationHost& host_;
};

}  // namespace varno
