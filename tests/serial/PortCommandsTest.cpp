// The main window's port commands, with COM1 ... COM3 leading to real
// pseudo-terminals and COM4 to nothing.
#include "agent/serial/PortCommands.h"
#include "tests/serial/SerialTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <termios.h>

namespace varno::test {
namespace {

// Records what the commands ask of the window, in order.
class TRecordingHost : public TPortHost {
public:
    explicit TRecordingHost(TCommPax& port) : port_(port) {}

    QString Port;
    bool Tick = true;
    QStringList Events;

    QString& PortString() override { return Port; }
    void WriteIniString(const QString& section, const QString& key, const QString& value) override
    {
        Events
            << QStringLiteral("ini %1/%2=%3 (port %4)").arg(section, key, value, port_.Enabled() ? "open" : "closed");
    }
    void ShowStatusText(const QString& text) override { Events << "status " + text; }
    void LogLine(const QString& tag, const QString& text) override { Events << tag + " " + text; }
    QString GetText(int number) const override { return QStringLiteral("text%1").arg(number); }
    bool TickEnabled() const override { return Tick; }
    void SetTickEnabled(bool enabled) override
    {
        Tick = enabled;
        Events << QStringLiteral("tick %1 (port %2)").arg(enabled ? "on" : "off", port_.Enabled() ? "open" : "closed");
    }
    void StopMessageTimers() override { Events << QStringLiteral("timers off"); }
    void RestartConversation() override { Events << QStringLiteral("restart"); }
    void SetBaudChecks(int rate) override { Events << QStringLiteral("checks %1").arg(rate); }

private:
    TCommPax& port_;
};

class SerialPortCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previousPattern = TComm::ComDevicePattern();
        TComm::SetComDevicePattern(dir.filePath("ttyS%1"));
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(QFile::link(lines[i].SlavePath(), dir.filePath(QStringLiteral("ttyS%1").arg(i))));
        TPortCommands::PrepareCommPax1(port);
        host.Port = "COM2:19200,N,8,1";
    }
    void TearDown() override { TComm::SetComDevicePattern(previousPattern); }

    // Which of the three lines the port is on: -1 for none.
    int LineInUse()
    {
        if (!port.Enabled())
            return -1;
        port.WriteChar(0x5A, false);
        for (int i = 0; i < 3; ++i) {
            if (!lines[i].ReadCount(1, 100).empty())
                return i;
        }
        return -1;
    }

    QTemporaryDir dir;
    QString previousPattern;
    TPtyPeer lines[3];
    TCommPax port;
    TRecordingHost host{port};
    TPortCommands commands{host, port};
};

TEST_F(SerialPortCommands, StartUpOpensThePortStringAndShutdownClosesIt)
{
    EXPECT_EQ(port.DeviceName(), "Com2");
    EXPECT_EQ(port.MaxPacketSize, 512);
    const TPortOpenResult opened = commands.OpenPort();
    EXPECT_TRUE(opened.Ok) << opened.Error.toStdString();
    EXPECT_EQ(LineInUse(), 1);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br19200);
    EXPECT_TRUE(host.Events.isEmpty()) << host.Events.join('|').toStdString();
    commands.ClosePort();
    EXPECT_FALSE(port.Enabled());
    commands.ClosePort();  // closed already: nothing happens
}

TEST_F(SerialPortCommands, StartUpReportsAPortThatDoesNotOpen)
{
    host.Port = "COM4:19200,N,8,1";
    const TPortOpenResult opened = commands.OpenPort();
    EXPECT_FALSE(opened.Ok);
    EXPECT_TRUE(opened.Error.startsWith("Error accessing specified device (Error: 2) ")) << opened.Error.toStdString();
    EXPECT_FALSE(port.Enabled());
}

TEST_F(SerialPortCommands, AnOverlongPortStringIsLoggedAndThePreviousDeviceOpens)
{
    host.Port = "COM3:19200,N,8,1,x                       ";
    ASSERT_GT(host.Port.size(), 39);
    EXPECT_TRUE(commands.OpenPort().Ok);
    ASSERT_EQ(host.Events.size(), 1);
    EXPECT_TRUE(host.Events[0].startsWith("!Err ")) << host.Events[0].toStdString();
    EXPECT_TRUE(host.Events[0].contains("longer than 39"));
    EXPECT_EQ(LineInUse(), 1);  // still "Com2"
}

TEST_F(SerialPortCommands, PortSelectionPreselectsTheFourthCharacter)
{
    const std::vector<std::pair<QString, std::optional<int>>> cases = {
        {"COM1:9600,N,8,1", 0}, {"COM2:19200,N,8,1", 1}, {"COM4", 3}, {"COM9:19200,N,8,1", -1}, {"COM", std::nullopt},
    };
    for (const auto& [portString, entry] : cases) {
        host.Port = portString;
        EXPECT_EQ(commands.PortSelectionEntry(), entry) << portString.toStdString();
    }
    ASSERT_EQ(host.Events.size(), 1);  // the short one is logged
    EXPECT_TRUE(host.Events[0].startsWith("!Err ")) << host.Events[0].toStdString();
}

TEST_F(SerialPortCommands, ChoosingComThreeSavesBeforeReopeningAndRestarts)
{
    ASSERT_TRUE(commands.OpenPort().Ok);
    int preselected = -2;
    EXPECT_TRUE(commands.Volbasriovhoportu1Click([&](int entry) {
        preselected = entry;
        return std::optional<int>(2);
    }));
    EXPECT_EQ(preselected, 1);
    EXPECT_EQ(host.Port, "COM3:19200,N,8,1");
    EXPECT_EQ(host.Events,
              (QStringList{"timers off", "ini Set/Port=COM3:19200,N,8,1 (port closed)", "status ", "restart"}));
    EXPECT_EQ(LineInUse(), 2);
}

TEST_F(SerialPortCommands, APortThatDoesNotOpenShowsText134AndLeavesTheConversation)
{
    ASSERT_TRUE(commands.OpenPort().Ok);
    EXPECT_FALSE(commands.SelectPort(3));
    EXPECT_EQ(host.Port, "COM4:19200,N,8,1");
    EXPECT_EQ(host.Events,
              (QStringList{"timers off", "ini Set/Port=COM4:19200,N,8,1 (port closed)", "status text134"}));
    EXPECT_FALSE(port.Enabled());
}

TEST_F(SerialPortCommands, PortSelectionRefusesWhatItCannotDo)
{
    ASSERT_TRUE(commands.OpenPort().Ok);
    EXPECT_FALSE(commands.Volbasriovhoportu1Click([](int) { return std::optional<int>(); }));  // cancelled
    EXPECT_FALSE(commands.SelectPort(4));
    host.Port = "CO";
    EXPECT_FALSE(commands.Volbasriovhoportu1Click([](int) -> std::optional<int> {
        ADD_FAILURE() << "dialog shown for a port string that names no port";
        return 0;
    }));
    EXPECT_FALSE(commands.SelectPort(0));
    EXPECT_EQ(host.Port, "CO");
    ASSERT_EQ(host.Events.size(), 3);
    for (const QString& event : host.Events)
        EXPECT_TRUE(event.startsWith("!Err ")) << event.toStdString();
    EXPECT_EQ(LineInUse(), 1);  // the port was not touched
}

TEST(SerialPortBaud, ReplacesTheRateInBothForms)
{
    const std::vector<std::tuple<QString, QString, std::optional<QString>>> cases = {
        {"COM2:19200,N,8,1", "57600", "COM2:57600,N,8,1"},
        {"COM2:19200,N,8,1", "38400", "COM2:38400,N,8,1"},
        {"COM2:,N,8,1", "9600", "COM2:9600,N,8,1"},
        {"COM2:19200", "57600", "COM2:57600"},
        {"COM2:baud=19200 parity=N", "57600", "COM2:baud=57600 parity=N"},
        {"COM2:parity=N BAUD=19200 data=8", "9600", "COM2:parity=N baud=9600 data=8"},
        {"COM2:parity=N data=8", "9600", "COM2:baud=9600 parity=N data=8"},
        {"COM2", "9600", std::nullopt},
    };
    for (const auto& [portString, baud, expected] : cases)
        EXPECT_EQ(TPortCommands::ReplaceBaud(portString, baud), expected) << portString.toStdString();
}

TEST(SerialPortBaud, ChecksTheMenuItemOfTheCurrentRateOnly)
{
    const std::vector<std::pair<TBaudRate, int>> cases = {
        {TBaudRate::br57600, 57600}, {TBaudRate::br38400, 38400}, {TBaudRate::br19200, 19200},
        {TBaudRate::br9600, 9600},   {TBaudRate::br115200, 0},    {TBaudRate::br4800, 0},
    };
    for (const auto& [rate, checked] : cases)
        EXPECT_EQ(TPortCommands::BaudCheckFor(rate), checked) << BaudRateValue(rate);
}

TEST_F(SerialPortCommands, ChoosingARateReopensWithTheTickHeldAndWritesNoFile)
{
    ASSERT_TRUE(commands.OpenPort().Ok);
    for (const bool tick : {true, false}) {
        host.Tick = tick;
        host.Events.clear();
        commands.COMBaudClick("&38400");
        EXPECT_EQ(host.Port, "COM2:38400,N,8,1");
        const QString restored = QStringLiteral("tick %1 (port open)").arg(tick ? "on" : "off");
        EXPECT_EQ(host.Events, (QStringList{"tick off (port open)", "checks 38400", restored}));
        EXPECT_EQ(host.Tick, tick);
    }
    termios tio{};
    ASSERT_EQ(::tcgetattr(port.Handle(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
    EXPECT_EQ(LineInUse(), 1);

    host.Events.clear();
    commands.Ulo6itdosouboru1Click();
    EXPECT_EQ(host.Events, (QStringList{"ini Set/Port=COM2:38400,N,8,1 (port open)"}));
}

TEST_F(SerialPortCommands, ARateChangeThatDoesNotOpenFailsSilently)
{
    struct TCase {
        QString portString;
        QString baud;
        QString tickOff;
    };
    const std::vector<TCase> cases = {
        {"COM4:19200,N,8,1", "57600", "tick off (port closed)"},  // no such line
        {"COM2:19200,N,8,1", "14400", "tick off (port open)"},    // a rate the line cannot run
    };
    for (const auto& c : cases) {
        host.Port = c.portString;
        commands.OpenPort();
        host.Events.clear();
        EXPECT_FALSE(commands.SetBaud(c.baud)) << c.baud.toStdString();
        EXPECT_EQ(host.Port, TPortCommands::ReplaceBaud(c.portString, c.baud));
        EXPECT_EQ(host.Events, (QStringList{c.tickOff, "tick on (port closed)"}));
        EXPECT_FALSE(port.Enabled());
    }
}

TEST_F(SerialPortCommands, ARateMenuCaptionThatIsNoNumberMeans9600)
{
    ASSERT_TRUE(commands.OpenPort().Ok);
    commands.COMBaudClick("fast");
    EXPECT_EQ(host.Port, "COM2:9600,N,8,1");
    EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
    EXPECT_TRUE(host.Events.contains("checks 9600"));

    host.Port = "COM2";
    host.Events.clear();
    EXPECT_FALSE(commands.SetBaud("19200"));
    EXPECT_EQ(host.Port, "COM2");
    ASSERT_EQ(host.Events.size(), 1);
    EXPECT_TRUE(host.Events[0].startsWith("!Err "));
    EXPECT_TRUE(port.Enabled());
}

}  // namespace
}  // namespace varno::test
