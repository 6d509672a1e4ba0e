// Feeds arbitrary PBX replies to the data model and checks, after every one,
// that nothing was written past a fixed field: the line table keeps at most
// 56 lines with zero-terminated numbers, the kept line-state and command-14
// replies fit their buffers, the party text is zero-terminated, and every
// line name handed to the line interface lies inside the table. Rendering
// any packet as log text must not read past it either (AddressSanitizer).
//
// Input layout: a sequence of records, each one byte choosing what takes the
// payload, two bytes of payload length (little-endian, cut to what is left),
// then the payload. One data model takes the whole sequence, so a line list
// followed by party lookups and counter changes is explored as the agent
// meets it.
#include "agent/pbx/Data.h"
#include "fuzz/FuzzCheck.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using varno::TData;
using varno::TStates;

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

// The texts have names long enough to make the renderer shorten them; every
// seventh is missing. They come from a language file, as in the agent.
class FuzzTexts {
public:
    FuzzTexts()
    {
        QFile file(dir_.filePath("Language.Eng"));
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write("[Texty]\n");
        for (int number = 100; number < 2300; ++number) {
            if (number % 7 != 0)
                file.write(QStringLiteral("%1=Name of text number %1 which is long\n").arg(number).toUtf8());
        }
        file.close();
        nls_.SetLanguage("Eng");
        nls_.LoadTexts();
        nls_.CloseLanguageFile();
    }
    const varno::TNLS& Nls() const { return nls_; }

private:
    QTemporaryDir dir_;
    varno::TNLS nls_{dir_.path()};
};

// The data model with the line interface on; what it hands the line
// interface is checked as it leaves.
class FuzzHost {
public:
    FuzzHost()
    {
        config_.QLIN = true;
        QObject::connect(&model, &TData::lineNamed, [](int index, const char* name) {
            CHECK(index >= 0 && index < TData::LineTableSize);
            volatile char last = name[3];  // the four bytes the line interface copies
            (void)last;
        });
        QObject::connect(&model, &TData::lineStateChanged,
                         [](const TStates& record) { CHECK(Terminated(record.Text, sizeof record.Text)); });
    }

private:
    static const FuzzTexts& Texts()
    {
        static const FuzzTexts texts;
        return texts;
    }
    varno::TEventLog log_;
    varno::TConfig config_;
    varno::TAgentContext context_{log_, Texts().Nls(), config_};

public:
    TData model{context_};
    TStates& state_ = model.QlinState;
    TStates& command_ = model.QlinCommand;
};

void CheckModel(const TData& model, const FuzzHost& host)
{
    CHECK(model.LineTableCount <= TData::LineTableSize);
    for (const auto& line : model.LineTable)
        CHECK(Terminated(line.Number, sizeof line.Number));
    CHECK(model.LineStateReplyLen <= model.LineStateReply.size());
    CHECK(model.Command14ReplyLen <= model.Command14Reply.size());
    CHECK(Terminated(host.state_.Text, sizeof host.state_.Text));
    CHECK(model.NextSlot >= 0 && model.NextSlot <= 3);
}

void Take(TData& model, FuzzHost& host, uint8_t choice, const uint8_t* payload, int length)
{
    switch (choice % 12) {
    case 0: model.ConfigMessage(1, payload, length); break;
    case 1: model.IdentityMessage(1, payload, length); break;
    case 2: model.LineListMessage(1, payload, length); break;
    case 3: model.LineStateMessage(1, payload, length); break;
    case 4: model.Command14Message(1, payload, length); break;
    case 5:
        // A party lookup as the line interface queues it: line and state set.
        host.state_.Line = length > 0 ? payload[0] % TData::LineTableSize : 0;
        host.state_.State = 1;
        model.PartyMessage(1, payload, length);
        break;
    case 6: model.KeyMessage(1, payload, length); break;
    case 7: {
        // Counter changes by a number taken from the input, then the write.
        const std::string number(reinterpret_cast<const char*>(payload), static_cast<size_t>(std::min(length, 6)));
        model.AddCounters(number, 250, 3, 7, 1);
        model.SetCounters(number, length, -1, 300, 0);
        uint8_t buf[TData::RequestBufferSize];
        CHECK(model.BuildCountersWrite(buf) <= TData::RequestBufferSize);
        CHECK(model.FindLine(number) == TData::NoLine || model.FindLine(number) < model.LineTableCount);
        break;
    }
    case 8: {
        // The builders after whatever the replies left, with a client
        // command whose dial text comes from the input.
        uint8_t buf[TData::RequestBufferSize];
        const int arg = length > 0 ? payload[0] : 0;
        host.command_ = TStates{};
        host.command_.Line = length > 1 ? payload[1] : 0;
        if (length > 2)
            std::memcpy(host.command_.Text, payload + 2, std::min<size_t>(length - 2, sizeof host.command_.Text - 1));
        CHECK(model.SlotMessage(0, buf) <= TData::RequestBufferSize);
        CHECK(model.PartyMessage(0, buf, arg) <= TData::RequestBufferSize);
        CHECK(model.KeyMessage(0, buf, arg) <= TData::RequestBufferSize);
        CHECK(model.BuildSlotClear(buf, arg) == TData::SlotClearLength);
        break;
    }
    case 9: {
        const int command = length > 0 ? payload[0] : 0;
        model.DescribePacket(varno::TPacketDirection::Reply, payload, length, command, true);
        model.DescribePacket(varno::TPacketDirection::Reply, payload, length, command, false);
        break;
    }
    case 10: model.DescribePacket(varno::TPacketDirection::Request, payload, length, 0, true); break;
    default: {
        const std::string number = varno::DecodeDigits(payload, length);
        CHECK(static_cast<int>(number.size()) <= length);
        const auto codes = varno::EncodeDigits(number, length % 40);
        CHECK(static_cast<int>(codes.size()) == length % 40);
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzHost host;
    TData& model = host.model;
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t choice = data[at];
        size_t length = data[at + 1] | (size_t(data[at + 2]) << 8);
        at += 3;
        length = std::min(length, size - at);
        // The payload is copied to a buffer of its exact size, so that any
        // read past it is caught.
        auto* payload = static_cast<uint8_t*>(std::malloc(length ? length : 1));
        if (length)
            std::memcpy(payload, data + at, length);
        Take(model, host, choice, length ? payload : nullptr, static_cast<int>(length));
        std::free(payload);
        at += length;
        CheckModel(model, host);
    }
    return 0;
}
