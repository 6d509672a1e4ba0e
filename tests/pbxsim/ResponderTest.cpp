#include "tests/pbxsim/SimFixture.h"

namespace varno::pbxsim {
namespace {

class PbxsimResponderTest : public SimFixture {
protected:
    void SetUp() override
    {
        Run({
            "line 0 100",
            "line 1 101 state 2 party 0",
            "line 2 1234 state 1 party 64",
            "line 3 *#F",
            "party 64 0601234567",
            "command14 1 2 3 4 5",
            "slot 1 Q 123\\nHi\\nText",
            "bill first {n}",
            "bill second {n}",
            "item 5 0 9 8 7",
        });
    }
};

struct ReadCase {
    const char* name;
    Bytes request;
    Bytes reply;
    RequestKind kind;
};

TEST_F(PbxsimResponderTest, AnswersEveryReadFromTheState)
{
    const Bytes filler(8, 0);
    const ReadCase cases[] = {
        {"config", {13}, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, RequestKind::Config},
        {"identity", {2}, {0, 3, 10, 64, 0, 0, 0, 0}, RequestKind::Identity},
        {"line list", {0, 14, 0}, {0, 14, 0, 1, 10, 10, 0, 1, 10, 1, 0, 1, 2, 3, 4, 11, 12, 13, 0}, RequestKind::Lines},
        {"line states", {0, 22, 0}, {0, 22, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 64, 0, 0, 0, 0, 0, 0}, RequestKind::States},
        {"external party",
         {0, 47, 0},
         Join(Join({0, 47, 0}, filler), Join(Text("0601234567"), {0})),
         RequestKind::Party},
        {"unknown party", {0, 47, 5}, {2, 47, 5}, RequestKind::Party},
        {"command 14", {14}, {0, 1, 2, 3, 4, 5}, RequestKind::Command14},
        {"slot with a message", {0, 1, 1}, Join({0, 1, 1, 'Q'}, Text("123\nHi\nText")), RequestKind::Slot},
        {"empty slot", {0, 1, 0}, {0, 1, 0, 0}, RequestKind::Slot},
        {"slot beyond the four", {0, 1, 4}, {2, 1, 4}, RequestKind::Slot},
        {"item from the scenario", {0, 5, 0}, {0, 5, 0, 9, 8, 7}, RequestKind::Read},
        {"item without data", {0, 6, 3}, {0, 6, 3}, RequestKind::Read},
        {"unknown command", {40}, {0}, RequestKind::Other},
        {"empty request", {}, {0}, RequestKind::Other},
        {"read without an index", {0, 22}, {2, 22}, RequestKind::States},
        {"read without an item", {0}, {2}, RequestKind::Read},
        {"one-byte command with data", {13, 5}, {2}, RequestKind::Config},
        {"keys without a line", {18}, {2}, RequestKind::Keys},
        {"keys for a line that is not there", {18, 9, 1}, {2}, RequestKind::Keys},
    };
    for (const auto& c : cases) {
        const PbxAnswer answer = AskFull(c.request);
        EXPECT_EQ(answer.Reply, c.reply) << c.name;
        EXPECT_EQ(answer.Kind, c.kind) << c.name;
    }
}

TEST_F(PbxsimResponderTest, BillingHandsOutRecordsInOrderAndRepeatsThePreviousOne)
{
    EXPECT_EQ(Ask({5}), Bytes{0}) << "nothing handed out yet";
    EXPECT_EQ(Ask({4}), Join({0}, Text("first 1")));
    EXPECT_EQ(Ask({5}), Join({0}, Text("first 1")));
    EXPECT_EQ(Ask({4}), Join({0}, Text("second 2")));
    EXPECT_EQ(Ask({4}), Bytes{0}) << "none left";
    EXPECT_EQ(Ask({5}), Join({0}, Text("second 2")));
    Run({"bill third {n}"});
    EXPECT_EQ(Ask({4}), Join({0}, Text("third 3")));
}

TEST_F(PbxsimResponderTest, WritesChangeWhatLaterReadsSee)
{
    EXPECT_EQ(Ask({1, 1, 1, 0, 0, 0}), (Bytes{0, 1, 1}));
    EXPECT_EQ(Ask({0, 1, 1}), (Bytes{0, 1, 1, 0})) << "the slot write empties the slot";
    EXPECT_EQ(Ask({1, 1, 7}), (Bytes{2, 1, 7}));

    EXPECT_EQ(Ask({1, 6, 3, 1, 2}), (Bytes{0, 6, 3}));
    EXPECT_EQ(Ask({0, 6, 3}), (Bytes{0, 6, 3, 1, 2}));
    EXPECT_EQ(Ask({0, 6, 4}), (Bytes{0, 6, 4})) << "another index keeps its own data";
}

TEST_F(PbxsimResponderTest, CountersAndKeysAreTakenAndDescribed)
{
    const PbxAnswer counters = AskFull({1, 17, 0, 1, 0, 2, 0, 0, 0, 0, 0, 3, 3, 3, 0, 0, 0, 0, 9});
    EXPECT_EQ(counters.Kind, RequestKind::Counters);
    EXPECT_EQ(counters.Reply, (Bytes{0, 17, 0}));
    EXPECT_EQ(counters.Note, "0:1/0/2/0 1:0/0/0/0 2:3/3/3/0 3:0/0/0/9");
    EXPECT_EQ(state.Lines[2].Counters, (std::array<uint8_t, 4>{3, 3, 3, 0}));

    const PbxAnswer shortWrite = AskFull({1, 17, 0, 5, 5, 5, 0});
    EXPECT_EQ(shortWrite.Reply, (Bytes{0, 17, 0}));
    EXPECT_EQ(shortWrite.Note, "0:5/5/5/0 (4 counter bytes for 4 lines)");
    EXPECT_EQ(state.Lines[1].Counters[0], 0) << "lines the write does not reach keep their counters";

    const PbxAnswer dial = AskFull({18, 2, 1, 2, 14, 5, 23, 0});
    EXPECT_EQ(dial.Reply, Bytes{0});
    EXPECT_EQ(dial.Note, "line 2 12,5x[0]");
    EXPECT_EQ(AskFull({18, 0, 0x53}).Note, "line 0 [speaker]");
    EXPECT_EQ(AskFull({18, 0, 0x5C}).Note, "line 0 [volume-down]");
}

TEST_F(PbxsimResponderTest, StatusOfAKindGivesAShortReplyAndChangesNothing)
{
    Run({"status A 5", "status U 3", "status slotclear 9", "status invalid 77"});
    EXPECT_EQ(Ask({0, 22, 0}), (Bytes{5, 22, 0}));
    EXPECT_EQ(Ask({4}), Bytes{3});
    EXPECT_EQ(Ask({1, 1, 1}), (Bytes{9, 1, 1}));
    EXPECT_EQ(Ask({0, 1, 1})[3], 'Q') << "the refused slot write left the message";
    EXPECT_EQ(Ask({0, 47, 9}), (Bytes{77, 47, 9}));

    Run({"status U 0"});
    EXPECT_EQ(Ask({4}), Join({0}, Text("first 1"))) << "the refused billing read took no record";
}

TEST_F(PbxsimResponderTest, DefaultAnswerAndOtherStatusCoverUnknownCommands)
{
    Run({"status other 6"});
    EXPECT_EQ(Ask({40, 1, 2}), Bytes{6});
    EXPECT_EQ(Ask({3}), Bytes{6});
    Run({"default 0 0x11 0x22"});
    EXPECT_EQ(Ask({40, 1, 2}), (Bytes{0, 0x11, 0x22}));
    Run({"default"});
    EXPECT_EQ(Ask({40}), Bytes{6});
}

TEST_F(PbxsimResponderTest, ConfigurationAndIdentityCanSayWhatTheAgentRefuses)
{
    // 130: byte 4 not 1; 131: byte 5 not 0.
    Run({"config byte 4 2", "config byte 5 1", "identity 1 2 40"});
    EXPECT_EQ(Ask({13}), (Bytes{0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Ask({2}), (Bytes{0, 1, 2, 40, 0, 0, 0, 0}));
    Run({"config 9 9 9"});
    EXPECT_EQ(Ask({13}), (Bytes{0, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}))
        << "a full block statement leaves the rest 0";
    Run({"identity 1 2 40"});
    EXPECT_EQ(Ask({0, 47, 24}), Join(Join({0, 47, 24}, Bytes(8, 0)), Join(Text("0601234567"), {0})))
        << "party 64 is index 24 once external parties start at 40";
}

}  // namespace
}  // namespace varno::pbxsim
