#include "platform/serial/CommSettings.h"

#include <array>

namespace varno {
namespace {

constexpr std::array<int, 15> RateValues = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                            19200, 38400, 56000, 57600, 115200, 128000, 256000};

}  // namespace

int BaudRateValue(TBaudRate rate) { return RateValues[static_cast<size_t>(rate)]; }

std::optional<TBaudRate> BaudRateFromValue(long value)
{
    for (size_t i = 0; i < RateValues.size(); ++i) {
        if (RateValues[i] == value)
            return static_cast<TBaudRate>(i);
    }
    return std::nullopt;
}

int DataBitsValue(TDataBits bits) { return 4 + static_cast<int>(bits); }

std::optional<TDataBits> DataBitsFromValue(int value)
{
    if (value < 4 || value > 8)
        return std::nullopt;
    return static_cast<TDataBits>(value - 4);
}

}  // namespace varno
