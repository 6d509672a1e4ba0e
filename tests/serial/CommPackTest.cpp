// The polled packet port.
#include "agent/serial/CommPack.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

namespace varno::test {
namespace {

class SerialCommPackLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetDeviceName(peer.SlavePath());
        port.Open();
        flushesAtStart = peer.FlushWrites();
    }

    void Arrive(const Bytes& bytes)
    {
        const int before = port.InQueCount();
        peer.Write(bytes);
        ASSERT_TRUE(PumpUntil([&] { return port.InQueCount() >= before + static_cast<int>(bytes.size()); }));
    }

    TPtyPeer peer{true};
    TCommPack port;
    int flushesAtStart = 0;
};

TEST_F(SerialCommPackLine, ReturnsTheFirstGoodPacketAndDropsWhatWasReadAfterIt)
{
    Arrive(Concat({{0xE0, 0x41}, Frame(3, {0x10, 0xEE}), Frame(4, {0x20})}));
    EXPECT_EQ(port.ReadPacket(300), 3);
    EXPECT_EQ(Bytes(port.RxBuffer, port.RxBuffer + 3), (Bytes{3, 0x10, 0xEE}));
    EXPECT_EQ(port.InQueCount(), 0);
    EXPECT_EQ(port.ReadPacket(300), 0);  // the second frame went with the first read
    // Strays between packets are passed over without discarding output.
    EXPECT_EQ(peer.FlushWrites(), flushesAtStart);
}

TEST_F(SerialCommPackLine, ReadsAtMost300BytesAndCompletesAFrameOverSeveralCalls)
{
    const Bytes frame = Frame(9, Bytes(256, 0x33));
    Arrive(Concat({Bytes(200, 0x00), frame}));
    EXPECT_EQ(port.ReadPacket(1000), 0);
    EXPECT_EQ(port.InQueCount(), static_cast<int>(200 + frame.size() - 300));
    EXPECT_EQ(port.ReadPacket(1000), 257);
}

TEST_F(SerialCommPackLine, AcceptsLengthsUpTo257)
{
    Arrive(Concat({Frame(1, Bytes(257, 0x44)), {0x00}}));
    EXPECT_EQ(port.ReadPacket(300), 0);
    Arrive(Frame(2, Bytes(256, 0x44)));
    EXPECT_EQ(port.ReadPacket(300), 257);
}

}  // namespace
}  // namespace varno::test
