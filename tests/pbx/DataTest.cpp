#include "agent/pbx/Data.h"
#include "platform/clock/Clock.h"
#include "tests/pbx/DataWorld.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using varno::TData;
using varno::TStates;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr double TestNow = 45000.25;

// Line-list reply of the given numbers, each as 4 decode codes.
Bytes LineList(const std::vector<std::array<uint8_t, 4>>& lines)
{
    Bytes reply{0, 14, 0};
    for (const auto& codes : lines)
        reply.insert(reply.end(), codes.begin(), codes.end());
    return reply;
}

void SetText(TStates& record, const char* text)
{
    std::memset(record.Text, 0, sizeof record.Text);
    std::memcpy(record.Text, text, std::min(std::strlen(text), sizeof record.Text));
}

class DataModel : public ::testing::Test {
protected:
    DataModel()
    {
        varno::SetClockForTest([] { return TestNow; });
    }
    ~DataModel() override { varno::SetClockForTest({}); }

    // Builds with a buffer of the documented size, marked so that a write
    // beyond the returned length shows.
    Bytes Build(const std::function<int(uint8_t*)>& build)
    {
        buffer.fill(0xCC);
        const int length = build(buffer.data());
        EXPECT_GE(length, 0);
        EXPECT_LE(length, TData::RequestBufferSize);
        for (int i = length; i < TData::RequestBufferSize; ++i)
            EXPECT_EQ(buffer[static_cast<size_t>(i)], 0xCC) << "written past the request at " << i;
        return Bytes(buffer.begin(), buffer.begin() + length);
    }

    // Lines 123, 12 and 20, with the line interface on.
    void LoadThreeLines()
    {
        const Bytes reply = LineList({{1, 2, 3, 0}, {1, 2, 0, 0}, {2, 10, 0, 0}});
        ASSERT_EQ(data.LineListMessage(1, reply.data(), static_cast<int>(reply.size())), 0);
        ASSERT_EQ(data.LineTableCount, 3);
    }

    DataWorld world;
    TData& data = world.Data;
    std::array<uint8_t, TData::RequestBufferSize> buffer{};
};

// --- requests ---

TEST_F(DataModel, BuildsTheFixedRequests)
{
    struct Case {
        const char* name;
        std::function<int(uint8_t*)> build;
        Bytes expected;
    };
    const Case cases[] = {
        {"C", [&](uint8_t* b) { return data.ConfigMessage(0, b); }, {13}},
        {"I", [&](uint8_t* b) { return data.IdentityMessage(0, b); }, {2}},
        {"V", [&](uint8_t* b) { return data.LineListMessage(0, b); }, {0, 14, 0}},
        {"A", [&](uint8_t* b) { return data.LineStateMessage(0, b); }, {0, 22, 0}},
        {"X", [&](uint8_t* b) { return data.Command14Message(0, b); }, {14}},
        {"U", [&](uint8_t* b) { return data.BillingMessage(0, b); }, {4}},
        {"U after a failed append",
         [&](uint8_t* b) {
             data.BillingWriteFailed = 1;
             return data.BillingMessage(0, b);
         },
         {5}},
        {"other mode builds nothing", [&](uint8_t* b) { return data.ConfigMessage(2, b); }, {}},
        {"mode 1 of the slot request builds nothing", [&](uint8_t* b) { return data.SlotMessage(1, b); }, {}},
        {"mode 1 of the billing request builds nothing", [&](uint8_t* b) { return data.BillingMessage(1, b); }, {}},
        {"other mode of the key request", [&](uint8_t* b) { return data.KeyMessage(7, b, 240); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Build(c.build), c.expected);
    }
}

TEST_F(DataModel, SlotRequestsCycleThroughTheFourSlots)
{
    std::vector<int> slotNumbers;
    for (int i = 0; i < 5; ++i) {
        const Bytes request = Build([&](uint8_t* b) { return data.SlotMessage(0, b); });
        ASSERT_EQ(request.size(), 3u);
        EXPECT_EQ(request[0], 0);
        EXPECT_EQ(request[1], 1);
        slotNumbers.push_back(request[2]);
    }
    EXPECT_EQ(slotNumbers, (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_EQ(data.NextSlot, 1);
}

TEST_F(DataModel, PartyRequestIsRelativeToTheFirstExternalPartyModulo256)
{
    struct Case {
        int firstParty;
        int party;
        uint8_t index;
    };
    const Case cases[] = {{10, 12, 2}, {10, 10, 0}, {10, 5, 251}, {200, 10, 66}, {0, 255, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.party);
        data.IdentityBlock[2] = static_cast<uint8_t>(c.firstParty);
        EXPECT_EQ(Build([&](uint8_t* b) { return data.PartyMessage(0, b, c.party); }), (Bytes{0, 47, c.index}));
    }
}

TEST_F(DataModel, KeyRequestsCarryKeyCodesOrUpToEightDialCodes)
{
    struct Case {
        const char* name;
        int32_t line;
        const char* text;
        int arg;
        Bytes expected;
    };
    const char* longText = "12345678901234567890";  // 20 characters: groups at 1, 9, 17
    const Case cases[] = {
        {"speaker", 4, "", 240, {18, 4, 0x53}},
        {"microphone", 4, "", 241, {18, 4, 0x54}},
        {"volume up", 4, "", 242, {18, 4, 0x5B}},
        {"volume down", 4, "", 243, {18, 4, 0x5C}},
        {"line is sent as its low byte", 0x105, "", 240, {18, 5, 0x53}},
        {"dial with a pause", 7, "12,5", 1, {18, 7, 1, 2, 14, 5}},
        {"unknown dial character is code 0", 7, "1E3", 1, {18, 7, 1, 0, 3}},
        {"first group of a long text", 2, longText, 1, {18, 2, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"second group", 2, longText, 9, {18, 2, 9, 10, 1, 2, 3, 4, 5, 6}},
        {"last group is shorter", 2, longText, 17, {18, 2, 7, 8, 9, 10}},
        {"group past the text's end", 2, longText, 25, {18, 2}},
        {"position 0 dials nothing", 2, longText, 0, {18, 2}},
        {"key argument beyond 243 is no key", 2, longText, 244, {18, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        world.Command.Line = c.line;
        world.Command.State = 4;
        SetText(world.Command, c.text);
        EXPECT_EQ(Build([&](uint8_t* b) { return data.KeyMessage(0, b, c.arg); }), c.expected);
    }
}

TEST_F(DataModel, DialTextFillingTheWholeRecordIsReadOnlyToItsEnd)
{
    // 32 characters and no terminating zero.
    std::memcpy(world.Command.Text, "11111111222222223333333344445678", 32);
    world.Command.Line = 1;
    EXPECT_EQ(Build([&](uint8_t* b) { return data.KeyMessage(0, b, 25); }), (Bytes{18, 1, 4, 4, 4, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Build([&](uint8_t* b) { return data.KeyMessage(0, b, 29); }), (Bytes{18, 1, 5, 6, 7, 8}));
    EXPECT_EQ(Build([&](uint8_t* b) { return data.KeyMessage(0, b, 33); }), (Bytes{18, 1}));
}

TEST_F(DataModel, CountersWriteListsSmsVoiceFaxReservedPerLine)
{
    EXPECT_EQ(Build([&](uint8_t* b) { return data.BuildCountersWrite(b); }), (Bytes{1, 17, 0}));

    LoadThreeLines();
    data.SetCounters("12", /*sms*/ 1, /*fax*/ 2, /*voice*/ 3, /*reserved*/ 0);
    data.SetCounters("20", 4, 5, 6, 7);
    EXPECT_EQ(Build([&](uint8_t* b) { return data.BuildCountersWrite(b); }),
              (Bytes{1, 17, 0, 0, 0, 0, 0, 1, 3, 2, 0, 4, 6, 5, 7}));
}

TEST_F(DataModel, CountersWriteOfAFullTableFitsTheBuffer)
{
    Bytes reply{0, 14, 0};
    reply.resize(3 + 4 * 70, 1);
    world.Qlin = false;
    data.LineListMessage(1, reply.data(), static_cast<int>(reply.size()));
    EXPECT_EQ(Build([&](uint8_t* b) { return data.BuildCountersWrite(b); }).size(), 3u + 4u * 56u);
}

TEST_F(DataModel, SlotClearIsSlotAndZerosTo254Bytes)
{
    const Bytes request = Build([&](uint8_t* b) { return data.BuildSlotClear(b, 2); });
    ASSERT_EQ(request.size(), 254u);
    EXPECT_EQ(request[0], 1);
    EXPECT_EQ(request[1], 1);
    EXPECT_EQ(request[2], 2);
    for (size_t i = 3; i < request.size(); ++i)
        EXPECT_EQ(request[i], 0) << i;
}

// --- replies ---

TEST_F(DataModel, ConfigurationReplyEmptiesTheCacheOnlyWhenTheBlockChanges)
{
    struct Case {
        const char* name;
        Bytes reply;
        int result;
        int flushes;
        std::array<uint8_t, 16> block;
    };
    // The stored block before each case: 1, 2, ..., 16.
    const std::array<uint8_t, 16> stored{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const Case cases[] = {
        {"identical block", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 128, 0, stored},
        {"last byte differs",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 99},
         128,
         1,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 99}},
        {"short reply replaces its bytes only",
         {0, 9, 9},
         128,
         1,
         {9, 9, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"short identical reply", {0, 1, 2}, 128, 0, stored},
        {"status alone", {0}, 128, 0, stored},
        {"longer reply keeps 16 bytes",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 77, 78},
         128,
         0,
         stored},
        {"error status changes nothing", {7, 0, 0, 0}, 7, 0, stored},
        {"no status byte changes nothing", {}, TData::MissingStatus, 0, stored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataWorld caseWorld;
        TData& caseData = caseWorld.Data;
        caseData.ConfigBlock = stored;
        Bytes reply(c.reply);
        EXPECT_EQ(caseData.ConfigMessage(1, static_cast<const uint8_t*>(reply.data()), static_cast<int>(reply.size())),
                  c.result);
        EXPECT_EQ(caseWorld.CacheFlushes, c.flushes);
        EXPECT_EQ(caseData.ConfigBlock, c.block);
    }
}

TEST_F(DataModel, IdentityReplyTellsWhetherThePbxFits)
{
    struct Case {
        uint8_t config4;
        uint8_t config5;
        int result;
    };
    const Case cases[] = {{1, 0, 128}, {1, 2, 131}, {1, 1, 131}, {0, 0, 130}, {2, 0, 130}, {0, 1, 130}};
    const Bytes reply{0, 3, 0x12, 10, 4, 5, 6, 7};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.config4) << "/" << int(c.config5));
        DataWorld caseWorld;
        TData& caseData = caseWorld.Data;
        caseData.ConfigBlock[4] = c.config4;
        caseData.ConfigBlock[5] = c.config5;
        EXPECT_EQ(caseData.IdentityMessage(1, reply.data(), static_cast<int>(reply.size())), c.result);
        EXPECT_EQ(caseData.IdentityBlock, (std::array<uint8_t, 7>{3, 0x12, 10, 4, 5, 6, 7}));
    }
}

TEST_F(DataModel, IdentityReplyFlushesTheCacheOnChangeAndKeepsTheBlockOnError)
{
    data.ConfigBlock[4] = 1;
    const Bytes reply{0, 3, 0x12, 10, 4, 5, 6, 7};
    EXPECT_EQ(data.IdentityMessage(1, reply.data(), 8), 128);
    EXPECT_EQ(world.CacheFlushes, 1);
    EXPECT_EQ(data.IdentityMessage(1, reply.data(), 8), 128);
    EXPECT_EQ(world.CacheFlushes, 1);

    const Bytes error{5, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(data.IdentityMessage(1, error.data(), 8), 5);
    EXPECT_EQ(data.IdentityBlock[0], 3);
    EXPECT_EQ(world.CacheFlushes, 1);

    EXPECT_EQ(data.IdentityMessage(1, static_cast<const uint8_t*>(nullptr), 0), TData::MissingStatus);
    EXPECT_EQ(data.IdentityBlock[0], 3);
    EXPECT_EQ(world.Log.size(), 1u);
}

TEST_F(DataModel, LineListFillsTheTableAndPublishesTheNames)
{
    using Published = std::vector<std::pair<int, std::string>>;
    struct Case {
        const char* name;
        bool qlin;
        Bytes reply;
        int count;
        Published published;
    };
    const Case cases[] = {
        {"two lines",
         true,
         {0, 14, 0, 1, 2, 3, 4, 2, 10, 0, 0},
         2,
         {{0, std::string("1234", 4)}, {1, std::string("20\0\0", 4)}}},
        {"line interface off", false, {0, 14, 0, 1, 2, 3, 4, 2, 10, 0, 0}, 2, {}},
        {"length 3", true, {0, 14, 0}, 0, {}},
        {"length 4", true, {0, 14, 0, 1}, 0, {}},
        {"length 5", true, {0, 14, 0, 1, 2}, 0, {}},
        {"length 6", true, {0, 14, 0, 1, 2, 3}, 0, {}},
        {"trailing partial group ignored", true, {0, 14, 0, 5, 0, 0, 0, 6, 6}, 1, {{0, std::string("5\0\0\0", 4)}}},
        {"end-of-text code inside a number", true, {0, 14, 0, 1, 20, 3, 4}, 1, {{0, std::string("1\0\0\0", 4)}}},
        {"error status changes nothing", true, {3, 14, 0, 1, 2, 3, 4}, 7, {}},
        {"no status byte changes nothing", true, {}, 7, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataWorld caseWorld;
        caseWorld.Qlin = c.qlin;
        TData& caseData = caseWorld.Data;
        caseData.LineTableCount = 7;
        std::memcpy(caseData.LineTable[0].Number, "99", 3);
        caseData.LineTable[0].SmsCount = 5;
        Bytes reply(c.reply);
        const int result =
            caseData.LineListMessage(1, static_cast<const uint8_t*>(reply.data()), static_cast<int>(reply.size()));
        EXPECT_EQ(result, reply.empty() ? TData::MissingStatus : 0);
        EXPECT_EQ(caseData.LineTableCount, c.count);
        EXPECT_EQ(caseWorld.Lines, c.published);
        for (const auto& [index, name] : c.published) {
            EXPECT_EQ(caseData.LineNumber(index), std::string(name.c_str()));
        }
        // The numbers are kept with the line interface off too (the mail
        // gateway matches its owners' phones against them); only publishing stops.
        if (c.published.empty()) {
            EXPECT_STREQ(caseData.LineTable[0].Number, c.qlin ? "99" : "1234");
        }
        EXPECT_EQ(caseData.LineTable[0].SmsCount, 5) << "counters are not touched by the line list";
    }
}

TEST_F(DataModel, LineListLongerThanTheTableKeepsTheFirst56Lines)
{
    Bytes reply{0, 14, 0};
    for (int i = 0; i < 60; ++i) {
        // line i is numbered 1000 + i
        const int number = 1000 + i;
        for (int d : {number / 1000, number / 100 % 10, number / 10 % 10, number % 10})
            reply.push_back(static_cast<uint8_t>(d == 0 ? 10 : d));
    }
    EXPECT_EQ(data.LineListMessage(1, reply.data(), static_cast<int>(reply.size())), 0);
    EXPECT_EQ(data.LineTableCount, 56);
    ASSERT_EQ(world.Lines.size(), 56u);
    EXPECT_EQ(world.Lines.back(), (std::pair<int, std::string>{55, "1055"}));
    EXPECT_EQ(data.LineNumber(55), "1055");
    EXPECT_EQ(data.LineNumber(56), "");
    EXPECT_EQ(data.FindLine("1056"), TData::NoLine);
    ASSERT_EQ(world.Log.size(), 1u);
    EXPECT_TRUE(world.Log[0].second.contains("60")) << world.Log[0].second.toStdString();
}

TEST_F(DataModel, ShorterNumberReplacesALongerOneCompletely)
{
    const Bytes first = LineList({{1, 2, 3, 4}});
    const Bytes second = LineList({{5, 0, 0, 0}});
    data.LineListMessage(1, first.data(), static_cast<int>(first.size()));
    data.LineListMessage(1, second.data(), static_cast<int>(second.size()));
    EXPECT_EQ(world.Lines.back(), (std::pair<int, std::string>{0, std::string("5\0\0\0", 4)}));
    EXPECT_EQ(data.LineNumber(0), "5");
    EXPECT_EQ(data.FindLine("5"), 0);
    EXPECT_EQ(data.FindLine("1234"), TData::NoLine);
}

TEST_F(DataModel, LineStateAndCommand14RepliesAreStoredAsTheyCameWithinTheirFields)
{
    struct Case {
        const char* name;
        bool lineState;
        int length;
        uint8_t status;
        uint32_t storedLength;
        size_t logLines;
    };
    const Case cases[] = {
        {"A reply", true, 11, 0, 11, 0},
        {"A reply with error status", true, 1, 5, 1, 0},
        {"A reply of exactly 256 bytes", true, 256, 0, 256, 0},
        {"A reply of 300 bytes is cut", true, 300, 0, 256, 1},
        {"X reply", false, 12, 0, 12, 0},
        {"X reply with error status", false, 3, 9, 3, 0},
        {"X reply of 20 bytes is cut", false, 20, 0, 12, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataWorld caseWorld;
        TData& caseData = caseWorld.Data;
        Bytes reply(static_cast<size_t>(c.length));
        for (size_t i = 0; i < reply.size(); ++i)
            reply[i] = static_cast<uint8_t>(i * 7 + 1);
        reply[0] = c.status;
        const uint8_t* stored;
        if (c.lineState) {
            EXPECT_EQ(caseData.LineStateMessage(1, reply.data(), c.length), 0);
            EXPECT_EQ(caseData.LineStateReplyLen, c.storedLength);
            EXPECT_EQ(caseData.LineStateReplyTime, TestNow);
            EXPECT_EQ(caseData.Command14ReplyLen, 0u);
            stored = caseData.LineStateReply.data();
        } else {
            EXPECT_EQ(caseData.Command14Message(1, reply.data(), c.length), 0);
            EXPECT_EQ(caseData.Command14ReplyLen, c.storedLength);
            EXPECT_EQ(caseData.Command14ReplyTime, TestNow);
            EXPECT_EQ(caseData.LineStateReplyLen, 0u);
            stored = caseData.Command14Reply.data();
        }
        EXPECT_EQ(Bytes(stored, stored + c.storedLength), Bytes(reply.begin(), reply.begin() + c.storedLength));
        EXPECT_EQ(caseWorld.Log.size(), c.logLines);
    }
}

TEST_F(DataModel, EmptyLineStateReplyKeepsThePreviousOne)
{
    const Bytes reply{0, 22, 0, 1, 2, 3, 4};
    data.LineStateMessage(1, reply.data(), 7);
    data.Command14Message(1, reply.data(), 7);
    varno::SetClockForTest([] { return TestNow + 1; });
    EXPECT_EQ(data.LineStateMessage(1, reply.data(), 0), TData::MissingStatus);
    EXPECT_EQ(data.Command14Message(1, reply.data(), 0), TData::MissingStatus);
    EXPECT_EQ(data.LineStateReplyLen, 7u);
    EXPECT_EQ(data.LineStateReplyTime, TestNow);
    EXPECT_EQ(data.Command14ReplyLen, 7u);
    EXPECT_EQ(data.Command14ReplyTime, TestNow);
}

TEST_F(DataModel, PartyReplyCompletesTheLineStateRecord)
{
    auto partyReply = [](uint8_t status, const std::string& number, bool terminated) {
        Bytes reply{status, 47, 2, 0, 0, 0, 0, 0, 0, 0, 0};
        for (char ch : number)
            reply.push_back(static_cast<uint8_t>(ch));
        if (terminated) {
            for (uint8_t tail : {uint8_t(0), uint8_t('x'), uint8_t('y')})
                reply.push_back(tail);
        }
        return reply;
    };
    struct Case {
        const char* name;
        bool qlin;
        Bytes reply;
        int result;
        const char* text;
        size_t published;
    };
    const std::string longNumber(40, '7');
    const Case cases[] = {
        {"number", true, partyReply(0, "555123", true), 0, "555123", 1},
        {"number up to the reply's end", true, partyReply(0, "0042", false), 0, "0042", 1},
        {"reply without number", true, partyReply(0, "", false), 0, "", 1},
        {"long number is cut to the record", true, partyReply(0, longNumber, false), 0,
         "7777777777777777777777777777777", 1},
        {"error status", true, partyReply(4, "555", true), 4, "old", 0},
        {"line interface off", false, partyReply(0, "555", true), 0, "555", 0},
        {"no status byte", true, {}, TData::MissingStatus, "old", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataWorld caseWorld;
        caseWorld.Qlin = c.qlin;
        caseWorld.State.Line = 3;
        caseWorld.State.State = 1;
        SetText(caseWorld.State, "old");
        TData& caseData = caseWorld.Data;
        Bytes reply(c.reply);
        EXPECT_EQ(caseData.PartyMessage(1, static_cast<const uint8_t*>(reply.data()), static_cast<int>(reply.size())),
                  c.result);
        EXPECT_STREQ(caseWorld.State.Text, c.text);
        ASSERT_EQ(caseWorld.PutStates.size(), c.published);
        if (c.published) {
            EXPECT_EQ(caseWorld.PutStates[0].Line, 3);
            EXPECT_EQ(caseWorld.PutStates[0].State, 1);
            EXPECT_STREQ(caseWorld.PutStates[0].Text, c.text);
        }
    }
}

TEST_F(DataModel, KeyReplyReturnsItsStatus)
{
    const Bytes ok{0}, failed{6, 1, 2};
    EXPECT_EQ(data.KeyMessage(1, ok.data(), 1), 0);
    EXPECT_EQ(data.KeyMessage(1, failed.data(), 3), 6);
    EXPECT_EQ(data.KeyMessage(1, ok.data(), 0), TData::MissingStatus);
    EXPECT_EQ(data.KeyMessage(3, failed.data(), 3), 0);
}

TEST_F(DataModel, WritableBufferInMode1IsTakenAsAReply)
{
    Bytes config{0, 1, 2, 3, 1, 0};
    EXPECT_EQ(data.ConfigMessage(1, config.data(), 6), 128);
    EXPECT_EQ(data.ConfigBlock[3], 1);

    Bytes party{0, 47, 0, 0, 0, 0, 0, 0, 0, 0, 0, '8', '1', 0};
    EXPECT_EQ(data.PartyMessage(1, party.data(), 14), 0);
    ASSERT_EQ(world.PutStates.size(), 1u);
    EXPECT_STREQ(world.PutStates[0].Text, "81");

    Bytes key{9};
    EXPECT_EQ(data.KeyMessage(1, key.data(), 1), 9);

    Bytes lines{0, 14, 0, 1, 0, 0, 0};
    EXPECT_EQ(data.LineListMessage(1, lines.data(), 7), 0);
    EXPECT_EQ(data.LineTableCount, 1);

    // A read-only payload cannot be built into.
    EXPECT_EQ(data.ConfigMessage(0, static_cast<const uint8_t*>(config.data()), 6), 0);
    EXPECT_EQ(config[0], 0);
}

// --- lines and counters ---

TEST_F(DataModel, FindLineMatchesWholeNumbersOnly)
{
    LoadThreeLines();
    struct Case {
        const char* number;
        int index;
    };
    const Case cases[] = {
        {"123", 0},          {"12", 1},           {"20", 2}, {"1", TData::NoLine}, {"1234", TData::NoLine},
        {"", TData::NoLine}, {"2", TData::NoLine}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(data.FindLine(c.number), c.index);
    }
    EXPECT_EQ(data.LineNumber(0), "123");
    EXPECT_EQ(data.LineNumber(2), "20");
    EXPECT_EQ(data.LineNumber(3), "");
    EXPECT_EQ(data.LineNumber(-1), "");

    // Lines beyond a shorter list are no longer found.
    const Bytes one = LineList({{1, 2, 3, 0}});
    data.LineListMessage(1, one.data(), static_cast<int>(one.size()));
    EXPECT_EQ(data.FindLine("12"), TData::NoLine);
    EXPECT_EQ(data.LineNumber(1), "");
}

TEST_F(DataModel, CountersFollowTheirArgumentOrderAndWrapAt256)
{
    LoadThreeLines();
    data.SetCounters("12", /*sms*/ 250, /*fax*/ 1, /*voice*/ 2, /*reserved*/ 0);
    EXPECT_EQ(data.LineTable[1].SmsCount, 250);
    EXPECT_EQ(data.LineTable[1].FaxCount, 1);
    EXPECT_EQ(data.LineTable[1].VoiceCount, 2);

    data.AddCounters("12", /*sms*/ 10, /*fax*/ 3, /*voice*/ 255, /*reserved*/ 0);
    EXPECT_EQ(data.LineTable[1].SmsCount, 4);
    EXPECT_EQ(data.LineTable[1].FaxCount, 4);
    EXPECT_EQ(data.LineTable[1].VoiceCount, 1);
    EXPECT_EQ(data.LineTable[1].Reserved, 0);

    data.SetCounters("20", 300, 0, 0, 0);
    EXPECT_EQ(data.LineTable[2].SmsCount, 44);

    // Numbers that are no line, or only part of one, change nothing.
    const auto before = data.LineTable;
    data.SetCounters("1", 9, 9, 9, 9);
    data.AddCounters("99", 9, 9, 9, 9);
    data.SetCounters("", 9, 9, 9, 9);
    EXPECT_EQ(std::memcmp(before.data(), data.LineTable.data(), sizeof before), 0);

    data.ClearCounters();
    for (int i = 0; i < 3; ++i) {
        const auto& entry = data.LineTable[static_cast<size_t>(i)];
        EXPECT_EQ(entry.SmsCount + entry.VoiceCount + entry.FaxCount + entry.Reserved, 0) << i;
    }
    EXPECT_EQ(data.LineNumber(1), "12");
}

TEST_F(DataModel, CountersKeepTheirValuesOverANewLineList)
{
    LoadThreeLines();
    data.SetCounters("20", 1, 2, 3, 0);
    LoadThreeLines();
    EXPECT_EQ(data.LineTable[2].SmsCount, 1);
    EXPECT_EQ(data.LineTable[2].FaxCount, 2);
    EXPECT_EQ(data.LineTable[2].VoiceCount, 3);
}

}  // namespace
