#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varno {

// Telephone numbers travel to and from the PBX as one code byte per
// character. The two directions use different tables.

// PBX to agent (line list): reads at most `count` codes. Codes 1..19 are
// ".1234567890*#FPSABCD"[code]; code 0 and code 20 (the PBX's end-of-text
// code) end the number, and so do codes 21..255, which lie outside the table.
// The result is returned by value and stays valid as long as the caller keeps it.
std::string DecodeDigits(const uint8_t* codes, int count);

// Agent to PBX (command 18): exactly `count` codes (none for a negative
// count). Code i is the 1-based position of character i of `text` in
// "1234567890*#F,SABCDTW-xxxxxxxx?P", or 0 when the text is shorter or the
// character does not occur there. An 'x' always gives 23.
std::vector<uint8_t> EncodeDigits(std::string_view text, int count);

}  // namespace varno
