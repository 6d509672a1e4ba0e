#pragma once
#include "tools/common/HexText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varno::pbxsim {

// Bytes as the log shows them: two lower-case hex digits each, one space
// between them, nothing for no bytes.
inline std::string HexBytes(const uint8_t* data, size_t length)
{
    return hextext::FormatBytes(data, length, hextext::TLetterCase::Lower);
}
inline std::string HexBytes(const std::vector<uint8_t>& bytes) { return HexBytes(bytes.data(), bytes.size()); }

// One byte value written in a scenario: decimal ("238"), hexadecimal with
// "0x" ("0xEE") or a quoted character ('Q'). Values above 255 are refused.
std::optional<uint8_t> ParseByte(std::string_view token);

// A whole number (decimal, or hexadecimal with "0x"), within [low, high].
std::optional<long> ParseInteger(std::string_view token, long low, long high);

// Seconds as a decimal number ("2", "2.5", ".25"); negative values and
// anything that is not a number are refused.
std::optional<double> ParseSeconds(std::string_view token);

// Text as a scenario writes it: "\n" is a line break, "\t" a tab, "\\" a
// backslash, "\0" a zero byte and "\xHH" any byte. Returns nothing when an
// escape is incomplete or unknown.
std::optional<std::string> Unescape(std::string_view text);

// Splits at blanks and tabs; empty tokens are dropped.
std::vector<std::string_view> SplitWords(std::string_view text);

// The text after the first `count` words, without its leading blanks.
std::string_view RestAfterWords(std::string_view text, size_t count);

}  // namespace varno::pbxsim
