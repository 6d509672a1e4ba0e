#include "tools/common/HexText.h"

#include <cctype>

namespace varno::hextext {
namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";

bool ParseWord(const std::string& word, std::vector<std::uint8_t>& out, std::string* error)
{
    std::string digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    for (const char c : digits) {
        if (DigitValue(c) < 0) {
            if (error)
                *error = "'" + word + "' is not a hexadecimal byte";
            return false;
        }
    }
    if (digits.size() <= 2) {
        out.push_back(static_cast<std::uint8_t>(
            digits.size() == 1 ? DigitValue(digits[0]) : DigitValue(digits[0]) * 16 + DigitValue(digits[1])));
        return true;
    }
    if (digits.size() % 2 != 0) {
        if (error)
            *error = "'" + word + "' has an odd number of hexadecimal digits";
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(DigitValue(digits[i]) * 16 + DigitValue(digits[i + 1])));
    return true;
}

}  // namespace

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string FormatBytes(const std::uint8_t* data, std::size_t length, TLetterCase letterCase)
{
    const char* digits = letterCase == TLetterCase::Upper ? kUpperDigits : kLowerDigits;
    std::string text;
    text.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        if (i)
            text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> ParseBytes(const std::vector<std::string>& args, std::string* error)
{
    std::vector<std::uint8_t> bytes;
    for (const std::string& arg : args) {
        std::string word;
        for (std::size_t i = 0; i <= arg.size(); ++i) {
            if (i < arg.size() && !std::isspace(static_cast<unsigned char>(arg[i]))) {
                word += arg[i];
                continue;
            }
            if (!word.empty() && !ParseWord(word, bytes, error))
                return std::nullopt;
            word.clear();
        }
    }
    return bytes;
}

}  // namespace varno::hextext
