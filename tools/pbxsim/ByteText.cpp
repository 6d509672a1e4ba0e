#include "tools/pbxsim/ByteText.h"

#include "tools/common/HexText.h"

#include <charconv>
#include <cmath>

namespace varno::pbxsim {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

std::optional<long> ParseInteger(std::string_view token, long low, long high)
{
    int base = 10;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        base = 16;
        token.remove_prefix(2);
    }
    if (token.empty())
        return std::nullopt;
    long value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, base);
    if (error != std::errc() || end != token.data() + token.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<uint8_t> ParseByte(std::string_view token)
{
    if (token.size() == 3 && token.front() == '\'' && token.back() == '\'')
        return static_cast<uint8_t>(token[1]);
    const auto value = ParseInteger(token, 0, 255);
    if (!value)
        return std::nullopt;
    return static_cast<uint8_t>(*value);
}

std::optional<double> ParseSeconds(std::string_view token)
{
    // from_chars for double is available in libstdc++ 11 and later.
    double value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc() || end != token.data() + token.size() || value < 0 ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            const int high = i + 1 < text.size() ? hextext::DigitValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hextext::DigitValue(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> SplitWords(std::string_view text)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::string_view RestAfterWords(std::string_view text, size_t count)
{
    size_t i = 0;
    for (size_t word = 0; word < count; ++word) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
    }
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return text.substr(i);
}

}  // namespace varno::pbxsim
