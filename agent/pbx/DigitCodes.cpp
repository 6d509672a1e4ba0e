#include "agent/pbx/DigitCodes.h"

#include <algorithm>

namespace varno {
namespace {

// Index = code; code 20 is the PBX's end of text and has no character.
constexpr char DecodeTable[] = ".1234567890*#FPSABCD";
constexpr int EndOfTextCode = 20;
static_assert(sizeof(DecodeTable) - 1 == EndOfTextCode);

// Position + 1 = code. Positions 23..30 are placeholders; the first 'x' wins.
constexpr std::string_view EncodeTable = "1234567890*#F,SABCDTW-xxxxxxxx?P";
static_assert(EncodeTable.size() == 32);

}  // namespace

std::string DecodeDigits(const uint8_t* codes, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const uint8_t code = codes[i];
        if (code == 0 || code >= EndOfTextCode)
            break;
        text += DecodeTable[code];
    }
    return text;
}

std::vector<uint8_t> EncodeDigits(std::string_view text, int count)
{
    std::vector<uint8_t> codes(static_cast<size_t>(std::max(count, 0)), 0);
    const size_t known = std::min(codes.size(), text.size());
    for (size_t i = 0; i < known; ++i) {
        // A zero character would match nothing in a C string search either.
        if (text[i] == '\0')
            continue;
        const size_t position = EncodeTable.find(text[i]);
        if (position != std::string_view::npos)
            codes[i] = static_cast<uint8_t>(position + 1);
    }
    return codes;
}

}  // namespace varno
