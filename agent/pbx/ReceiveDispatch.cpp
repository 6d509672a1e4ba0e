#include "agent/pbx/ReceiveDispatch.h"

#include <algorithm>
#include <cstring>

#include <QTimer>

#include "agent/core/Conversation.h"
#include "agent/core/UserPrompt.h"
#include "agent/nls/TextIds.h"
#include "agent/pbx/Billing.h"
#include "agent/pbx/Data.h"
#include "agent/pbx/PartyLookup.h"
#include "platform/serial/CommError.h"

namespace varno {
namespace {

const QString kIn = QStringLiteral("<COM");

int statusOf(const uint8_t* p, int n) { return n > 0 ? p[0] : TData::MissingStatus; }

// Bytes up to the first zero byte, as the PBX's texts are zero-terminated.
QByteArray cText(const uint8_t* p, int n)
{
    const void* zero = std::memchr(p, 0, static_cast<size_t>(n));
    const int len = zero ? static_cast<int>(static_cast<const uint8_t*>(zero) - p) : n;
    return QByteArray(reinterpret_cast<const char*>(p), len);
}

// Position of '\n' among at most the next 40 bytes, or -1.
int findBreak(const uint8_t* p, int n)
{
    const int limit = std::min(n, 40);
    for (int i = 0; i < limit; ++i)
        if (p[i] == '\n')
            return i;
    return -1;
}

}  // namespace

TReceiveDispatch::TReceiveDispatch(const TAgentContext& context, TConversation& conversation, TData& model,
                                   TBilling& billing, TAgentTimers timers, TUserPrompt& prompt)
    : context_(context), conversation_(conversation), model_(model), billing_(billing), timers_(timers), prompt_(prompt)
{
}

QString TReceiveDispatch::Text(int number) const { return context_.Text(number); }

void TReceiveDispatch::CommPax1RxPacket(int count, const uint8_t* data)
{
    // Any packet at all shows the line is back.
    if (conversation_.EndLinkFailure()) {
        context_.LogLine(QStringLiteral("-OK-"), Text(Txt::LinkRestored));
        emit lineRestored();
    }
    // A frame of length 0 has no sequence number.
    if (count <= 0 || !data)
        return;
    std::unique_ptr<TRequest> request = conversation_.TakePending(data[0]);
    if (!request)
        return;
    conversation_.ReplyMatched(*request);

    const uint8_t* p = data + 1;
    const int n = count - 1;
    const TConfig& config = context_.Config;
    bool cacheable = true;
    // Each kind of reply to its own handler.
    switch (request->Kind) {
    case '#':
        model_.KeyMessage(1, p, n);
        cacheable = false;
        break;
    case 'A':
        if (config.QLIN)
            CompareLineStates(p, n);
        model_.LineStateMessage(1, p, n);
        if (config.Log.Com_In)
            context_.LogLine(kIn, Text(Txt::LineStates));
        cacheable = false;
        break;
    case 'C': ConfigReply(p, n); break;
    case 'I': IdentityReply(p, n); break;
    case 'M': CountersReply(p, n); break;
    case 'S': SlotReply(p, n); break;
    case 'T': emit clientReply(*request, p, n); break;
    case 'U':
        model_.BillingMessage(1, nullptr);
        billing_.BillingReply(p, n);
        cacheable = false;
        break;
    case 'V':
        LineListReply(p, n);
        if (config.QLIN)
            timers_.AN.start();
        break;
    case 'X':
        model_.Command14Message(1, p, n);
        context_.LogLine(kIn, Text(Txt::Command14Data));
        cacheable = false;
        break;
    case 'Y':
        PartyReply(*request, p, n);
        cacheable = false;
        break;
    default: break;
    }
    // The line is free again; the reply may answer the same request later.
    conversation_.ReplyHandled();
    if (config.MaxCache != 0 && cacheable)
        emit replyToCache(request->Payload, request->PayloadLen, p, n);
}

void TReceiveDispatch::ConfigReply(const uint8_t* p, int n)
{
    const int r = model_.ConfigMessage(1, p, n);
    if (r == TData::BlockTaken) {
        if (context_.Config.Log.Com_In)
            context_.LogLine(kIn, Text(Txt::PbxConfiguration));
    } else {
        context_.LogLine(kIn,
                         Text(Txt::PbxConfiguration) + QLatin1Char(' ') + Text(Txt::FailedStatus) + QString::number(r));
    }
}

void TReceiveDispatch::IdentityReply(const uint8_t* p, int n)
{
    const int r = model_.IdentityMessage(1, p, n);
    auto boxText = [&](int last) {
        return Text(Txt::AgentVersion) + QStringLiteral(VARNO_VERSION) + QStringLiteral("    ") +
               Text(Txt::PbxVersion) + QString::number(model_.IdentityBlock[0], 16).toUpper() + QLatin1Char('.') +
               QStringLiteral("%1").arg(model_.IdentityBlock[1], 2, 16, QLatin1Char('0')).toUpper() +
               QLatin1Char('\n') + Text(last);
    };
    QString note;
    if (r == TData::BlockTaken) {
        note = QLatin1Char(' ') + Text(Txt::Ok);
    } else if (r == TData::ForeignPbx) {
        // Not a PBX this agent works with: all traffic stops until the user starts it again.
        timers_.Tick.stop();
        prompt_.MessageBox(boxText(Txt::PbxNotSupported), Text(Txt::ErrorCaption), TUserPrompt::Icon::Error);
        note = Text(Txt::PbxNotSupportedNote);
    } else if (r == TData::AskToContinue) {
        timers_.Tick.stop();
        if (prompt_.AskYesNo(boxText(Txt::PbxNotApproved), Text(Txt::WarningCaption)))
            timers_.Tick.start();
        note = Text(Txt::PbxNotApprovedNote);
    } else {
        note = QLatin1Char(' ') + Text(Txt::FailedStatus) + QString::number(r);
    }
    if (context_.Config.Log.Com_In || r != TData::BlockTaken)
        context_.LogLine(kIn, Text(Txt::PbxIdentification) + note);
}

void TReceiveDispatch::LineListReply(const uint8_t* p, int n)
{
    const TConfig& config = context_.Config;
    const int status = statusOf(p, n);
    if (status == 0 && n != 3) {
        model_.LineListMessage(1, p, n);
        if (config.Log.Com_In)
            context_.LogLine(kIn, Text(Txt::LineListReceived));
        emit lineListTaken();
        if (config.ReadUct)
            timers_.UR.start();
    } else if (config.Log.Com_In) {
        context_.LogLine(kIn, Text(Txt::NoLineList) + QString::number(status));
    }
}

void TReceiveDispatch::CountersReply(const uint8_t* p, int n)
{
    const int status = statusOf(p, n);
    if (status != 0)
        context_.LogLine(kIn, Text(Txt::CountersRefused) + QString::number(status));
    else if (context_.Config.Log.Com_PureIn)
        context_.LogLine(kIn, Text(Txt::CountersAccepted));
}

TReceiveDispatch::TSlotText TReceiveDispatch::SplitSlotText(const uint8_t* text, int length)
{
    TSlotText parts;
    if (!text || length <= 0)
        return parts;
    const int first = findBreak(text, length);
    if (first < 0)
        return parts;
    const uint8_t* rest = text + first + 1;
    const int restLen = length - first - 1;
    const int second = findBreak(rest, restLen);
    if (second < 0)
        return parts;
    parts.First = cText(text, first);
    parts.Second = cText(rest, second);
    parts.Body = cText(rest + second + 1, std::min(restLen - second - 1, 100));
    return parts;
}

void TReceiveDispatch::SlotReply(const uint8_t* p, int n)
{
    const TConfig& config = context_.Config;
    const int status = statusOf(p, n);
    if (status != 0) {
        context_.LogLine(kIn, Text(Txt::SlotNotRead) + QString::number(status));
        return;
    }
    if (n < 3) {
        // Without the slot number there is nothing to forward or to clear.
        context_.LogLine(QStringLiteral("!Err"), QStringLiteral("Message slot reply of %1 bytes ignored").arg(n));
        return;
    }
    const uint8_t type = n > 3 ? p[3] : 0;
    if (type == 0) {
        context_.Log.ShowStatus(kIn, Text(Txt::SlotEmpty));
        if (config.Log.Com_PureIn)
            context_.LogLine(kIn, Text(Txt::SlotEmpty));
        return;
    }
    QString name;
    switch (type) {
    case 'F': name = QStringLiteral("FAX"); break;
    case 'I': name = QStringLiteral("Internet"); break;
    case 'L': name = Text(Txt::LocalMail); break;
    case 'Q': name = QStringLiteral("SMS"); break;
    case 'V': name = Text(Txt::VoiceMessage); break;
    case 'Z': name = QStringLiteral("ZModem"); break;
    default: break;
    }
    if (!name.isNull()) {
        const TSlotText parts = SplitSlotText(p + 4, n - 4);
        const QString first = QString::fromUtf8(parts.First), second = QString::fromUtf8(parts.Second);
        if (config.Log.Com_In)
            context_.LogLine(kIn, QStringLiteral("TRAP: ") + name + QStringLiteral(" to ") + first);
        context_.LogLine(QStringLiteral(">602"), QStringLiteral("Mail: ") + second + QStringLiteral(" to ") + first);
        emit slotMessage(parts.First, type, parts.Second, parts.Body);
    }
    uint8_t clear[TData::RequestBufferSize];
    const int len = model_.BuildSlotClear(clear, p[2]);
    try {
        conversation_.SendPacket(QStringLiteral(">COM"), Text(Txt::SlotClearing), clear, len);
    } catch (const ECommError& e) {
        context_.LogLine(QStringLiteral("!Err"), e.FullMessage());
    }
}

void TReceiveDispatch::PartyReply(const TRequest& request, const uint8_t* p, int n)
{
    const TPartyLookup lookup = TPartyLookup::Unpack(request.Argument);
    // A line that changed again since the lookup was sent has had its newer
    // state passed on: the late number must not overwrite it.
    const int at = 3 + 4 * lookup.Line;
    const auto& reply = model_.LineStateReply;
    if (at + 1 >= static_cast<int>(model_.LineStateReplyLen) || reply[static_cast<size_t>(at)] != lookup.State ||
        reply[static_cast<size_t>(at) + 1] != lookup.Party)
        return;
    model_.QlinState.Line = lookup.Line;
    model_.QlinState.State = lookup.State;
    model_.PartyMessage(1, p, n);
}

void TReceiveDispatch::CompareLineStates(const uint8_t* p, int n)
{
    const int prevLen = static_cast<int>(model_.LineStateReplyLen);
    if (prevLen < 3)
        return;  // the first reply only becomes the reference
    const uint8_t* prev = model_.LineStateReply.data();
    // As many lines as the previous reply held, and never past the new one.
    for (int i = 0; 3 + 4 * i + 4 <= prevLen && 4 + 4 * i < n; ++i) {
        const uint8_t oldState = prev[3 + 4 * i];
        const uint8_t state = p[3 + 4 * i];
        const uint8_t party = p[4 + 4 * i];
        if (state == oldState)
            continue;
        if (state == 1 && party >= model_.IdentityBlock[2]) {
            // An external party: its number comes with the line's own party
            // lookup, which carries what it is for.
            conversation_.QueueKeyedRequest('Y', i, TPartyLookup{i, state, party}.Pack());
            continue;
        }
        TStates record{};
        record.Line = i;
        record.State = state;
        const std::string number = model_.LineNumber(party);
        std::strncpy(record.Text, number.c_str(), sizeof record.Text - 1);
        emit lineStateChanged(record);
    }
}

}  // namespace varno
