#pragma once
#include <optional>

namespace varno {

// The fifteen rates a port setting can name. Not every one of them exists on a
// Linux line: 14400, 56000, 128000 and 256000 have no termios speed, and a port
// refuses them when they are applied (see TComm).
enum class TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};

enum class TDataBits { da4, da5, da6, da7, da8 };

// 1.5 stop bits exist on a UART only together with 5 data bits, where the
// "two stop bits" setting gives one and a half. sb15 is therefore applied as
// two stop bits: with 5 data bits the line runs 1.5, otherwise 2, which a
// receiver set to 1 or 1.5 accepts as well.
enum class TStopBits { sb10, sb15, sb20 };

enum class TParity { paNone, paOdd, paEven, paMark, paSpace };

// The rate in bits per second.
int BaudRateValue(TBaudRate rate);
// The rate of a value in bits per second, when it is one of the fifteen.
std::optional<TBaudRate> BaudRateFromValue(long value);

int DataBitsValue(TDataBits bits);
std::optional<TDataBits> DataBitsFromValue(int value);

}  // namespace varno
