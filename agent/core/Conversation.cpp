#include "agent/core/Conversation.h"

#include <algorithm>
#include <cstring>

#include "agent/nls/TextIds.h"
#include "agent/serial/CommPax.h"
#include "platform/serial/CommError.h"

namespace varno {
namespace {

const QString kLoc = QStringLiteral("<LOC");
const QString kCom = QStringLiteral(">COM");
const QString kErr = QStringLiteral("!Err");

// The kinds of the catalogue; anything else would sit at the head for ever.
bool knownKind(char kind) { return std::strchr("CIVAXSMUY#T", kind) != nullptr && kind != '\0'; }

// The language text that reports the send of each request the agent makes itself.
int sendText(char kind)
{
    switch (kind) {
    case 'C': return Txt::PbxConfiguration;
    case 'I': return Txt::PbxIdentification;
    case 'V': return Txt::LineListQuery;
    case 'A': return Txt::LineStateQuery;
    case 'X': return Txt::Command14Data;
    case 'U': return Txt::BillingQuery;
    case 'S': return Txt::SlotQuery;
    default: return 0;
    }
}

}  // namespace

TConversation::TConversation(const TAgentContext& context, TCommPax& port, TRequestBuilder& builder)
    : context_(context), port_(port), builder_(builder)
{
}

void TConversation::EnterState(TickStates state)
{
    tickState_ = state;
    tickCounter_ = 0;
}

bool TConversation::QueueRequest(char kind, int32_t value, const uint8_t* data, int length)
{
    if (!knownKind(kind)) {
        context_.LogLine(kErr, QStringLiteral("Request of unknown kind %1 not queued").arg(int(kind)));
        return false;
    }
    if ((kind == 'T' || (kind == '#' && data)) && (length < 1 || length > TRequest::MaxPayload)) {
        context_.LogLine(kErr, QStringLiteral("%1 request of %2 bytes not queued (1 to %3 bytes fit)")
                                   .arg(kind == 'T' ? QStringLiteral("Client") : QStringLiteral("Key"))
                                   .arg(length)
                                   .arg(TRequest::MaxPayload));
        return false;
    }
    return queue_.QueueRequest(kind, value, data, length);
}

void TConversation::QueueKeyedRequest(char kind, int32_t key, int32_t argument)
{
    if (!knownKind(kind) || kind == 'T' || kind == '#') {
        context_.LogLine(kErr, QStringLiteral("Request of kind %1 cannot be keyed").arg(int(kind)));
        return;
    }
    queue_.QueueKeyed(kind, key, argument);
}

void TConversation::QueueStartupRequests()
{
    QueueRequest('C', 0);
    QueueRequest('I', 0);
    QueueRequest('V', 0);
}

void TConversation::AddPending(char kind, const uint8_t* data, int length, int32_t value, uint32_t queueEntry,
                               int32_t argument)
{
    auto request = std::make_unique<TRequest>();
    request->Kind = kind;
    request->Argument = argument;
    const int n = std::clamp(length, 0, TRequest::MaxPayload);
    request->FirstByte = n > 0 ? data[0] : 0;
    request->Handle = value;
    if (n > 0)
        std::memcpy(request->Payload, data, static_cast<size_t>(n));
    request->PayloadLen = n;
    request->QueueEntry = queueEntry;
    pending_.Add(sequenceNumber_, std::move(request));
}

void TConversation::SendPacket(const QString& tag, const QString& text, const uint8_t* data, int length)
{
    context_.Log.ShowStatus(tag, text);
    if (context_.Config.Log.Com_LocOut)
        context_.LogLine(tag, text);
    if (!data || !port_.Enabled())
        return;
    const uint8_t seq = sequenceNumber_++;
    port_.WritePacket(seq, data, length);
}

void TConversation::SendNow(char kind, int32_t handle, const uint8_t* data, int length, const QString& text)
{
    AddPending(kind, data, length, handle);
    SendPacket(kCom, text, data, length);
}

void TConversation::LogLocal(int text)
{
    if (context_.Config.Log.Com_LocOut && errorCount_ == 0)
        context_.LogLine(kLoc, Text(text));
    context_.Log.ShowStatus(kLoc, Text(text));
}

void TConversation::TimerTickTimer()
{
    // A tick entered again from a message loop inside an earlier tick.
    if (tickBusy_)
        return;
    tickBusy_ = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{tickBusy_};

    emit tickStarted();
    if (!port_.Enabled())
        return;

    const TTimerSettings& timer = context_.Config.Timer;
    switch (tickState_) {
    case AwaitAgent:
        if (++tickCounter_ >= timer.MaxTick) {
            ++errorCount_;
            if (errorCount_ < timer.MaxError) {
                EnterState(Idle);  // the head goes out again at the next tick
            } else {
                EnterState(ErrorPause);
                if (!linkFailure_) {
                    context_.LogLine(kErr, Text(Txt::LinkFailed));
                    emit lineFailed();
                }
            }
        }
        return;
    case ErrorPause:
        // At the end of the pause the PBX is asked who it is again.
        if (++tickCounter_ >= timer.MaxErrorTick) {
            EnterState(Idle);
            QueueStartupRequests();
            errorCount_ = 0;
            linkFailure_ = true;
        }
        return;
    case AwaitClient:
        if (++tickCounter_ >= timer.MaxTick)
            EnterState(Idle);  // a silent client request counts no error
        return;
    default: break;
    }

    emit idleTick();
    TRequestQueue::Entry* head = queue_.Head();
    if (!head)
        return;
    try {
        SendHead(*head);
    } catch (const ECommError& e) {
        // The pending entry is filed and the head stays: it is taken again
        // at the next tick.
        context_.LogLine(kErr, e.FullMessage());
        return;
    }
}

void TConversation::SendHead(TRequestQueue::Entry& head)
{
    uint8_t buf[500];
    static_assert(sizeof buf >= TRequestBuilder::BufferSize);
    const char kind = head.Kind();
    const uint32_t id = head.Id;
    const TLogFlags& log = context_.Config.Log;
    QString text;

    switch (kind) {
    case 'C':
    case 'I':
    case 'V':
        LogLocal(sendText(kind));
        text = Text(sendText(kind));
        break;
    case 'A':
    case 'X':
    case 'U':
    case 'S':
        text = Text(sendText(kind));
        context_.Log.ShowStatus(kLoc, text);
        break;
    case 'M':
        context_.Log.ShowStatus(kLoc, Text(Txt::MailboxCheck));
        if (!MailboxCheck || !MailboxCheck()) {
            if (log.Extent)
                context_.LogLine(QStringLiteral("<602"), Text(Txt::MailboxUnchanged));
            // Nothing to write: the entry leaves the queue, so that it cannot
            // hold up the requests behind it.
            queue_.RemoveHead();
            tickCounter_ = 0;
            return;
        }
        text = Text(Txt::CountersWriting);
        break;
    case '#': text = QStringLiteral("COMM"); break;
    case 'Y': text = QStringLiteral("UDATA"); break;
    case 'T': {
        if (!head.Record) {
            queue_.RemoveHead();
            return;
        }
        const TRequest& r = *head.Record;
        const QString rendered = builder_.DescribeRequest(r.Payload, r.PayloadLen, false);
        AddPending('T', r.Payload, r.PayloadLen, r.Handle);
        SendPacket(kCom, rendered, r.Payload, r.PayloadLen);
        if (log.Com_Out && !log.Com_LocOut)
            context_.LogLine(kCom, rendered);
        // Written once: a client request is never repeated behind the client's back.
        queue_.RemoveHead();
        EnterState(AwaitClient);
        return;
    }
    default: queue_.RemoveHead(); return;
    }

    // A command's key request carries the bytes it was queued with.
    int len = 0;
    if (head.Record) {
        len = head.Record->PayloadLen;
        std::memcpy(buf, head.Record->Payload, static_cast<size_t>(len));
    } else {
        len = builder_.BuildRequest(kind, head.Argument, buf);
    }
    if (kind == 'M')
        context_.LogLine(QStringLiteral("<602"), log.Extent ? builder_.DescribeRequest(buf, len, true) : text);
    AddPending(kind, buf, len, 0, id, head.Argument);
    SendPacket(kCom, text, buf, len);
    EnterState(AwaitAgent);
    ++takenCount_;
}

void TConversation::CommPax1RxChr(uint8_t chr)
{
    // The PBX's stray 0xE0 says it will not answer: the wait ends as a time-out.
    if (chr == 0xE0)
        tickCounter_ = context_.Config.Timer.MaxTick;
}

bool TConversation::EndLinkFailure()
{
    const bool wasFailed = linkFailure_;
    linkFailure_ = false;
    return wasFailed;
}

void TConversation::ReplyMatched(const TRequest& request)
{
    // Only the reply to the request at the head removes it: a late reply to
    // an earlier copy must not take a request that was never sent.
    if (takenCount_ > 0 && request.QueueEntry != 0 && queue_.RemoveHeadIf(request.QueueEntry))
        takenCount_ = 0;
}

void TConversation::ReplyHandled() { EnterState(Idle); }

void TConversation::ForwardClientRequest(int32_t handle, const uint8_t* data, int length, const QString& rendered)
{
    if (tickState_ != Idle || !queue_.Empty()) {
        QueueRequest('T', handle, data, length);
        return;
    }
    try {
        SendNow('T', handle, data, length, rendered);
    } catch (const ECommError& e) {
        // Nothing is awaited: the line refused the packet.
        context_.LogLine(kErr, e.FullMessage());
        return;
    }
    const TLogFlags& log = context_.Config.Log;
    if (log.Com_Out && !log.Com_LocOut)
        context_.LogLine(kCom, rendered);
    EnterState(AwaitClient);
}

void TConversation::ForgetClient(int32_t handle, int32_t noClient)
{
    queue_.OrphanClient(handle, noClient);
    pending_.OrphanClient(handle, noClient);
}

void TConversation::Restart()
{
    EnterState(Idle);
    QueueStartupRequests();
    errorCount_ = 0;
}

void TConversation::Clear()
{
    pending_.Clear();
    queue_.Clear();
}

}  // namespace varno
