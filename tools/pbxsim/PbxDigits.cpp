#include "tools/pbxsim/PbxDigits.h"

namespace varno::pbxsim {

std::optional<std::array<uint8_t, 4>> EncodeExtension(std::string_view number)
{
    static constexpr std::string_view table = ".1234567890*#FPSABCD";
    if (number.size() > 4)
        return std::nullopt;
    std::array<uint8_t, 4> codes{};
    for (size_t i = 0; i < number.size(); ++i) {
        const size_t at = table.find(number[i]);
        if (at == std::string_view::npos || at == 0)
            return std::nullopt;
        codes[i] = static_cast<uint8_t>(at);
    }
    return codes;
}

std::string DescribeKeyCodes(const uint8_t* codes, size_t count)
{
    static constexpr std::string_view dial = "1234567890*#F,SABCDTW-xxxxxxxx?P";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t code = codes[i];
        if (code >= 1 && code <= dial.size()) {
            out += dial[code - 1];
            continue;
        }
        switch (code) {
        case 0x53: out += "[speaker]"; break;
        case 0x54: out += "[microphone]"; break;
        case 0x5B: out += "[volume-up]"; break;
        case 0x5C: out += "[volume-down]"; break;
        default: out += "[" + std::to_string(code) + "]"; break;
        }
    }
    return out;
}

}  // namespace varno::pbxsim
