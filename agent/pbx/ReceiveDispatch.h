#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "agent/core/Config.h"
#include "agent/core/Request.h"
#include "agent/pbx/States.h"

namespace varno {

class TConversation;
class TData;

// What the receive side needs of the agent around it.
class TReceiveHost {
public:
    virtual ~TReceiveHost() = default;
    virtual void LogLine(const QString& tag, const QString& text) = 0;
    virtual void ShowStatus(const QString& tag, const QString& text) = 0;
    virtual QString GetText(int number) const = 0;
    virtual const TConfig& Config() const = 0;
    virtual TData& Data() = 0;
    virtual TConversation& Conversation() = 0;

    virtual bool TickEnabled() const = 0;
    virtual void SetTickEnabled(bool on) = 0;
    // The polls that the line list starts.
    virtual void StartLineStatePoll() = 0;  // TimerAN
    virtual void StartMessagePolls() = 0;   // TimerMSG and TimerSMS
    virtual void StartBillingPoll() = 0;    // TimerUR

    // Identity check boxes.
    virtual void StopBox(const QString& text, const QString& caption) = 0;
    virtual bool AskYesNo(const QString& text, const QString& caption) = 0;
    virtual QString VersionText() const = 0;

    // Mail gateway and traps.
    virtual bool Mail602Active() const = 0;
    virtual void ForwardMessage(const QByteArray& first, uint8_t type, const QByteArray& second,
                                const QByteArray& body) = 0;
    virtual void LinkRestoredTrap() = 0;

    // The line interface.
    virtual void QlinPutStates(const TStates& record) = 0;
    virtual TStates& QlinState() = 0;

    // The gateway and the billing download.
    virtual void RelayReply(const TRequest& request, const uint8_t* reply, int length) = 0;
    virtual void CacheStore(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength) = 0;
    virtual void BillingReply(const uint8_t* reply, int length) = 0;
};

// The receive side of the PBX conversation: matches every packet to the
// request it answers and hands the reply to the handler of its kind.
class TReceiveDispatch {
public:
    explicit TReceiveDispatch(TReceiveHost& host);

    // A packet with a correct CRC: sequence number first, then the reply.
    void CommPax1RxPacket(int count, const uint8_t* data);

    // The three parts of a slot message, each cut to its field.
    struct TSlotText {
        QByteArray First, Second, Body;
    };
    static TSlotText SplitSlotText(const uint8_t* text, int length);

private:
    void ConfigReply(const uint8_t* p, int n);
    void IdentityReply(const uint8_t* p, int n);
    void LineListReply(const uint8_t* p, int n);
    void CountersReply(const uint8_t* p, int n);
    void SlotReply(const uint8_t* p, int n);
    void CompareLineStates(const uint8_t* p, int n);
    QString Text(int number) const;

    TReceiveHost& host_;
};

}  // namespace varno
