// UTF-8 handling for text that comes from files, the configuration and the PBX: any bytes at all.
#ifndef VARNO_AGENTQ5_UTF8TEXT_H
#define VARNO_AGENTQ5_UTF8TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace varno::agentq5 {

// Length of the valid UTF-8 sequence at the start of text, or 0 when it is none.
size_t Utf8SequenceLength(std::string_view text);
bool IsValidUtf8(std::string_view text);
// Every byte that is not part of a valid sequence becomes U+FFFD.
std::string SanitiseUtf8(std::string_view text);
// The longest prefix of at most limit bytes that does not end inside a character.
size_t Utf8CutLength(std::string_view text, size_t limit);
// Fills a fixed record field: the text cut at a character boundary, zero-terminated, the rest
// zeroed. Nothing is written past size bytes.
void CopyField(char* field, size_t size, std::string_view text);
template <size_t Size>
void CopyField(char (&field)[Size], std::string_view text)
{
    CopyField(field, Size, text);
}
// C0 controls and DEL.
bool HasControlCharacter(std::string_view text);

}  // namespace varno::agentq5

#endif
