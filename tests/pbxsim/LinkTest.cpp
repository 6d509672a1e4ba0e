// Runs the real pbxsim program and talks to it over its pty with the agent's
// own packet component.
#include "agent/serial/CommPax.h"
#include "platform/serial/PtyPair.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varno {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Join(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What arrived from the simulator, in order: a packet or a stray byte.
struct Arrival {
    bool packet;
    uint8_t sequence;  // packets
    Bytes payload;     // packets: the reply; stray: the byte
};

class PbxsimLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "pbxsim_link_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void TearDown() override
    {
        port_.Close();
        if (sim_.state() != QProcess::NotRunning) {
            sim_.write("quit\n");
            if (!sim_.waitForFinished(3000))
                sim_.kill();
            sim_.waitForFinished(1000);
        }
    }

    // Starts pbxsim on the test scenario and opens the pty it announces.
    void Start(const QStringList& extra = {}) { Launch(extra, "PTY "); }

    void Launch(const QStringList& extra, const std::string& announcement)
    {
        ASSERT_TRUE(dir_.isValid());
        logPath_ = QDir(dir_.path()).filePath(QStringLiteral("pbxsim.log"));
        QStringList args{QStringLiteral("--scenario"),
                         QStringLiteral(VARNO_SOURCE_DIR "/tools/pbxsim/scenarios/link-test.ini"),
                         QStringLiteral("--log"), logPath_, QStringLiteral("--stats")};
        args += extra;
        sim_.setProcessChannelMode(QProcess::SeparateChannels);
        sim_.start(QStringLiteral(VARNO_BIN_DIR "/pbxsim"), args);
        ASSERT_TRUE(sim_.waitForStarted(5000)) << sim_.errorString().toStdString();
        const std::string first = NextLine();
        ASSERT_EQ(first.rfind(announcement + "/dev/", 0), 0u) << first << sim_.readAllStandardError().toStdString();
        path_ = QString::fromStdString(first.substr(announcement.size()));

        port_.MaxPacketSize = 512;
        port_.OnRxPacket = [this](TCommPax*, int count, const uint8_t* data) {
            if (count > 0)
                arrivals_.push_back({true, data[0], Bytes(data + 1, data + count)});
        };
        port_.OnRxChr = [this](TCommPax*, uint8_t b) { arrivals_.push_back({false, 0, Bytes{b}}); };
        if (announcement == "PTY ") {
            port_.SetDeviceName(path_);
            port_.Open();
        }
    }

    // Runs the event loop until done() or the time is up.
    static bool WaitUntil(const std::function<bool()>& done, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() >= ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        return true;
    }

    std::string NextLine(int ms = 5000)
    {
        WaitUntil([this] { return sim_.canReadLine() || sim_.state() == QProcess::NotRunning; }, ms);
        sim_.waitForReadyRead(0);
        if (!sim_.canReadLine())
            return "(no line)";
        return sim_.readLine().trimmed().toStdString();
    }

    // A statement on the control channel; its answer line.
    std::string Control(const std::string& statement)
    {
        sim_.write((statement + "\n").c_str());
        sim_.waitForBytesWritten(1000);
        return NextLine();
    }

    uint8_t Send(const Bytes& request)
    {
        const uint8_t sequence = nextSequence_++;
        port_.WritePacket(sequence, request.data(), int(request.size()));
        return sequence;
    }

    // Sends a request and waits for the packet that answers it.
    std::optional<Bytes> Ask(const Bytes& request, int ms = 2000)
    {
        const uint8_t sequence = Send(request);
        std::optional<Bytes> reply;
        WaitUntil([&] { return (reply = PacketFor(sequence)).has_value(); }, ms);
        return reply;
    }

    std::optional<Bytes> PacketFor(uint8_t sequence) const
    {
        for (const Arrival& a : arrivals_)
            if (a.packet && a.sequence == sequence)
                return a.payload;
        return std::nullopt;
    }

    size_t PacketsFor(uint8_t sequence) const
    {
        size_t n = 0;
        for (const Arrival& a : arrivals_)
            n += a.packet && a.sequence == sequence;
        return n;
    }

    // Waits out a quiet period and reports whether anything came.
    bool Quiet(int ms)
    {
        const size_t before = arrivals_.size();
        WaitUntil([] { return false; }, ms);
        return arrivals_.size() == before;
    }

    QStringList LogLines() const
    {
        QFile file(logPath_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // A log line ends with this text (the seconds in front vary).
    bool Logged(const QString& text) const
    {
        for (const QString& line : LogLines())
            if (line.section(QLatin1Char(' '), 1) == text)
                return true;
        return false;
    }

    QTemporaryDir dir_;
    QString logPath_;
    QProcess sim_;
    QString path_;
    TCommPax port_;
    std::vector<Arrival> arrivals_;
    uint8_t nextSequence_ = 1;
};

TEST_F(PbxsimLinkTest, AnswersTheAgentsRequestsFromTheScenario)
{
    Start();
    EXPECT_EQ(Ask({13}), (Bytes{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}));
    EXPECT_EQ(Ask({2}), (Bytes{0, 3, 10, 64, 1, 2, 3, 4}));
    EXPECT_EQ(Ask({0, 14, 0}), (Bytes{0, 14, 0, 1, 10, 10, 0, 1, 10, 1, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Ask({0, 22, 0}), (Bytes{0, 22, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 64, 0, 0}));
    EXPECT_EQ(Ask({0, 47, 0}), Join(Join({0, 47, 0}, Bytes(8, 0)), Join(Text("0601234567"), {0})));
    EXPECT_EQ(Ask({4}), Join({0}, Text("call one")));
    EXPECT_EQ(Ask({5}), Join({0}, Text("call one")));
    EXPECT_EQ(Ask({4}), Join({0}, Text("call two")));
    EXPECT_EQ(Ask({4}), Bytes{0});
    // 0xEE, the start mark and 0xE0 inside a payload travel as data.
    EXPECT_EQ(Ask({14}), (Bytes{0, 0xEE, 0x23, 0xE0, 1}));
    EXPECT_EQ(Ask({0, 1, 1}), Join({0, 1, 1, 'Q'}, Text("123\nHi\nText")));
    EXPECT_EQ(Ask({1, 1, 1, 0, 0}), (Bytes{0, 1, 1}));
    EXPECT_EQ(Ask({0, 1, 1}), (Bytes{0, 1, 1, 0}));
    EXPECT_EQ(Ask({40, 1}), Bytes{0}) << "any other request gets the default answer";
    EXPECT_EQ(Ask(Bytes(300, 0x33)), Bytes{0}) << "long client requests too";
    // A sequence number of 0xEE is stuffed both ways.
    nextSequence_ = 0xEE;
    EXPECT_EQ(Ask({2}), (Bytes{0, 3, 10, 64, 1, 2, 3, 4}));
    for (const Arrival& a : arrivals_)
        EXPECT_TRUE(a.packet) << "no stray byte without a fault";

    EXPECT_TRUE(Logged(QStringLiteral("RX 1 config 0d")));
    EXPECT_TRUE(Logged(QStringLiteral("TX 4 states 00 16 00 00 00 00 00 02 00 00 00 01 40 00 00")));
    EXPECT_TRUE(Logged(QStringLiteral("INFO 12 slotclear slot 1 cleared")));
    EXPECT_TRUE(Logged(QStringLiteral("RX 238 identity 02")));
}

TEST_F(PbxsimLinkTest, FaultsSwitchedOnWhileRunning)
{
    Start();
    EXPECT_EQ(Control("fault silent on A count 1"), "OK");
    const uint8_t unanswered = Send({0, 22, 0});
    EXPECT_TRUE(Quiet(300));
    EXPECT_FALSE(PacketFor(unanswered));
    EXPECT_TRUE(Ask({0, 22, 0})) << "silent for one request only";
    EXPECT_EQ(Control("fault silent on U count 1"), "OK");
    Send({4});
    EXPECT_TRUE(Quiet(200));
    EXPECT_EQ(Ask({4}), Join({0}, Text("call one"))) << "a silent PBX hands out no record";

    EXPECT_EQ(Control("fault delay 400 on C count 1"), "OK");
    const uint8_t late = Send({13});
    EXPECT_TRUE(Quiet(150));
    EXPECT_TRUE(WaitUntil([&] { return PacketFor(late).has_value(); }, 2000)) << "the late answer comes";

    EXPECT_EQ(Control("fault twice on I count 1"), "OK");
    const uint8_t twice = Send({2});
    EXPECT_TRUE(WaitUntil([&] { return PacketsFor(twice) == 2; }, 2000));

    EXPECT_EQ(Control("fault crc on X count 1"), "OK");
    const uint8_t broken = Send({14});
    EXPECT_TRUE(Quiet(300)) << "the receiver drops a frame with a bad CRC";
    EXPECT_FALSE(PacketFor(broken));
    EXPECT_TRUE(Ask({14}));

    arrivals_.clear();
    EXPECT_EQ(Control("fault e0only count 1"), "OK");
    const uint8_t instead = Send({0, 22, 0});
    EXPECT_TRUE(WaitUntil([&] { return !arrivals_.empty(); }, 2000));
    EXPECT_TRUE(Quiet(200));
    ASSERT_EQ(arrivals_.size(), 1u);
    EXPECT_FALSE(arrivals_[0].packet);
    EXPECT_EQ(arrivals_[0].payload, Bytes{0xE0});
    EXPECT_FALSE(PacketFor(instead));

    arrivals_.clear();
    EXPECT_EQ(Control("fault e0 count 1"), "OK");
    EXPECT_EQ(Control("fault noise 0x11 0x22 count 1"), "OK");
    const uint8_t noisy = Send({13});
    EXPECT_TRUE(WaitUntil([&] { return PacketFor(noisy).has_value(); }, 2000));
    ASSERT_EQ(arrivals_.size(), 4u);
    EXPECT_EQ(arrivals_[0].payload, Bytes{0x11});
    EXPECT_EQ(arrivals_[1].payload, Bytes{0x22});
    EXPECT_EQ(arrivals_[2].payload, Bytes{0xE0});
    EXPECT_TRUE(arrivals_[3].packet);

    EXPECT_EQ(Control("fault list"), "FAULTS none") << "every counted fault is used up";
    EXPECT_EQ(Control("fault sideways"), "ERR \"sideways\" is not a fault (silent delay twice crc e0 e0only noise)");
    EXPECT_TRUE(Ask({13})) << "a refused statement leaves the simulator answering";

    EXPECT_TRUE(Logged(QStringLiteral("FAULT 1 states silent")));
    EXPECT_TRUE(Logged(QStringLiteral("FAULT 5 config delay 400")));
    EXPECT_TRUE(Logged(QStringLiteral("OUT e0")));
}

TEST_F(PbxsimLinkTest, StateChangesOverTimeAndOnCommand)
{
    Start({QStringLiteral("--clock-on-request"), QStringLiteral("--exec"),
           QStringLiteral("at 0.3 line 0 state 5 party 2")});
    const auto before = Ask({0, 22, 0});
    ASSERT_TRUE(before);
    EXPECT_EQ((*before)[3], 0) << "the clock starts with this first request";
    WaitUntil([] { return false; }, 400);
    const auto after = Ask({0, 22, 0});
    ASSERT_TRUE(after);
    EXPECT_EQ((*after)[3], 5);
    EXPECT_EQ((*after)[4], 2);
    EXPECT_TRUE(Logged(QStringLiteral("EVENT line 0 state 5 party 2")));

    EXPECT_EQ(Control("line 1 state 9 party 64"), "OK");
    EXPECT_EQ(Control("bill late {n}"), "OK");
    const auto changed = Ask({0, 22, 0});
    ASSERT_TRUE(changed);
    EXPECT_EQ((*changed)[7], 9);
    EXPECT_EQ((*changed)[8], 64);
    EXPECT_EQ(Ask({4}), Join({0}, Text("call one")));
    EXPECT_EQ(Ask({4}), Join({0}, Text("call two")));
    EXPECT_EQ(Ask({4}), Join({0}, Text("late 3")));
}

TEST_F(PbxsimLinkTest, RunsOnALineItIsGiven)
{
    PtyPair line;  // the simulator takes the slave as its device; the test holds the master
    Launch({QStringLiteral("--device"), line.SlavePath(), QStringLiteral("--mode"), QStringLiteral("57600,N,8,1")},
           "DEVICE ");
    EXPECT_EQ(path_, line.SlavePath());
    port_.OpenFd(line.MasterFd(), false);
    EXPECT_EQ(Ask({2}), (Bytes{0, 3, 10, 64, 1, 2, 3, 4}));
    EXPECT_EQ(Ask({0, 47, 0}), Join(Join({0, 47, 0}, Bytes(8, 0)), Join(Text("0601234567"), {0})));
    port_.Close();
}

TEST_F(PbxsimLinkTest, LinkNameAndStatisticsForScripts)
{
    const QString link = QDir(dir_.path()).filePath(QStringLiteral("pbx"));
    Start({QStringLiteral("--link"), link, QStringLiteral("--fault"), QStringLiteral("silent on I")});
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path_);
    port_.Close();
    port_.SetDeviceName(link);
    port_.Open();
    EXPECT_TRUE(Ask({13}));
    const uint8_t silent = Send({2});
    EXPECT_TRUE(Quiet(200));
    EXPECT_FALSE(PacketFor(silent));
    const uint8_t stray = 0x42;
    port_.Write(&stray, 1);
    EXPECT_TRUE(WaitUntil([this] { return Logged(QStringLiteral("CHR 42")); }, 2000));
    port_.Close();  // before the simulator's end hangs the line up

    EXPECT_EQ(Control("quit"), "OK");
    // The control answer may have come with the end of the process already.
    ASSERT_TRUE(WaitUntil([this] { return sim_.state() == QProcess::NotRunning; }, 3000));
    EXPECT_EQ(sim_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim_.exitCode(), 0);
    EXPECT_EQ(NextLine(),
              "STATS requests=2 replies=1 silent=1 late=0 twice=0 crc=0 e0=0 noise=0 stray=1 empty=0 unasked=0 "
              "config=1 identity=1 lines=0 states=0 party=0 command14=0 slot=0 slotclear=0 counters=0 keys=0 "
              "bill=0 rebill=0 read=0 write=0 other=0");
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink()) << "the link goes with the simulator";
    EXPECT_TRUE(LogLines().last().endsWith(QStringLiteral(" STOP")));
}

}  // namespace
}  // namespace varno
