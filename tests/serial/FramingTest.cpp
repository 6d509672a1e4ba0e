// Packet framing over a real pseudo-terminal line: the agent's port on the
// slave side, the PBX played by the test on the master.
#include "agent/serial/CommPax.h"
#include "agent/serial/Crc32.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace varno::test {
namespace {

// A payload starting with base whose CRC (with the sequence number) holds 0xEE.
Bytes PayloadWithEeInCrc(std::uint8_t sequence, Bytes base)
{
    base.push_back(0);
    for (int x = 0; x < 256; ++x) {
        base.back() = static_cast<std::uint8_t>(x);
        Bytes body = {sequence};
        body.insert(body.end(), base.begin(), base.end());
        const std::uint32_t crc = CrcOf(body);
        for (int i = 0; i < 4; ++i) {
            if (((crc >> (8 * i)) & 0xFF) == 0xEE)
                return base;
        }
    }
    throw std::runtime_error("no payload with 0xEE in its CRC");
}

// 0xEE in the length (0x00EE), the sequence number, the payload and the CRC.
Bytes EeEverywherePayload()
{
    Bytes base;
    for (int i = 0; i < 0xED - 1; ++i)
        base.push_back(i % 3 == 0 ? 0xEE : static_cast<std::uint8_t>(i));
    Bytes payload = PayloadWithEeInCrc(0xEE, base);
    EXPECT_EQ(payload.size() + 1, 0xEEu);
    return payload;
}

Bytes Body(std::uint8_t sequence, const Bytes& payload)
{
    Bytes body = {sequence};
    body.insert(body.end(), payload.begin(), payload.end());
    return body;
}

class SerialCommPaxLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.MaxPacketSize = 512;
        port.SetDeviceName(peer.SlavePath());
        port.OnRxPacket = [this](TCommPax* sender, int count, const std::uint8_t* data) {
            EXPECT_EQ(sender, &port);
            EXPECT_EQ(data, port.RxBuffer);
            packets.emplace_back(data, data + count);
        };
        port.OnRxChr = [this](TCommPax*, std::uint8_t chr) {
            strays.push_back(chr);
            flushesBeforeStray.push_back(peer.FlushWrites());
        };
        // Counts read events and the bytes each one takes, so that the test
        // knows when the port has consumed what was sent.
        auto receive = port.OnRxChar;
        port.OnRxChar = [this, receive](TComm* sender, int count) {
            ++readEvents;
            consumed += std::min(count, TCommPax::RxBufferSize);
            receive(sender, count);
        };
        port.Open();
        flushesAtStart = peer.FlushWrites();
    }

    void Send(const Bytes& stream, bool byteByByte)
    {
        const size_t target = consumed + stream.size();
        if (!byteByByte) {
            peer.Write(stream);
        } else {
            for (size_t i = 0; i < stream.size(); ++i) {
                const size_t next = consumed + 1;
                peer.Write({stream[i]});
                ASSERT_TRUE(PumpUntil([&] { return consumed >= next; })) << "byte " << i;
            }
        }
        ASSERT_TRUE(PumpUntil([&] { return consumed >= target; }));
    }

    TPtyPeer peer{true};
    TCommPax port;
    std::vector<Bytes> packets;
    Bytes strays;
    std::vector<int> flushesBeforeStray;
    int flushesAtStart = 0;
    int readEvents = 0;
    size_t consumed = 0;
};

TEST(SerialCrc32, MatchesTheStandardCheckValue)
{
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : check)
        crc = TPacketComm::Update_CRC32(crc, static_cast<std::uint8_t>(c));
    EXPECT_EQ(crc ^ 0xFFFFFFFFu, 0xCBF43926u);
}

TEST_F(SerialCommPaxLine, WritesTheExamplePacketWithItsEeDoubled)
{
    const Bytes payload = {0x01, 0xEE};
    port.WritePacket(0x10, payload.data(), 2);
    const std::uint32_t crc = CrcOf({0x10, 0x01, 0xEE});
    Bytes expected = {0xEE, 0x23, 0x03, 0x00, 0x10, 0x01, 0xEE, 0xEE};
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<std::uint8_t>(crc >> (8 * i));
        expected.push_back(c);
        if (c == 0xEE)
            expected.push_back(c);
    }
    EXPECT_EQ(peer.ReadCount(expected.size()), expected);
}

TEST_F(SerialCommPaxLine, WritesEeInEveryFieldTwice)
{
    const Bytes payload = EeEverywherePayload();
    port.WritePacket(0xEE, payload.data(), static_cast<int>(payload.size()));
    const Bytes expected = Frame(0xEE, payload);
    const Bytes wire = peer.ReadCount(expected.size());
    ASSERT_EQ(wire, expected);
    // Length low byte, then the sequence number, each doubled; the marks are not.
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 7), (Bytes{0xEE, 0x23, 0xEE, 0xEE, 0x00, 0xEE, 0xEE}));
    const size_t ees = static_cast<size_t>(std::count(wire.begin(), wire.end(), 0xEE));
    const Bytes body = Body(0xEE, payload);
    const std::uint32_t crc = CrcOf(body);
    size_t crcEes = 0;
    for (int i = 0; i < 4; ++i)
        crcEes += ((crc >> (8 * i)) & 0xFF) == 0xEE;
    ASSERT_GT(crcEes, 0u);
    EXPECT_EQ(ees, 1 + 2 * (1 + std::count(body.begin(), body.end(), 0xEE) + crcEes));
}

TEST_F(SerialCommPaxLine, WritesLength0x0100WithoutStuffingItsBytes)
{
    const Bytes payload(255, 0x41);
    port.WritePacket(0xEE, payload.data(), 255);
    const Bytes wire = peer.ReadCount(Frame(0xEE, payload).size());
    ASSERT_GE(wire.size(), 6u);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 6), (Bytes{0xEE, 0x23, 0x00, 0x01, 0xEE, 0xEE}));
    EXPECT_EQ(wire, Frame(0xEE, payload));
}

TEST_F(SerialCommPaxLine, RefusesAPayloadLongerThanALengthFieldCanSay)
{
    const Bytes payload(10);
    EXPECT_THROW(port.WritePacket(1, payload.data(), -1), std::invalid_argument);
    EXPECT_THROW(port.WritePacket(1, payload.data(), 0xFFFF), std::invalid_argument);
    EXPECT_TRUE(peer.ReadNow().empty());
}

// A PBX made of the same component on the master answers every packet from
// inside its OnRxPacket handler: writing and receiving share no state.
TEST(SerialCommPaxLink, PacketsGoBothWaysAndMayBeAnsweredFromTheHandler)
{
    TPtyPeer line;
    TCommPax agent;
    agent.MaxPacketSize = 512;
    agent.SetDeviceName(line.SlavePath());
    std::vector<Bytes> packets;
    agent.OnRxPacket = [&](TCommPax*, int count, const std::uint8_t* data) {
        packets.emplace_back(data, data + count);
    };
    agent.Open();

    TCommPax pbx;
    pbx.MaxPacketSize = 512;
    pbx.OnRxPacket = [&pbx](TCommPax*, int count, const std::uint8_t* data) {
        Bytes reply(data + 1, data + count);
        std::reverse(reply.begin(), reply.end());
        pbx.WritePacket(data[0], reply.data(), static_cast<int>(reply.size()));
    };
    pbx.OpenFd(line.MasterFd(), false);

    const std::vector<Bytes> payloads = {{}, {0xEE}, {0xEE, 0xEE, 0x23, 0xEE}, Bytes(512, 0xEE), EeEverywherePayload()};
    for (size_t i = 0; i < payloads.size(); ++i) {
        packets.clear();
        const auto sequence = static_cast<std::uint8_t>(0xEC + i);
        agent.WritePacket(sequence, payloads[i].data(), static_cast<int>(payloads[i].size()));
        ASSERT_TRUE(PumpUntil([&] { return !packets.empty(); })) << "payload " << i;
        Bytes expected = payloads[i];
        std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(packets, std::vector<Bytes>{Body(sequence, expected)}) << "payload " << i;
    }
}

struct TReceiveCase {
    const char* name;
    Bytes stream;
    std::vector<Bytes> packets;
    Bytes strays;
};

std::vector<TReceiveCase> ReceiveCases()
{
    const Bytes good = Frame(0x42, {0x01, 0x02});
    const Bytes goodBody = {0x42, 0x01, 0x02};
    const Bytes ee = EeEverywherePayload();
    Bytes badCrc = Frame(0x05, {0x06});
    badCrc[badCrc.size() - 1] ^= 0x01;
    const Bytes header513 = {0xEE, 0x23, 0x01, 0x02};  // 513 = 0x0201
    const Bytes header514 = {0xEE, 0x23, 0x02, 0x02};
    const Bytes broken = Frame(1, {1, 2, 3});
    // The good frame without its first 0xEE: a single 0xEE before it makes the pair.
    const Bytes goodFromMark(good.begin() + 1, good.end());

    return {
        {"SimpleFrame", good, {goodBody}, {}},
        {"ExampleWithEeInPayload", Frame(0x10, {0x01, 0xEE}), {{0x10, 0x01, 0xEE}}, {}},
        {"EeInEveryFieldIsReadOnce", Frame(0xEE, ee), {Body(0xEE, ee)}, {}},
        {"Length0x0100", Frame(0xEE, Bytes(255, 0x41)), {Body(0xEE, Bytes(255, 0x41))}, {}},
        {"RestartInsideBrokenBody", Concat({Bytes(broken.begin(), broken.begin() + 6), good}), {goodBody}, {}},
        {"RestartAfterEscapedLengthLow", Concat({{0xEE, 0x23, 0xEE}, goodFromMark}), {goodBody}, {}},
        {"RestartAfterEscapedLengthHigh", Concat({{0xEE, 0x23, 0x05, 0xEE}, goodFromMark}), {goodBody}, {}},
        {"RepeatedEeBeforeMark", Concat({{0xEE, 0xEE}, good}), {goodBody}, {}},
        {"Length513Accepted", Frame(7, Bytes(512, 0x41)), {Body(7, Bytes(512, 0x41))}, {}},
        // The rejected frame's bytes that follow its length field are strays.
        {"Length514Rejected", Concat({header514, {0x07, 0x41}, good}), {goodBody}, {0x07, 0x41}},
        // Accepted: its body bytes are no strays, and the next frame restarts it.
        {"Length513HeaderAccepted", Concat({header513, {0x07}, good}), {goodBody}, {}},
        {"LengthZeroWithZeroCrc", {0xEE, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {Bytes{}}, {}},
        {"LengthZeroWithOtherCrc", Concat({{0xEE, 0x23, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, good}), {goodBody}, {}},
        {"BadCrcDropped", Concat({badCrc, good}), {goodBody}, {}},
        {"StrayBetweenPackets", Concat({Frame(1, {0x11}), {0xE0}, Frame(2, {0x22})}), {{1, 0x11}, {2, 0x22}}, {0xE0}},
        {"EeThenOtherIsNoStray", {0xEE, 0x41, 0xE0}, {}, {0xE0}},
        {"WrongByteAfterBodyEscape", {0xEE, 0x23, 0x03, 0x00, 0x01, 0xEE, 0x41, 0x42}, {}, {0x42}},
        {"WrongByteAfterLengthEscape", {0xEE, 0x23, 0xEE, 0x41, 0x42}, {}, {0x42}},
    };
}

void PrintTo(const TReceiveCase& c, std::ostream* os) { *os << c.name; }

class SerialCommPaxReceive : public SerialCommPaxLine,
                             public ::testing::WithParamInterface<std::tuple<TReceiveCase, bool>> {};

TEST_P(SerialCommPaxReceive, DeliversExactlyTheGoodFrames)
{
    const auto& [c, byteByByte] = GetParam();
    Send(c.stream, byteByByte);
    EXPECT_EQ(packets, c.packets);
    EXPECT_EQ(strays, c.strays);
    if (byteByByte) {
        EXPECT_GE(readEvents, static_cast<int>(c.stream.size()));
    }
    // Whatever came, the next good frame gets through.
    packets.clear();
    Send(Concat({{0x00}, Frame(0x99, {0x98})}), false);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back(), (Bytes{0x99, 0x98}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialCommPaxReceive,
                         ::testing::Combine(::testing::ValuesIn(ReceiveCases()), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_ByteByByte" : "_AtOnce");
                         });

TEST_F(SerialCommPaxLine, StrayByteDiscardsQueuedOutputBeforeItIsHandedOn)
{
    Send(Frame(1, {0x11}), false);
    EXPECT_EQ(peer.FlushWrites(), flushesAtStart);  // a packet discards nothing

    Send({0xE0}, false);
    ASSERT_EQ(strays, (Bytes{0xE0}));
    ASSERT_EQ(flushesBeforeStray.size(), 1u);
    EXPECT_GT(flushesBeforeStray[0], flushesAtStart);
}

TEST_F(SerialCommPaxLine, MoreThanOneReadBufferWaitingIsReadOverSeveralEvents)
{
    std::vector<Bytes> expected;
    Bytes stream;
    for (int i = 0; i < 12; ++i) {
        const Bytes payload(500, static_cast<std::uint8_t>(i));
        stream = Concat({stream, Frame(static_cast<std::uint8_t>(i), payload)});
        expected.push_back(Body(static_cast<std::uint8_t>(i), payload));
    }
    ASSERT_GT(stream.size(), 4000u);
    Send(stream, false);
    EXPECT_EQ(packets, expected);
}

TEST(SerialCommPaxReceiver, ClampsMaxPacketSizeSoAFrameFitsRxBuffer)
{
    TCommPax port;
    port.MaxPacketSize = 100000;
    std::vector<int> counts;
    port.OnRxPacket = [&](TCommPax*, int count, const std::uint8_t*) { counts.push_back(count); };
    const Bytes largest = Frame(1, Bytes(TPacketReceiver::LargestMaxPacketSize, 0x41));
    const Bytes tooLarge = Frame(2, Bytes(TPacketReceiver::LargestMaxPacketSize + 1, 0x41));
    port.Receive(tooLarge.data(), static_cast<int>(tooLarge.size()));
    port.Receive(largest.data(), static_cast<int>(largest.size()));
    EXPECT_EQ(counts, (std::vector<int>{TPacketReceiver::LargestMaxPacketSize + 1}));
}

TEST(SerialCommPaxReceiver, OneByteAtATimeGivesWhatTheWholeStreamGives)
{
    Bytes stream;
    for (const auto& c : ReceiveCases())
        stream = Concat({stream, {0x00}, c.stream});
    const auto run = [&](int chunk) {
        TCommPax port;
        port.MaxPacketSize = 512;
        std::vector<Bytes> packets;
        Bytes strays;
        port.OnRxPacket = [&](TCommPax*, int count, const std::uint8_t* data) {
            packets.emplace_back(data, data + count);
        };
        port.OnRxChr = [&](TCommPax*, std::uint8_t chr) { strays.push_back(chr); };
        for (size_t i = 0; i < stream.size(); i += static_cast<size_t>(chunk))
            port.Receive(stream.data() + i, static_cast<int>(std::min<size_t>(chunk, stream.size() - i)));
        return std::make_pair(packets, strays);
    };
    const auto whole = run(static_cast<int>(stream.size()));
    EXPECT_GE(whole.first.size(), 15u);
    for (const int chunk : {1, 2, 3, 7, 64})
        EXPECT_EQ(run(chunk), whole) << "chunk " << chunk;
}

}  // namespace
}  // namespace varno::test
