#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

#include "agent/core/AgentContext.h"
#include "agent/core/AgentTimers.h"
#include "agent/core/Request.h"
#include "agent/pbx/States.h"

namespace varno {

class TBilling;
class TConversation;
class TData;
class TUserPrompt;

// The receive side of the PBX conversation: matches every packet to the
// request it answers and hands the reply to the handler of its kind. What
// the replies mean for the subsystems above (a reply for a TCP/IP client, a
// reply to cache, the line back, a slot message, a changed line state)
// leaves it as signals.
class TReceiveDispatch : public QObject {
    Q_OBJECT
public:
    TReceiveDispatch(const TAgentContext& context, TConversation& conversation, TData& model, TBilling& billing,
                     TAgentTimers timers, TUserPrompt& prompt);

    // A packet with a correct CRC: sequence number first, then the reply.
    void CommPax1RxPacket(int count, const uint8_t* data);

    // The three parts of a slot message, each cut to its field.
    struct TSlotText {
        QByteArray First, Second, Body;
    };
    static TSlotText SplitSlotText(const uint8_t* text, int length);

signals:
    // The first packet after a reported line failure.
    void lineRestored();
    // The PBX's reply to a TCP/IP client's request (pending entry of kind T);
    // the bytes are valid during the call.
    void clientReply(const varno::TRequest& request, const uint8_t* reply, int length);
    // A reply that may answer the same request of a client later.
    void replyToCache(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength);
    // A good line list has been taken: the message polls may start.
    void lineListTaken();
    // A text message from one of the PBX's slots, to be forwarded.
    void slotMessage(const QByteArray& first, uint8_t type, const QByteArray& second, const QByteArray& body);
    // A line changed its state (only while the line interface is on).
    void lineStateChanged(const varno::TStates& record);

private:
    void ConfigReply(const uint8_t* p, int n);
    void IdentityReply(const uint8_t* p, int n);
    void LineListReply(const uint8_t* p, int n);
    void CountersReply(const uint8_t* p, int n);
    void SlotReply(const uint8_t* p, int n);
    void CompareLineStates(const uint8_t* p, int n);
    void PartyReply(const TRequest& request, const uint8_t* p, int n);
    QString Text(int number) const;

    const TAgentContext& context_;
    TConversation& conversation_;
    TData& model_;
    TBilling& billing_;
    TAgentTimers timers_;
    TUserPrompt& prompt_;
};

}  // namespace varno
