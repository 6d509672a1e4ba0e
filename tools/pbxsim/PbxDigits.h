#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varno::pbxsim {

// The PBX's side of the two digit-code tables.

// An extension number as the line list carries it: up to four characters of
// "1234567890*#FPSABCD", each sent as its index in ".1234567890*#FPSABCD",
// the unused places 0. Nothing for a longer text or another character.
std::optional<std::array<uint8_t, 4>> EncodeExtension(std::string_view number);

// What a command-18 request asks for, as one readable text: dial codes 1 to 32
// become their characters of "1234567890*#F,SABCDTW-xxxxxxxx?P", the four key
// codes become "[speaker]", "[microphone]", "[volume-up]" and "[volume-down]",
// and any other code "[N]" with its decimal value.
std::string DescribeKeyCodes(const uint8_t* codes, size_t count);

}  // namespace varno::pbxsim
