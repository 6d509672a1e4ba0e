// The serial component over real pseudo-terminals.
#include "platform/serial/Comm.h"
#include "tests/serial/SerialTestSupport.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace varno::test {
namespace {

TEST(SerialCommDevicePath, MapsComNamesAndKeepsPaths)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"COM1", "/dev/ttyS0"},       {"Com2", "/dev/ttyS1"},      {"com10", "/dev/ttyS9"},
        {"/dev/pts/7", "/dev/pts/7"}, {"ttyUSB0", "/dev/ttyUSB0"}, {"COM0", "/dev/COM0"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(TComm::DevicePath(name), path) << name.toStdString();
}

struct TLineCase {
    TBaudRate rate;
    speed_t speed;
    TDataBits data;
    TStopBits stop;
    bool cstopb;
    TParity parity;
    tcflag_t parityFlags;
};

TEST(SerialCommLine, OpenAppliesTheSettingsToTheLine)
{
    const std::vector<TLineCase> cases = {
        {TBaudRate::br19200, B19200, TDataBits::da8, TStopBits::sb10, false, TParity::paNone, 0},
        {TBaudRate::br57600, B57600, TDataBits::da7, TStopBits::sb20, true, TParity::paEven, PARENB},
        {TBaudRate::br9600, B9600, TDataBits::da5, TStopBits::sb15, true, TParity::paOdd, PARENB | PARODD},
        {TBaudRate::br115200, B115200, TDataBits::da6, TStopBits::sb10, false, TParity::paMark,
         PARENB | PARODD | CMSPAR},
        {TBaudRate::br110, B110, TDataBits::da8, TStopBits::sb10, false, TParity::paSpace, PARENB | CMSPAR},
    };
    for (const auto& c : cases) {
        TPtyPeer peer;
        TComm port;
        port.SetDeviceName(peer.SlavePath());
        port.SetBaudRate(c.rate);
        port.SetDataBits(c.data);
        port.SetStopBits(c.stop);
        port.SetParity(c.parity);
        port.Open();
        termios tio{};
        ASSERT_EQ(::tcgetattr(port.Handle(), &tio), 0);
        const int rate = BaudRateValue(c.rate);
        EXPECT_EQ(::cfgetospeed(&tio), c.speed) << rate;
        EXPECT_EQ(::cfgetispeed(&tio), c.speed) << rate;
        // A pseudo-terminal always runs 8 bits without a parity bit (its
        // driver resets CSIZE and PARENB); the rest of the settings stands.
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.cstopb) << rate;
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parityFlags & (PARODD | CMSPAR)) << rate;
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u) << rate;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << rate;
    }
}

TEST(SerialCommLine, SettingsOfAClosedPortAreKeptAndTheLineCannotDoSomeOfThem)
{
    const std::vector<std::pair<TBaudRate, TDataBits>> refused = {
        {TBaudRate::br14400, TDataBits::da8},  {TBaudRate::br56000, TDataBits::da8},
        {TBaudRate::br128000, TDataBits::da8}, {TBaudRate::br256000, TDataBits::da8},
        {TBaudRate::br9600, TDataBits::da4},
    };
    for (const auto& [rate, data] : refused) {
        TPtyPeer peer;
        TComm port;
        port.SetDeviceName(peer.SlavePath());
        port.SetBaudRate(rate);
        port.SetDataBits(data);
        EXPECT_EQ(port.BaudRate(), rate);
        EXPECT_EQ(port.DataBits(), data);
        try {
            port.Open();
            ADD_FAILURE() << "opened at " << BaudRateValue(rate);
        } catch (const ECommError& e) {
            EXPECT_EQ(e.Message(), "Error updating DataControlBlock (Error: 22) ");
            EXPECT_FALSE(e.Detail().isEmpty());
        }
        EXPECT_FALSE(port.Enabled());
    }
}

TEST(SerialCommLine, ARefusedChangeOfAnOpenPortLeavesTheLineAsItWas)
{
    TPtyPeer peer;
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    port.SetBaudRate(TBaudRate::br19200);
    port.Open();
    EXPECT_THROW(port.SetBaudRate(TBaudRate::br56000), ECommError);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br19200);
    port.SetBaudRate(TBaudRate::br38400);
    termios tio{};
    ASSERT_EQ(::tcgetattr(port.Handle(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
    EXPECT_THROW(port.SetDeviceName("/dev/null"), ECommError);
    port.SetDeviceName(peer.SlavePath());  // the same device is no change
}

TEST(SerialCommOpen, ReportsWhyTheDeviceDidNotOpen)
{
    QTemporaryDir dir;
    const QString plainFile = dir.filePath("notaline");
    ::close(::open(plainFile.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0600));
    const std::vector<std::pair<QString, QString>> cases = {
        {dir.filePath("missing"), "Error accessing specified device (Error: 2) "},
        {plainFile, "Error accessing specified device (Error: 25) "},
    };
    for (const auto& [device, message] : cases) {
        TComm port;
        port.SetDeviceName(device);
        try {
            port.Open();
            ADD_FAILURE() << device.toStdString();
        } catch (const ECommError& e) {
            EXPECT_EQ(e.Message(), message);
            EXPECT_STREQ(e.what(), message.toStdString().c_str());
        }
        EXPECT_FALSE(port.Enabled());
    }
}

TEST(SerialCommOpen, ALineInUseIsRefused)
{
    TPtyPeer peer;
    TComm first;
    first.SetDeviceName(peer.SlavePath());
    first.Open();
    try {
        first.Open();
        ADD_FAILURE();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Port already assigned (open) (Error: %1) ").arg(EBUSY));
    }
    TComm second;
    second.SetDeviceName(peer.SlavePath());
    try {
        second.Open();
        ADD_FAILURE();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Text(), "Port already assigned (open)");
    }
    first.Close();
    second.Open();  // free again
    EXPECT_TRUE(second.Enabled());
}

TEST(SerialCommIo, ReadsWhatWaitsWithoutWaitingAndPurges)
{
    TPtyPeer peer(true);
    TComm port;
    port.MonitorRxChar = false;
    port.SetDeviceName(peer.SlavePath());
    port.Open();
    const int flushesAfterOpen = peer.FlushWrites();

    std::uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    peer.Write({1, 2, 3, 4, 5});
    ASSERT_TRUE(PumpUntil([&] { return port.InQueCount() == 5; }));
    EXPECT_EQ(port.Read(buffer, 3), 3);
    EXPECT_EQ(port.InQueCount(), 2);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 2);
    EXPECT_EQ(buffer[1], 5);

    EXPECT_EQ(port.Write("abc", 3), 3);
    EXPECT_EQ(peer.ReadCount(3), (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(port.PurgeOut());
    EXPECT_GT(peer.FlushWrites(), flushesAfterOpen);
    // A pseudo-terminal has no DTR; that is no error.
    EXPECT_FALSE(port.SetDTRState(true));
    EXPECT_TRUE(port.Enabled());
}

TEST(SerialCommIo, AWriteThatFindsNoRoomGivesUpAfterTheTimeOut)
{
    TPtyPeer peer;  // never reads
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    port.WriteTimeout = 200;
    port.Open();
    const Bytes lots(1 << 20, 0x55);
    const int written = port.Write(lots.data(), static_cast<int>(lots.size()));
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(lots.size()));
}

TEST(SerialCommIo, AWriteTheSystemRefusesRaisesWriteError)
{
    TComm closed;
    EXPECT_THROW(closed.Write("x", 1), ECommError);

    TPtyPeer peer(false, false);
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    port.Open();
    peer.Pair().CloseMaster();
    try {
        port.Write("x", 1);
        ADD_FAILURE();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Write error (Error: %1) ").arg(EIO));
    }
}

TEST(SerialCommEvents, ArrivingBytesRaiseOnRxCharWithTheWaitingCount)
{
    TPtyPeer peer;
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    Bytes got;
    std::vector<int> counts;
    port.OnRxChar = [&](TComm* sender, int count) {
        EXPECT_EQ(sender, &port);
        counts.push_back(count);
        std::uint8_t buffer[64];
        const int n = port.Read(buffer, count);
        got.insert(got.end(), buffer, buffer + n);
    };
    port.Open();
    peer.Write({9, 8, 7});
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 3; }));
    EXPECT_EQ(got, (Bytes{9, 8, 7}));
    ASSERT_FALSE(counts.empty());
    EXPECT_GE(counts[0], 1);
}

// A handler that runs an event loop of its own (a message box) is not
// entered again by bytes that arrive meanwhile; they come after it returns.
TEST(SerialCommEvents, AHandlerIsNotReenteredFromANestedEventLoop)
{
    TPtyPeer peer;
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    int depth = 0;
    int deepest = 0;
    int calls = 0;
    size_t total = 0;
    port.OnRxChar = [&](TComm*, int count) {
        ++calls;
        deepest = std::max(deepest, ++depth);
        std::uint8_t buffer[64];
        total += static_cast<size_t>(port.Read(buffer, std::min(count, 64)));
        if (calls == 1) {
            peer.Write({2});
            QEventLoop nested;
            QTimer::singleShot(50, &nested, &QEventLoop::quit);
            nested.exec();
        }
        --depth;
    };
    port.Open();
    peer.Write({1});
    ASSERT_TRUE(PumpUntil([&] { return total == 2; }));
    EXPECT_EQ(deepest, 1);
}

TEST(SerialCommEvents, AHungUpLineIsReportedOnceAndNotWatchedFurther)
{
    TPtyPeer peer(false, false);
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    int rxEvents = 0;
    std::vector<QString> errors;
    port.OnRxChar = [&](TComm*, int count) {
        ++rxEvents;
        std::uint8_t buffer[64];
        port.Read(buffer, std::min(count, 64));
    };
    port.OnCommError = [&](TComm*, const QString& message) { errors.push_back(message); };
    port.Open();
    peer.Pair().CloseMaster();
    Pump(200);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Read error (Error: ")) << errors[0].toStdString();
    EXPECT_LE(rxEvents, 1);
    EXPECT_TRUE(port.Enabled());
    port.Close();
}

TEST(SerialCommEvents, TheHandlerMayCloseAndReopenThePort)
{
    TPtyPeer peer;
    TComm port;
    port.SetDeviceName(peer.SlavePath());
    int calls = 0;
    port.OnRxChar = [&](TComm*, int count) {
        ++calls;
        std::uint8_t buffer[64];
        port.Read(buffer, std::min(count, 64));
        port.Close();
        if (calls == 1)
            port.Open();
    };
    port.Open();
    peer.Write({1});
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    peer.Write({2});
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
    EXPECT_FALSE(port.Enabled());
    peer.Write({3});
    Pump(30);
    EXPECT_EQ(calls, 2);
}

TEST(SerialCommAdopt, APortRunsOnAnAdoptedMasterDescriptor)
{
    PtyPair pair;
    TComm agent;
    agent.SetDeviceName(pair.SlavePath());
    agent.Open();

    TComm far;
    Bytes got;
    far.OnRxChar = [&](TComm*, int count) {
        std::uint8_t buffer[64];
        const int n = far.Read(buffer, std::min(count, 64));
        got.insert(got.end(), buffer, buffer + n);
    };
    far.OpenFd(pair.MasterFd(), false);
    EXPECT_TRUE(far.Enabled());
    agent.Write("hi", 2);
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got, (Bytes{'h', 'i'}));
    far.Close();
    EXPECT_NE(::fcntl(pair.MasterFd(), F_GETFD), -1);  // not ours to close

    EXPECT_THROW(far.OpenFd(-1, false), ECommError);
    const int master = pair.ReleaseMaster();
    far.OpenFd(master, true);
    far.Close();
    EXPECT_EQ(::fcntl(master, F_GETFD), -1);
}

}  // namespace
}  // namespace varno::test
