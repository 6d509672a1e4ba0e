#include "agent/pbx/Data.h"
#include "agent/pbx/PartyLookup.h"

#include "agent/pbx/BillingFile.h"

#include "platform/clock/Clock.h"

#include <algorithm>
#include <cstring>

namespace varno {
namespace {

// Replies that do not fit the model are reported under the tag of received data.
const QString ReplyTag = QStringLiteral("<COM");

constexpr uint8_t CmdReadItem = 0;
constexpr uint8_t CmdWriteItem = 1;
constexpr uint8_t CmdIdentity = 2;
constexpr uint8_t CmdNextBilling = 4;
constexpr uint8_t CmdPreviousBilling = 5;
constexpr uint8_t CmdConfig = 13;
constexpr uint8_t CmdCommand14 = 14;
constexpr uint8_t CmdKeys = 18;

constexpr uint8_t ItemMessageSlot = 1;
constexpr uint8_t ItemLineList = 14;
constexpr uint8_t ItemCounters = 17;
constexpr uint8_t ItemLineStates = 22;
constexpr uint8_t ItemExternalParty = 47;

constexpr int SlotCount = 4;
constexpr int FirstKeyArgument = 240;
constexpr uint8_t KeyCodes[] = {0x53, 0x54, 0x5B, 0x5C};  // speaker, microphone, volume up, volume down
constexpr int DialCodesPerRequest = 8;
constexpr int DigitsPerLine = 4;
constexpr int PartyNumberOffset = 11;

int BuildItemRead(uint8_t* buf, uint8_t item, uint8_t index)
{
    buf[0] = CmdReadItem;
    buf[1] = item;
    buf[2] = index;
    return 3;
}

}  // namespace

TData::TData(const TAgentContext& context) : context_(context) {}

bool TData::HasStatus(const uint8_t* payload, int len, const char* kind)
{
    if (payload && len >= 1)
        return true;
    context_.LogLine(ReplyTag, QStringLiteral("Reply to %1 without a status byte ignored").arg(QLatin1String(kind)));
    return false;
}

// Compares and stores the block that follows the status byte; bytes beyond
// a short reply keep their old values.
void TData::TakeBlock(const uint8_t* payload, int len, uint8_t* block, int size)
{
    const int n = std::min(len - 1, size);
    if (std::memcmp(payload + 1, block, static_cast<size_t>(n)) != 0)
        emit blockChanged();
    std::memcpy(block, payload + 1, static_cast<size_t>(n));
}

template <size_t Size>
void TData::StoreReply(const uint8_t* payload, int len, std::array<uint8_t, Size>& reply, uint32_t& replyLen,
                       double& replyTime, const char* kind)
{
    const int n = std::min(len, static_cast<int>(Size));
    if (n < len)
        context_.LogLine(
            ReplyTag,
            QStringLiteral("Reply to %1 of %2 bytes cut to %3 bytes").arg(QLatin1String(kind)).arg(len).arg(n));
    std::memcpy(reply.data(), payload, static_cast<size_t>(n));
    replyLen = static_cast<uint32_t>(n);
    replyTime = Now();
}

// --- C: configuration block ---

int TData::ConfigMessage(int mode, uint8_t* buf, int len)
{
    if (mode == 1)
        return ConfigMessage(mode, static_cast<const uint8_t*>(buf), len);
    if (mode != 0)
        return 0;
    buf[0] = CmdConfig;
    return 1;
}

int TData::ConfigMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "C"))
        return MissingStatus;
    if (payload[0] != 0)
        return payload[0];
    TakeBlock(payload, len, ConfigBlock.data(), ConfigBlockSize);
    return BlockTaken;
}

// --- I: identity block ---

int TData::IdentityMessage(int mode, uint8_t* buf, int len)
{
    if (mode == 1)
        return IdentityMessage(mode, static_cast<const uint8_t*>(buf), len);
    if (mode != 0)
        return 0;
    buf[0] = CmdIdentity;
    return 1;
}

int TData::IdentityMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "I"))
        return MissingStatus;
    if (payload[0] != 0)
        return payload[0];
    TakeBlock(payload, len, IdentityBlock.data(), IdentityBlockSize);
    if (ConfigBlock[4] != 1)
        return ForeignPbx;
    if (ConfigBlock[5] != 0)
        return AskToContinue;
    return BlockTaken;
}

// --- V: line list ---

int TData::LineListMessage(int mode, uint8_t* buf, int len)
{
    if (mode == 1)
        return LineListMessage(mode, static_cast<const uint8_t*>(buf), len);
    if (mode != 0)
        return 0;
    return BuildItemRead(buf, ItemLineList, 0);
}

int TData::LineListMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "V"))
        return MissingStatus;
    if (payload[0] != 0)
        return 0;
    int lines = len > 3 ? (len - 3) / DigitsPerLine : 0;
    if (lines > LineTableSize) {
        context_.LogLine(
            ReplyTag,
            QStringLiteral("Line list of %1 lines: only the first %2 are kept").arg(lines).arg(LineTableSize));
        lines = LineTableSize;
    }
    LineTableCount = static_cast<uint8_t>(lines);
    // The numbers are kept whether or not the line interface is on: the mail
    // gateway finds each mailbox owner's line by them.
    for (int i = 0; i < lines; ++i) {
        const std::string number = DecodeDigits(payload + 3 + DigitsPerLine * i, DigitsPerLine);
        TLineEntry& entry = LineTable[static_cast<size_t>(i)];
        std::memset(entry.Number, 0, sizeof entry.Number);
        std::memcpy(entry.Number, number.data(), std::min(number.size(), sizeof entry.Number - 1));
        if (context_.Config.QLIN)
            emit lineNamed(i, entry.Number);
    }
    return 0;
}

// --- A: line-state table ---

int TData::LineStateMessage(int mode, uint8_t* buf, int len)
{
    if (mode == 1)
        return LineStateMessage(mode, static_cast<const uint8_t*>(buf), len);
    if (mode != 0)
        return 0;
    return BuildItemRead(buf, ItemLineStates, 0);
}

int TData::LineStateMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    // Clients get the PBX's answer as it came, error status included; only a
    // reply without any byte keeps the previous one.
    if (!HasStatus(payload, len, "A"))
        return MissingStatus;
    StoreReply(payload, len, LineStateReply, LineStateReplyLen, LineStateReplyTime, "A");
    return 0;
}

// --- X: command-14 data ---

int TData::Command14Message(int mode, uint8_t* buf, int len)
{
    if (mode == 1)
        return Command14Message(mode, static_cast<const uint8_t*>(buf), len);
    if (mode != 0)
        return 0;
    buf[0] = CmdCommand14;
    return 1;
}

int TData::Command14Message(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "X"))
        return MissingStatus;
    StoreReply(payload, len, Command14Reply, Command14ReplyLen, Command14ReplyTime, "X");
    return 0;
}

// --- S: message slot ---

int TData::SlotMessage(int mode, uint8_t* buf)
{
    if (mode != 0)
        return 0;
    // The slot advances with every build, answered or not.
    const int length = BuildItemRead(buf, ItemMessageSlot, static_cast<uint8_t>(NextSlot));
    NextSlot = (NextSlot + 1) % SlotCount;
    return length;
}

// --- U: billing record ---

int TData::BillingMessage(int mode, uint8_t* buf)
{
    if (mode != 0)
        return 0;
    // After a failed append the same record is asked for again.
    buf[0] = BillingWriteFailed ? CmdPreviousBilling : CmdNextBilling;
    return 1;
}

// --- Y: number of an external party ---

int TData::PartyMessage(int mode, uint8_t* buf, int arg)
{
    if (mode == 1)
        return PartyMessage(mode, static_cast<const uint8_t*>(buf), arg);
    if (mode != 0)
        return 0;
    return BuildItemRead(buf, ItemExternalParty, static_cast<uint8_t>(arg - IdentityBlock[2]));
}

int TData::PartyMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "Y"))
        return MissingStatus;
    if (payload[0] != 0)
        return payload[0];
    TStates& state = QlinState;
    constexpr int room = static_cast<int>(sizeof state.Text) - 1;
    int length = 0;
    if (len > PartyNumberOffset) {
        const uint8_t* text = payload + PartyNumberOffset;
        const int available = len - PartyNumberOffset;
        while (length < available && text[length] != 0)
            ++length;
    }
    if (length > room) {
        context_.LogLine(ReplyTag, QStringLiteral("Party number of %1 characters cut to %2").arg(length).arg(room));
        length = room;
    }
    std::memset(state.Text, 0, sizeof state.Text);
    if (length > 0)
        std::memcpy(state.Text, payload + PartyNumberOffset, static_cast<size_t>(length));
    if (context_.Config.QLIN)
        emit lineStateChanged(state);
    return 0;
}

// --- #: keys and dialling ---

int TData::KeyMessage(int mode, uint8_t* buf, int arg)
{
    if (mode == 1)
        return KeyMessage(mode, static_cast<const uint8_t*>(buf), arg);
    if (mode != 0)
        return 0;
    // Built from the command as it stands when the request is sent.
    const TStates& command = QlinCommand;
    buf[0] = CmdKeys;
    buf[1] = static_cast<uint8_t>(command.Line & 0xFF);
    if (arg >= FirstKeyArgument && arg < FirstKeyArgument + static_cast<int>(sizeof KeyCodes)) {
        buf[2] = KeyCodes[arg - FirstKeyArgument];
        return 3;
    }
    constexpr int textSize = static_cast<int>(sizeof command.Text);
    const int start = arg - 1;  // arg is the 1-based position of the first character to dial
    int taken = 0;
    if (start >= 0 && start < textSize) {
        while (taken < DialCodesPerRequest && start + taken < textSize && command.Text[start + taken] != '\0')
            ++taken;
    }
    if (taken > 0) {
        const std::vector<uint8_t> codes =
            EncodeDigits(std::string_view(command.Text + start, static_cast<size_t>(taken)), DialCodesPerRequest);
        std::memcpy(buf + 2, codes.data(), static_cast<size_t>(taken));
    }
    return 2 + taken;
}

int TData::KeyMessage(int mode, const uint8_t* payload, int len)
{
    if (mode != 1)
        return 0;
    if (!HasStatus(payload, len, "#"))
        return MissingStatus;
    return payload[0];
}

// --- counters and lines ---

int TData::BuildCountersWrite(uint8_t* buf) const
{
    buf[0] = CmdWriteItem;
    buf[1] = ItemCounters;
    buf[2] = 0;
    int length = 3;
    for (int i = 0; i < LineTableCount; ++i) {
        const TLineEntry& entry = LineTable[static_cast<size_t>(i)];
        buf[length++] = entry.SmsCount;
        buf[length++] = entry.VoiceCount;
        buf[length++] = entry.FaxCount;
        buf[length++] = entry.Reserved;
    }
    return length;
}

int TData::BuildSlotClear(uint8_t* buf, int slot) const
{
    buf[0] = CmdWriteItem;
    buf[1] = ItemMessageSlot;
    buf[2] = static_cast<uint8_t>(slot);
    std::memset(buf + 3, 0, SlotClearLength - 3);
    return SlotClearLength;
}

int TData::FindLine(std::string_view number) const
{
    // An empty text would match lines whose number is not known.
    if (number.empty())
        return NoLine;
    for (int i = 0; i < LineTableCount; ++i) {
        const TLineEntry& entry = LineTable[static_cast<size_t>(i)];
        if (number == std::string_view(entry.Number, strnlen(entry.Number, sizeof entry.Number)))
            return i;
    }
    return NoLine;
}

TLineEntry* TData::FindEntry(std::string_view number)
{
    const int index = FindLine(number);
    return index == NoLine ? nullptr : &LineTable[static_cast<size_t>(index)];
}

void TData::SetCounters(std::string_view number, int sms, int fax, int voice, int reserved)
{
    TLineEntry* entry = FindEntry(number);
    if (!entry)
        return;
    entry->SmsCount = static_cast<uint8_t>(sms);
    entry->FaxCount = static_cast<uint8_t>(fax);
    entry->VoiceCount = static_cast<uint8_t>(voice);
    entry->Reserved = static_cast<uint8_t>(reserved);
}

void TData::AddCounters(std::string_view number, int sms, int fax, int voice, int reserved)
{
    TLineEntry* entry = FindEntry(number);
    if (!entry)
        return;
    entry->SmsCount = static_cast<uint8_t>(entry->SmsCount + sms);
    entry->FaxCount = static_cast<uint8_t>(entry->FaxCount + fax);
    entry->VoiceCount = static_cast<uint8_t>(entry->VoiceCount + voice);
    entry->Reserved = static_cast<uint8_t>(entry->Reserved + reserved);
}

void TData::ClearCounters()
{
    for (int i = 0; i < LineTableCount; ++i) {
        TLineEntry& entry = LineTable[static_cast<size_t>(i)];
        entry.SmsCount = entry.VoiceCount = entry.FaxCount = entry.Reserved = 0;
    }
}

std::string TData::LineNumber(int index) const
{
    if (index < 0 || index >= LineTableCount)
        return {};
    const TLineEntry& entry = LineTable[static_cast<size_t>(index)];
    return std::string(entry.Number, strnlen(entry.Number, sizeof entry.Number));
}

QString TData::DescribePacket(TPacketDirection direction, const uint8_t* bytes, int length, int command,
                              bool showBytes) const
{
    return RenderPacket(context_.Nls, direction, bytes, length, command, showBytes);
}

int TData::BuildRequest(char kind, int32_t argument, uint8_t* buf)
{
    switch (kind) {
    case 'C': return ConfigMessage(0, buf);
    case 'I': return IdentityMessage(0, buf);
    case 'V': return LineListMessage(0, buf);
    case 'A': return LineStateMessage(0, buf);
    case 'X': return Command14Message(0, buf);
    case 'U': return BillingMessage(0, buf);
    case 'S': return SlotMessage(0, buf);
    case 'M': return BuildCountersWrite(buf);
    case '#': return KeyMessage(0, buf, argument);
    case 'Y': return PartyMessage(0, buf, TPartyLookup::Unpack(argument).Party);
    default: return 0;
    }
}

QString TData::DescribeRequest(const uint8_t* bytes, int length, bool showBytes) const
{
    return DescribePacket(TPacketDirection::Request, bytes, length, 0, showBytes);
}

bool TData::AppendBillingRecord(const QString& fileName, const QByteArray& text, QString* error)
{
    QString why;
    const bool ok = AppendRecordToFile(fileName, text, &why);
    BillingWriteFailed = ok ? 0 : 1;
    if (error)
        *error = why;
    return ok;
}

}  // namespace varno
