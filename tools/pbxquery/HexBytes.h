#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pbxquery {

// Bytes written as hexadecimal digits: each argument holds one byte of one
// or two digits ("0", "16") or several bytes of two digits each ("001600");
// blanks inside an argument separate bytes too ("00 16 00"). An optional
// "0x" in front of an argument is allowed. nullopt with a reason on an error.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::vector<std::string>& args, std::string* error);

// "00 16 0A": two upper-case digits a byte, one blank between.
std::string FormatHexBytes(const std::vector<uint8_t>& bytes);

}  // namespace pbxquery
