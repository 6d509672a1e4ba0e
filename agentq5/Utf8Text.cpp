#include "agentq5/Utf8Text.h"

#include <cstring>

namespace varno::agentq5 {

size_t Utf8SequenceLength(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint32_t point = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        point = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        point = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xc0) != 0x80)
            return 0;
        point = (point << 6) | (next & 0x3f);
    }
    // Overlong forms, surrogates and points past U+10FFFF are no characters.
    if ((length == 3 && point < 0x800) || (length == 4 && point < 0x10000) || point > 0x10ffff ||
        (point >= 0xd800 && point <= 0xdfff))
        return 0;
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    while (!text.empty()) {
        const size_t length = Utf8SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string SanitiseUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            out += "\xef\xbf\xbd";
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

size_t Utf8CutLength(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t cut = limit;
    // Step back over continuation bytes to the start of the character that does not fit.
    // A character is at most four bytes: further back lies no boundary worth finding.
    while (cut > 0 && limit - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        --cut;
    return cut;
}

void CopyField(char* field, size_t size, std::string_view text)
{
    if (size == 0)
        return;
    const size_t length = Utf8CutLength(text, size - 1);
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), length);
}

bool HasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
    }
    return false;
}

}  // namespace varno::agentq5
