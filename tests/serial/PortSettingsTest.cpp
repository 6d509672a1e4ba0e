// Port settings strings applied to the packet port.
#include "agent/serial/CommPax.h"
#include "platform/serial/ModeString.h"

#include <gtest/gtest.h>

namespace varno::test {
namespace {

struct TSettingsCase {
    const char* name;
    QString settings;
    bool applied;
    QString device;
    TBaudRate rate;
    TParity parity;
    TDataBits data;
    TStopBits stop;
    const char* problem;  // nullptr: no problem reported; else a part of it
};

// Every case starts from a port at COM9, 2400 baud, odd parity, 6 data bits,
// 2 stop bits, so that a kept value is told apart from a set one.
const std::vector<TSettingsCase>& SettingsCases()
{
    using enum TBaudRate;
    using enum TParity;
    using enum TDataBits;
    using enum TStopBits;
    static const std::vector<TSettingsCase> cases = {
        {"Default", "COM2:19200,N,8,1", true, "COM2", br19200, paNone, da8, sb10, nullptr},
        {"EvenSevenTwo", "COM1:57600,E,7,2", true, "COM1", br57600, paEven, da7, sb20, nullptr},
        {"UnknownRateKeepsRateOnly", "COM2:12345,N,8,1", true, "COM2", br2400, paNone, da8, sb10, "12345"},
        {"SpaceParityKeepsParity", "COM2:19200,S,8,1", true, "COM2", br19200, paOdd, da8, sb10, "space"},
        {"MarkParityAndOneAndAHalf", "COM3:9600,M,5,1.5", true, "COM3", br9600, paMark, da5, sb15, nullptr},
        {"KeyValueForm", "COM2:baud=38400 parity=e data=7 stop=2", true, "COM2", br38400, paEven, da7, sb20, nullptr},
        {"KeyValueWithUnusedKeys", "COM2:baud=19200 to=on xon=off dtr=on", true, "COM2", br19200, paOdd, da6, sb20,
         nullptr},
        {"KeyValueWithUnknownKey", "COM2:BAUD=9600 speed=fast", true, "COM2", br9600, paOdd, da6, sb20, "speed"},
        {"TwoDigitRate", "COM2:96,n,8,1", true, "COM2", br9600, paNone, da8, sb10, nullptr},
        {"RateWithoutTermiosSpeedIsKeptForOpen", "COM2:14400,N,8,1", true, "COM2", br14400, paNone, da8, sb10, nullptr},
        {"PartlyGiven", "COM2:19200,,7", true, "COM2", br19200, paOdd, da7, sb20, nullptr},
        {"Garbage", "COM5:fast,Q,nine,3", true, "COM5", br2400, paOdd, da6, sb20, "fast"},
        {"NineDataBits", "COM2:19200,N,9,1", true, "COM2", br19200, paNone, da6, sb10, "9 data bits"},
        {"EmptyMode", "COM4:", true, "COM4", br2400, paOdd, da6, sb20, nullptr},
        {"NoColon", "COM2 19200,N,8,1", false, "COM9", br2400, paOdd, da6, sb20, "no \":\""},
        {"ThirtyNineCharacters", "/dev/serial/by-id/usb-xxxxx:19200,N,8,1", true, "/dev/serial/by-id/usb-xxxxx",
         br19200, paNone, da8, sb10, nullptr},
        {"FortyCharacters", "/dev/serial/by-id/usb-xxxxxx:19200,N,8,1", false, "COM9", br2400, paOdd, da6, sb20,
         "longer than 39"},
    };
    return cases;
}

void PrintTo(const TSettingsCase& c, std::ostream* os) { *os << c.name; }

class SerialPortSettings : public ::testing::TestWithParam<TSettingsCase> {};

TEST_P(SerialPortSettings, AppliesWhatTheStringSuppliesAndKeepsTheRest)
{
    const TSettingsCase& c = GetParam();
    TCommPax port;
    port.SetDeviceName("COM9");
    port.SetBaudRate(TBaudRate::br2400);
    port.SetParity(TParity::paOdd);
    port.SetDataBits(TDataBits::da6);
    port.SetStopBits(TStopBits::sb20);

    QString problems = "stale";
    EXPECT_EQ(port.Set(c.settings, &problems), c.applied);
    EXPECT_EQ(port.DeviceName(), c.device);
    EXPECT_EQ(port.BaudRate(), c.rate);
    EXPECT_EQ(port.Parity(), c.parity);
    EXPECT_EQ(port.DataBits(), c.data);
    EXPECT_EQ(port.StopBits(), c.stop);
    if (c.problem) {
        EXPECT_TRUE(problems.contains(c.problem, Qt::CaseInsensitive)) << problems.toStdString();
        EXPECT_TRUE(problems.contains(c.settings)) << problems.toStdString();
    } else {
        EXPECT_TRUE(problems.isEmpty()) << problems.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialPortSettings, ::testing::ValuesIn(SettingsCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialModeString, ReadsBothFormsAndNamesWhatItDidNotUnderstand)
{
    const TModeRecord positional = ParseModeString(" 115200 , o , 8 , 2 , x");
    EXPECT_EQ(positional.Baud, 115200);
    EXPECT_EQ(positional.Parity, QChar('O'));
    EXPECT_EQ(positional.DataBits, 8);
    EXPECT_EQ(positional.StopBitsTenths, 20);
    EXPECT_TRUE(positional.Problems.isEmpty()) << positional.Problems.join(';').toStdString();

    const TModeRecord keyed = ParseModeString("stop=1.5 Parity=M odsr=off baud=300");
    EXPECT_EQ(keyed.Baud, 300);
    EXPECT_EQ(keyed.Parity, QChar('M'));
    EXPECT_FALSE(keyed.DataBits);
    EXPECT_EQ(keyed.StopBitsTenths, 15);
    EXPECT_TRUE(keyed.Problems.isEmpty());

    const TModeRecord bad = ParseModeString("99999999999999999999999,N,8,1,Z,extra");
    EXPECT_FALSE(bad.Baud);
    EXPECT_EQ(bad.Parity, QChar('N'));
    EXPECT_EQ(bad.Problems.size(), 3);

    const TModeRecord noValue = ParseModeString("baud= data stop=one");
    EXPECT_FALSE(noValue.Baud);
    EXPECT_FALSE(noValue.StopBitsTenths);
    EXPECT_EQ(noValue.Problems.size(), 3);
}

}  // namespace
}  // namespace varno::test
