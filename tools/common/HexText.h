#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varno::hextext {

enum class TLetterCase : std::uint8_t { Lower, Upper };

// The value of one hexadecimal digit (either case), -1 for any other character.
int DigitValue(char c);

// Two digits a byte, one blank between them, nothing for no bytes:
// "00 16 0a" or "00 16 0A".
std::string FormatBytes(const std::uint8_t* data, std::size_t length, TLetterCase letterCase);
inline std::string FormatBytes(const std::vector<std::uint8_t>& bytes, TLetterCase letterCase)
{
    return FormatBytes(bytes.data(), bytes.size(), letterCase);
}

// Bytes written as hexadecimal digits: each argument holds one byte of one
// or two digits ("0", "16") or several bytes of two digits each ("001600");
// blanks inside an argument separate bytes too ("00 16 00"). An optional
// "0x" in front of a word is allowed. No arguments give no bytes; nullopt
// with a reason in error (when given) for a word that is not hexadecimal.
std::optional<std::vector<std::uint8_t>> ParseBytes(const std::vector<std::string>& args, std::string* error);

}  // namespace varno::hextext
