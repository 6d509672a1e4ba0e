#pragma once
#include "agent/core/AgentContext.h"
#include "agent/core/RequestBuilder.h"
#include "agent/pbx/DigitCodes.h"
#include "agent/pbx/PacketRenderer.h"
#include "agent/pbx/States.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace varno {

// One PBX line as the agent knows it: its extension number and the message
// counters that are written to the PBX for the line owner's telephone.
struct TLineEntry {
    char Number[5];  // at most 4 characters, zero-terminated and zero-padded
    uint8_t SmsCount;
    uint8_t VoiceCount;
    uint8_t FaxCount;
    uint8_t Reserved;  // sent as the fourth counter byte
};
static_assert(sizeof(TLineEntry) == 9);

// The data model of the PBX conversation: builds the agent's request
// payloads, takes the replies apart and keeps what the agent knows of the
// PBX. One instance lives from start-up to shutdown; it is used on the main
// thread only. What it reports upward (a changed block, the names of the
// lines, a line state for the line interface) leaves it as signals.
//
// Mode convention of the per-kind operations: mode 0 builds the request into
// `buf` and returns its length; mode 1 takes a reply payload (sequence byte
// removed) and returns a result; any other mode does nothing and returns 0.
// Each operation comes in two forms:
//   - Op(mode, uint8_t* buf, int len_or_arg): mode 0 builds (the third
//     argument is the operation's argument, if any); mode 1 takes `buf` as a
//     reply of `len_or_arg` bytes.
//   - Op(mode, const uint8_t* payload, int len): mode 1 takes; it cannot build.
// A build buffer must hold at least RequestBufferSize bytes (the longest
// request built here is the slot clear of 254 bytes).
//
// A reply with no byte at all has no status: every take then returns
// MissingStatus, logs it and changes nothing, so it is never mistaken for
// success (status 0) nor for a stored block (128).
class TData : public QObject, public TRequestBuilder {
    Q_OBJECT
public:
    static constexpr int RequestBufferSize = 256;
    static constexpr int LineTableSize = 56;
    static constexpr int LineStateReplySize = 256;
    static constexpr int Command14ReplySize = 12;
    static constexpr int ConfigBlockSize = 16;
    static constexpr int IdentityBlockSize = 7;
    static constexpr int SlotClearLength = 254;

    // Results of ConfigMessage / IdentityMessage (mode 1).
    static constexpr int BlockTaken = 128;     // block stored, PBX accepted
    static constexpr int ForeignPbx = 130;     // not a PBX the agent works with
    static constexpr int AskToContinue = 131;  // the user is to be asked whether to go on
    // Result of every take whose reply has no status byte.
    static constexpr int MissingStatus = -1;
    // FindLine: no line has that number.
    static constexpr int NoLine = 255;

    static_assert(RequestBufferSize <= TRequestBuilder::BufferSize);

    explicit TData(const TAgentContext& context);
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    // Kind C: builds 13; takes the configuration block.
    int ConfigMessage(int mode, uint8_t* buf, int len = 0);
    int ConfigMessage(int mode, const uint8_t* payload, int len);
    // Kind I: builds 2; takes the identity block, returns 128, 130 or 131.
    int IdentityMessage(int mode, uint8_t* buf, int len = 0);
    int IdentityMessage(int mode, const uint8_t* payload, int len);
    // Kind V: builds 0, 14, 0; takes the line list: the count and every
    // line's number, published to the line interface when it is on.
    int LineListMessage(int mode, uint8_t* buf, int len = 0);
    int LineListMessage(int mode, const uint8_t* payload, int len);
    // Kind A: builds 0, 22, 0; stores the line-state reply.
    int LineStateMessage(int mode, uint8_t* buf, int len = 0);
    int LineStateMessage(int mode, const uint8_t* payload, int len);
    // Kind X: builds 14; stores the command-14 reply.
    int Command14Message(int mode, uint8_t* buf, int len = 0);
    int Command14Message(int mode, const uint8_t* payload, int len);
    // Kind S: builds 0, 1, NextSlot and advances NextSlot. Mode 1 does nothing.
    int SlotMessage(int mode, uint8_t* buf);
    // Kind U: builds 4, or 5 while BillingWriteFailed is set. Mode 1 does nothing.
    int BillingMessage(int mode, uint8_t* buf);
    // Kind Y: builds 0, 47, party - first external party; takes the party's
    // number into QlinState and passes the record on (lineStateChanged) while
    // the line interface is on. The tick's builder takes the party from a
    // packed TPartyLookup.
    int PartyMessage(int mode, uint8_t* buf, int arg);
    int PartyMessage(int mode, const uint8_t* payload, int len);
    // Kind #: builds 18, the line of QlinCommand, then a key code (arg
    // 240..243) or the digit codes of up to 8 dial characters of its text
    // from 1-based position `arg`; takes the status byte.
    int KeyMessage(int mode, uint8_t* buf, int arg);
    int KeyMessage(int mode, const uint8_t* payload, int len);

    // 1, 17, 0, then SmsCount, VoiceCount, FaxCount, Reserved of every line.
    int BuildCountersWrite(uint8_t* buf) const;
    // 1, 1, slot and 251 zero bytes; returns SlotClearLength.
    int BuildSlotClear(uint8_t* buf, int slot) const;

    // Index of the first line whose number equals `number` exactly, or NoLine.
    // An empty text names no line.
    int FindLine(std::string_view number) const;
    // Counter values are taken modulo 256. Note the order: SMS, fax, voice.
    void SetCounters(std::string_view number, int sms, int fax, int voice, int reserved);
    void AddCounters(std::string_view number, int sms, int fax, int voice, int reserved);
    void ClearCounters();
    // Number of line `index`, or an empty text when there is no such line.
    std::string LineNumber(int index) const;

    // Appends one billing record to the billing file; sets BillingWriteFailed
    // when the append failed and clears it when one completed. error says why.
    bool AppendBillingRecord(const QString& fileName, const QByteArray& text, QString* error = nullptr);

    QString DescribePacket(TPacketDirection direction, const uint8_t* bytes, int length, int command,
                           bool showBytes) const;

    // The tick's builder: the request of each kind (M: the counters write).
    int BuildRequest(char kind, int32_t argument, uint8_t* buf) override;
    QString DescribeRequest(const uint8_t* bytes, int length, bool showBytes) const override;

    // The latest A and X replies, status byte included, for TCP/IP clients.
    std::array<uint8_t, LineStateReplySize> LineStateReply{};
    std::array<uint8_t, Command14ReplySize> Command14Reply{};
    uint32_t LineStateReplyLen = 0;
    uint32_t Command14ReplyLen = 0;
    double LineStateReplyTime = 0;  // date-time of arrival; 0 before the first reply
    double Command14ReplyTime = 0;
    std::array<uint8_t, IdentityBlockSize> IdentityBlock{};
    std::array<TLineEntry, LineTableSize> LineTable{};
    uint8_t LineTableCount = 0;
    std::array<uint8_t, ConfigBlockSize> ConfigBlock{};
    uint8_t BillingWriteFailed = 0;
    // Slot of the next S request: 0, 1, 2, 3, 0, ...
    int32_t NextSlot = 0;
    // The line-state record of the party lookup being answered: Line and
    // State come with the lookup's reply (what its request carried), Text
    // from the reply itself.
    TStates QlinState{};
    // The command most recently taken from the line interface; its #
    // requests are built from it when it is taken and carry their bytes.
    TStates QlinCommand{};

signals:
    // The configuration or identity block changed: every cached answer is suspect.
    void blockChanged();
    // The line list named line `index` (0..55); `name` points to at least 4
    // characters, zero-padded, valid during the call. Only while the line
    // interface is on.
    void lineNamed(int index, const char* name);
    // A line-state record for the line-interface clients.
    void lineStateChanged(const varno::TStates& record);

private:
    bool HasStatus(const uint8_t* payload, int len, const char* kind);
    void TakeBlock(const uint8_t* payload, int len, uint8_t* block, int size);
    template <size_t Size>
    void StoreReply(const uint8_t* payload, int len, std::array<uint8_t, Size>& reply, uint32_t& replyLen,
                    double& replyTime, const char* kind);
    TLineEntry* FindEntry(std::string_view number);

    const TAgentContext& context_;
};

}  // namespace varno
