#include "agent/serial/Crc32.h"

#include <array>

namespace varno {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> Table = MakeTable();

}  // namespace

std::uint32_t Update_CRC32(std::uint32_t crc, std::uint8_t b) { return (crc >> 8) ^ Table[(crc ^ b) & 0xFFu]; }

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i)
        crc = Update_CRC32(crc, data[i]);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace varno
