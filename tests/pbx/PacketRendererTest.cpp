#include "agent/pbx/Data.h"
#include "tests/pbx/DataWorld.h"

#include <gtest/gtest.h>

#include <QList>

#include <vector>

using varno::TData;
using varno::TPacketDirection;

namespace {

constexpr auto Req = TPacketDirection::Request;
constexpr auto Rep = TPacketDirection::Reply;

class PacketRendering : public ::testing::Test {
protected:
    PacketRendering()
    {
        world.SetTexts({{1000, "Read"},
                        {1001, "Write"},
                        {1002, "Identity"},
                        {1004, "Next record"},
                        {1013, "Config"},
                        {1018, "Keys"},
                        {2001, "Slot"},
                        {2014, "Line list"},
                        {2017, "Counters"},
                        {2022, "Line states"}});
    }

    // The bytes live in a buffer of exactly their size, so that a read past
    // the length is caught by the address sanitizer.
    QString Render(TPacketDirection direction, const std::vector<uint8_t>& bytes, int command = 0,
                   bool showBytes = false)
    {
        std::vector<uint8_t> exact(bytes);
        return data.DescribePacket(direction, exact.empty() ? nullptr : exact.data(), static_cast<int>(exact.size()),
                                   command, showBytes);
    }

    DataWorld world;
    TData& data = world.Data;
};

struct RenderCase {
    const char* name;
    TPacketDirection direction;
    std::vector<uint8_t> bytes;
    int command;
    bool showBytes;
    QString expected;
};

TEST_F(PacketRendering, RendersRequestsAndReplies)
{
    const RenderCase cases[] = {
        // requests: item form
        {"item read by name", Req, {0, 22, 0}, 0, false, "Read Line states"},
        {"string item with index", Req, {0, 60, 1}, 0, false, "Read Str:60[1]"},
        {"named item with index", Req, {1, 1, 2}, 0, false, "Write Slot[2]"},
        {"generic command alone keeps its space", Req, {40}, 0, false, "Cmd: 40 "},
        {"generic command in item form", Req, {40, 22, 0}, 0, false, "Cmd: 40 Line states"},
        {"item request of one byte", Req, {0}, 0, true, "Read "},
        {"two-byte item request shows index 0", Req, {0, 22}, 0, true, "Read Line states"},
        {"two-byte string item request shows index 0", Req, {0, 60}, 0, false, "Read Str:60[0]"},
        {"missing item name is empty", Req, {0, 30, 0}, 0, false, "Read "},
        {"counters with byte dump", Req, {1, 17, 0, 5, 6, 7, 0}, 0, true, "Write Counters 5 6 7 0"},
        // requests: stand-alone commands
        {"one-byte command with extra bytes", Req, {13, 5}, 0, true, "Cmd: ERROR"},
        {"one-byte command alone", Req, {13}, 0, true, "Config"},
        {"other command dumps its data", Req, {18, 3, 1, 2}, 0, true, "Keys 3 1 2"},
        {"other command without dump", Req, {18, 3, 1, 2}, 0, false, "Keys"},
        {"command without a name", Req, {7}, 0, false, ""},
        {"empty request", Req, {}, 0, true, ""},
        // replies
        {"error note after the item name", Rep, {3, 22, 0}, 0, false, "Line statesError 3: "},
        {"reply with index", Rep, {0, 22, 5}, 0, false, "Line states[5]"},
        {"string item reply", Rep, {0, 60, 0}, 1, false, "Str:60"},
        {"string item reply with index", Rep, {0, 60, 2}, 0, false, "Str:60[2]"},
        {"reply of two bytes", Rep, {0, 22}, 0, true, "Line states"},
        {"status only", Rep, {7}, 0, true, "Error 7: "},
        {"status 0 only", Rep, {0}, 0, true, ""},
        {"empty reply", Rep, {}, 0, true, ""},
        {"generic reply to command 15", Rep, {0, 14, 0, 1, 2}, 15, true, "Line list 1 2"},
        {"stand-alone reply dumps its data", Rep, {0, 1, 2}, 13, true, "Config 1 2"},
        {"stand-alone reply with error", Rep, {9}, 2, false, "IdentityError 9: "},
        {"billing reply name keeps its space", Rep, {0, 'A'}, 4, false, "Next record "},
        {"billing reply with dump", Rep, {0, 65, 66}, 4, true, "Next record  65 66"},
        {"stand-alone reply of no bytes", Rep, {}, 13, true, "Config"},
    };
    for (const RenderCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Render(c.direction, c.bytes, c.command, c.showBytes), c.expected);
    }
}

TEST_F(PacketRendering, CutsLongNamesToTheirRoomKeepingSpaceAndIndex)
{
    world.SetText(1000, QString(100, 'a'));
    world.SetText(2022, QString(100, 'b'));
    world.SetText(1013, QString(100, 'c'));

    EXPECT_EQ(Render(Req, {0}), QString(62, 'a') + " ");
    EXPECT_EQ(Render(Req, {0, 22, 3}), QString(62, 'a') + " " + QString(60, 'b') + "[3]");
    EXPECT_EQ(Render(Req, {0, 22, 0}), QString(62, 'a') + " " + QString(63, 'b'));
    EXPECT_EQ(Render(Rep, {4, 22, 0}, 0), QString(63, 'b') + "Error 4: ");
    EXPECT_EQ(Render(Rep, {0}, 13), QString(63, 'c'));
    EXPECT_EQ(Render(Req, {13}), QString(63, 'c'));

    // Characters outside the basic plane count once and are never split.
    QString faces;
    for (int i = 0; i < 70; ++i)
        faces += QString::fromUcs4(U"\U0001F600", 1);
    world.SetText(1000, faces);
    const QString text = Render(Req, {0});
    EXPECT_EQ(text.toUcs4().size(), 63);
    EXPECT_TRUE(text.endsWith(QString::fromUcs4(U"\U0001F600 ", 2)));
}

}  // namespace
