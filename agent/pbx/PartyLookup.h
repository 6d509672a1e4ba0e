#pragma once
#include <cstdint>

namespace varno {

// What a line's party lookup (a Y request) carries through the queue and
// back with its reply: the line, the state it changed to and its party, so
// that lookups of several lines never mix. Packed into the queue entry's
// argument: party in bits 0-7, line in bits 8-15, state in bits 16-23.
struct TPartyLookup {
    int Line = 0;   // 0..255
    int State = 0;  // the state code of the line-state reply, 0..255
    int Party = 0;  // the party byte of the line-state reply, 0..255

    int32_t Pack() const { return (Party & 0xFF) | (Line & 0xFF) << 8 | (State & 0xFF) << 16; }
    static TPartyLookup Unpack(int32_t argument)
    {
        return {(argument >> 8) & 0xFF, (argument >> 16) & 0xFF, argument & 0xFF};
    }
};

}  // namespace varno
