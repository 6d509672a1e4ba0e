#include "agent/core/Conversation.h"

#include <algorithm>
#include <cstring>

#include "agent/pbx/Data.h"
#include "platform/serial/CommError.h"

namespace varno {
namespace {

const QString kLoc = QStringLiteral("<LOC");
const QString kCom = QStringLiteral(">COM");

// The kinds of the catalogue; anything else would sit at the head for ever.
bool knownKind(char kind) { return std::strchr("CIVAXSMUY#T", kind) != nullptr && kind != '\0'; }

}  // namespace

TConversation::TConversation(TConversationHost& host) : host_(host) {}

bool TConversation::QueueRequest(char kind, int32_t value, const uint8_t* data, int length)
{
    if (!knownKind(kind)) {
        host_.LogLine(QStringLiteral("!Err"), QStringLiteral("Request of unknown kind %1 not queued").arg(int(kind)));
        return false;
    }
    if (kind == 'T' && (length < 1 || length > TRequest::MaxPayload)) {
        host_.LogLine(QStringLiteral("!Err"),
                      QStringLiteral("Client request of %1 bytes not queued (1 to %2 bytes fit)")
                          .arg(length).arg(TRequest::MaxPayload));
        return false;
    }
    return RequestQueue.QueueRequest(kind, value, data, length);
}

void TConversation::QueueStartupRequests()
{
    QueueRequest('C', 0);
    QueueRequest('I', 0);
    QueueRequest('V', 0);
}

void TConversation::AddPending(char kind, const uint8_t* data, int length, int32_t value, uint32_t queueEntry)
{
    auto request = std::make_unique<TRequest>();
    request->Kind = kind;
    const int n = std::clamp(length, 0, TRequest::MaxPayload);
    request->FirstByte = n > 0 ? data[0] : 0;
    request->Handle = value;
    if (n > 0)
        std::memcpy(request->Payload, data, static_cast<size_t>(n));
    request->PayloadLen = n;
    request->QueueEntry = queueEntry;
    PendingTable.Add(SequenceNumber, std::move(request));
}

void TConversation::SendPacket(const QString& tag, const QString& text, const uint8_t* data, int length)
{
    host_.ShowStatus(tag, text);
    if (host_.Config().Log.Com_LocOut)
        host_.LogLine(tag, text);
    if (!data || !host_.PortOpen())
        return;
    const uint8_t seq = SequenceNumber++;
    host_.WritePacket(seq, data, length);
}

void TConversation::SendNow(char kind, int32_t handle, const uint8_t* data, int length, const QString& text)
{
    AddPending(kind, data, length, handle);
    SendPacket(kCom, text, data, length);
}

void TConversation::LogLocal(int text)
{
    if (host_.Config().Log.Com_LocOut && ErrorCount == 0)
        host_.LogLine(kLoc, Text(text));
    host_.ShowStatus(kLoc, Text(text));
}

void TConversation::TimerTickTimer()
{
    // A tick entered again from a message loop inside an earlier tick.
    if (TickBusy)
        return;
    TickBusy = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{TickBusy};

    host_.DeferredTray();
    if (!host_.PortOpen())
        return;

    const TTimerSettings& timer = host_.Config().Timer;
    switch (TickState) {
    case AwaitAgent:
        if (++TickCounter >= timer.MaxTick) {
            ++ErrorCount;
            if (ErrorCount < timer.MaxError) {
                TickState = Idle;  // the head goes out again at the next tick
            } else {
                TickState = ErrorPause;
                TickCounter = 0;
                if (!LinkFailure) {
                    host_.LogLine(QStringLiteral("!Err"), Text(116));
                    host_.LineFailureTrap();
                }
            }
        }
        return;
    case ErrorPause:
        if (++TickCounter >= timer.MaxErrorTick) {
            TickState = Idle;
            QueueStartupRequests();
            ErrorCount = 0;
            LinkFailure = true;
        }
        return;
    case AwaitClient:
        if (++TickCounter >= timer.MaxTick)
            TickState = Idle;  // a silent client request counts no error
        return;
    default:
        break;
    }

    host_.IdleExpiryChecks();
    TRequestQueue::Entry* head = RequestQueue.Head();
    if (!head)
        return;
    try {
        SendHead(*head);
    } catch (const ECommError& e) {
        // The pending entry is filed and the head stays: it is taken again
        // at the next tick.
        host_.LogLine(QStringLiteral("!Err"), e.FullMessage());
        return;
    }
}

void TConversation::SendHead(TRequestQueue::Entry& head)
{
    TData& data = host_.Data();
    uint8_t buf[500];
    int len = 0;
    const char kind = head.Kind();
    const uint32_t id = head.Id;
    int text = 0;

    switch (kind) {
    case 'C':
    case 'I':
    case 'V':
        text = kind == 'C' ? 100 : kind == 'I' ? 101 : 103;
        LogLocal(text);
        len = kind == 'C' ? data.ConfigMessage(0, buf) : kind == 'I' ? data.IdentityMessage(0, buf)
                                                                     : data.LineListMessage(0, buf);
        break;
    case 'A':
    case 'X':
    case 'U':
    case 'S':
        text = kind == 'A' ? 108 : kind == 'X' ? 104 : kind == 'U' ? 107 : 109;
        host_.ShowStatus(kLoc, Text(text));
        len = kind == 'A'   ? data.LineStateMessage(0, buf)
              : kind == 'X' ? data.Command14Message(0, buf)
              : kind == 'U' ? data.BillingMessage(0, buf)
                            : data.SlotMessage(0, buf);
        break;
    case 'M':
        host_.ShowStatus(kLoc, Text(113));
        if (!host_.MailboxCheck()) {
            if (host_.Config().Log.Extent)
                host_.LogLine(QStringLiteral("<602"), Text(115));
            // Nothing to write: the entry leaves the queue, so that it cannot
            // hold up the requests behind it.
            RequestQueue.RemoveHead();
            TickCounter = 0;
            return;
        }
        len = data.BuildCountersWrite(buf);
        host_.LogLine(QStringLiteral("<602"), host_.Config().Log.Extent
                                                  ? data.DescribePacket(TPacketDirection::Request, buf, len, 0, true)
                                                  : Text(114));
        text = 114;
        break;
    case '#':
    case 'Y': {
        len = kind == '#' ? data.KeyMessage(0, buf, head.Argument) : data.PartyMessage(0, buf, head.Argument);
        AddPending(kind, buf, len, 0, id);
        SendPacket(kCom, kind == '#' ? QStringLiteral("COMM") : QStringLiteral("UDATA"), buf, len);
        TickState = AwaitAgent;
        ++TakenCount;
        TickCounter = 0;
        return;
    }
    case 'T': {
        if (!head.Record) {
            RequestQueue.RemoveHead();
            return;
        }
        const TRequest& r = *head.Record;
        const QString rendered = data.DescribePacket(TPacketDirection::Request, r.Payload, r.PayloadLen, 0, false);
        AddPending('T', r.Payload, r.PayloadLen, r.Handle);
        SendPacket(kCom, rendered, r.Payload, r.PayloadLen);
        if (host_.Config().Log.Com_Out && !host_.Config().Log.Com_LocOut)
            host_.LogLine(kCom, rendered);
        // Written once: a client request is never repeated behind the client's back.
        RequestQueue.RemoveHead();
        TickState = AwaitClient;
        TickCounter = 0;
        return;
    }
    default:
        RequestQueue.RemoveHead();
        return;
    }

    AddPending(kind, buf, len, 0, id);
    SendPacket(kCom, Text(text), buf, len);
    TickState = AwaitAgent;
    ++TakenCount;
    TickCounter = 0;
}

void TConversation::CommPax1RxChr(uint8_t chr)
{
    if (chr == 0xE0)
        TickCounter = host_.Config().Timer.MaxTick;
}

void TConversation::ReplyMatched(const TRequest& request)
{
    // Only the reply to the request at the head removes it: a late reply to
    // an earlier copy must not take a request that was never sent.
    if (TakenCount > 0 && request.QueueEntry != 0 && RequestQueue.RemoveHeadIf(request.QueueEntry))
        TakenCount = 0;
}

void TConversation::Restart()
{
    TickState = Idle;
    QueueStartupRequests();
    ErrorCount = 0;
}

}  // namespace varno
