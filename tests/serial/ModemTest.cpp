// Modem dial-up against a modem played by the test on the far end of a line.
#include "agent/serial/CommPax.h"
#include "tests/serial/SerialTestSupport.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace varno::test {
namespace {

// A Hayes modem as far as dialling goes: echoes what it hears and answers
// each command line (ended by CR) with its scripted reply.
class TModemPeer {
public:
    explicit TModemPeer(int masterFd)
    {
        line_.OnRxChar = [this](TComm*, int count) { Hear(count); };
        line_.OpenFd(masterFd, false);
    }

    bool Echo = true;
    QByteArray InitReply = "\r\nOK\r\n";
    QByteArray DialReply;
    QByteArray Heard;
    TComm& Line() { return line_; }

private:
    void Hear(int count)
    {
        char buffer[512];
        const int n = line_.Read(buffer, std::min<int>(count, sizeof buffer));
        const QByteArray got(buffer, n);
        Heard += got;
        if (Echo)
            Say(got);
        pending_ += got;
        int cr;
        while ((cr = pending_.indexOf('\r')) >= 0) {
            const QByteArray command = pending_.left(cr).trimmed();
            pending_.remove(0, cr + 1);
            if (!command.isEmpty())
                Say(command.startsWith("ATD") ? DialReply : InitReply);
        }
    }

    void Say(const QByteArray& text)
    {
        if (!text.isEmpty())
            line_.Write(text.constData(), static_cast<int>(text.size()));
    }

    TComm line_;
    QByteArray pending_;
};

class SerialModemLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetDeviceName(pair.SlavePath());
        port.OnRxPacket = [this](TCommPax*, int count, const std::uint8_t* data) {
            packets.emplace_back(data, data + count);
        };
        port.Open();
    }

    PtyPair pair;
    TModemPeer modem{pair.MasterFd()};
    TCommPax port;
    std::vector<Bytes> packets;
};

struct TDialCase {
    const char* name;
    bool pulse;
    QByteArray answer;
    int result;
};

void PrintTo(const TDialCase& c, std::ostream* os) { *os << c.name; }

class SerialModemDial : public SerialModemLine, public ::testing::WithParamInterface<TDialCase> {};

TEST_P(SerialModemDial, GivesTheModemsAnswer)
{
    const TDialCase& c = GetParam();
    modem.DialReply = c.answer;
    port.Cancel = true;  // left over from an earlier dial-up: cleared at the start
    EXPECT_EQ(port.ModemStart("ATZ", "5551234", c.pulse), c.result);
    EXPECT_FALSE(port.ModemMode);
    EXPECT_EQ(modem.Heard, QByteArray("\r\nATZ\r") + (c.pulse ? "ATDP5551234\r" : "ATDT5551234\r"));
}

INSTANTIATE_TEST_SUITE_P(Answers, SerialModemDial,
                         ::testing::Values(TDialCase{"Connect", false, "\r\nCONNECT 9600\r\n", 0},
                                           TDialCase{"NoDialtone", false, "\r\nNO DIALTONE\r\n", 1},
                                           TDialCase{"BusyPulse", true, "\r\nBUSY\r\n", 2},
                                           TDialCase{"NoCarrier", false, "\r\nNO CARRIER\r\n", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialModemLine, PacketsFlowAfterConnectAndNotBefore)
{
    const Bytes early = Frame(1, {0x11});
    modem.DialReply = QByteArray("\r\nCONNECT\r\n") +
                      QByteArray(reinterpret_cast<const char*>(early.data()), static_cast<int>(early.size()));
    ASSERT_EQ(port.ModemStart("AT&F", "1", false), 0);
    Pump(30);  // the early frame was modem talk, not a packet
    EXPECT_TRUE(packets.empty());
    const Bytes frame = Frame(2, {0x22});
    modem.Line().Write(frame.data(), static_cast<int>(frame.size()));
    ASSERT_TRUE(PumpUntil([&] { return !packets.empty(); }));
    EXPECT_EQ(packets[0], (Bytes{2, 0x22}));
}

TEST_F(SerialModemLine, NoEchoTimesOutAndAFloodStopsAtTheEndOfModemText)
{
    modem.Echo = false;
    modem.InitReply = QByteArray(3000, 'x');
    int readEvents = 0;
    auto receive = port.OnRxChar;
    port.OnRxChar = [&](TComm* sender, int count) {
        ++readEvents;
        receive(sender, count);
    };
    EXPECT_EQ(port.ModemStart("ATZ", "1", false), -2);
    // What did not fit was read and dropped, not left to raise the event again and again.
    EXPECT_LT(readEvents, 100);
    EXPECT_EQ(port.InQueCount(), 0);
    EXPECT_FALSE(port.ModemMode);
    EXPECT_EQ(port.ModemTextLen, TCommPax::ModemTextSize);
    EXPECT_EQ(port.ModemText[TCommPax::ModemTextSize], '\0');
    EXPECT_EQ(QByteArray(port.ModemText), QByteArray(TCommPax::ModemTextSize, 'x'));
}

TEST_F(SerialModemLine, CancelEndsTheWait)
{
    modem.InitReply.clear();  // echoes, never says OK
    QTimer::singleShot(50, [this] { port.Cancel = true; });
    EXPECT_EQ(port.ModemStart("ATZ", "1", false), -1);
    EXPECT_FALSE(port.ModemMode);
}

TEST_F(SerialModemLine, ACommandLongerThanItsBufferIsNotSent)
{
    EXPECT_EQ(port.ModemStart(QString(197, 'A'), "1", false), -2);
    EXPECT_EQ(port.ModemStart("ATZ", QString(195, '1'), false), -2);
    Pump(20);
    EXPECT_TRUE(modem.Heard.isEmpty());
    EXPECT_FALSE(port.ModemMode);
}

}  // namespace
}  // namespace varno::test
