#include "HexBytes.h"

#include <cctype>

namespace pbxquery {
namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseWord(const std::string& word, std::vector<uint8_t>& out, std::string* error)
{
    std::string digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    for (char c : digits) {
        if (digitValue(c) < 0) {
            if (error)
                *error = "'" + word + "' is not a hexadecimal byte";
            return false;
        }
    }
    if (digits.size() <= 2) {
        out.push_back(static_cast<uint8_t>(digits.size() == 1 ? digitValue(digits[0])
                                                               : digitValue(digits[0]) * 16 + digitValue(digits[1])));
        return true;
    }
    if (digits.size() % 2 != 0) {
        if (error)
            *error = "'" + word + "' has an odd number of hexadecimal digits";
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(digitValue(digits[i]) * 16 + digitValue(digits[i + 1])));
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::vector<std::string>& args, std::string* error)
{
    std::vector<uint8_t> bytes;
    for (const std::string& arg : args) {
        std::string word;
        for (size_t i = 0; i <= arg.size(); ++i) {
            if (i < arg.size() && !std::isspace(static_cast<unsigned char>(arg[i]))) {
                word += arg[i];
                continue;
            }
            if (!word.empty() && !parseWord(word, bytes, error))
                return std::nullopt;
            word.clear();
        }
    }
    if (bytes.empty()) {
        if (error)
            *error = "no request bytes given";
        return std::nullopt;
    }
    return bytes;
}

std::string FormatHexBytes(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace pbxquery
