#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace varno {

// One record of the line interface: a line state on its way to the clients,
// or a command on its way from a client. Its layout is the one of the shared
// block (40 bytes, no padding, little-endian integers), so a record can be
// copied to and from the line-interface library byte for byte.
struct TStates {
    int32_t Line;   // line index; -1 in a client command means "the line of my slot"
    int32_t State;  // state code of the line, or the command code
    char Text[32];  // zero-terminated: the other party's number, or the digits to dial
};

static_assert(sizeof(TStates) == 40, "TStates must keep the 40-byte layout of the shared block");
static_assert(offsetof(TStates, Line) == 0 && offsetof(TStates, State) == 4 && offsetof(TStates, Text) == 8,
              "TStates fields must keep their offsets");
static_assert(std::is_standard_layout_v<TStates> && std::is_trivially_copyable_v<TStates>,
              "TStates must stay a plain C record");

}  // namespace varno
