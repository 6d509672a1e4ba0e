#pragma once
#include <cstddef>
#include <cstdint>

namespace varno {

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), one table step:
// (crc >> 8) ^ table[(crc ^ b) & 0xFF]. A packet's CRC starts at 0xFFFFFFFF
// and is finished by an exclusive-or with 0xFFFFFFFF.
std::uint32_t Update_CRC32(std::uint32_t crc, std::uint8_t b);

// The finished CRC-32 of a whole block ("123456789" gives 0xCBF43926).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

}  // namespace varno
