#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace varno::pbxsim {

// What a request asks the PBX, decided from its payload alone.
enum class RequestKind : uint8_t {
    Config,     // command 13
    Identity,   // command 2
    Lines,      // command 0, item 14: extension numbers
    States,     // command 0, item 22: line states
    Party,      // command 0, item 47: number of an external party
    Command14,  // command 14
    Slot,       // command 0, item 1: a message slot
    SlotClear,  // command 1, item 1
    Counters,   // command 1, item 17: message counters
    Keys,       // command 18: keys and dialling
    Bill,       // command 4: next billing record
    Rebill,     // command 5: the previous billing record again
    Read,       // command 0 of any other item
    Write,      // command 1 of any other item
    Other,      // anything else, the empty request included
};
inline constexpr int RequestKindCount = static_cast<int>(RequestKind::Other) + 1;

// A set of kinds, one bit per kind.
using KindSet = uint32_t;
inline constexpr KindSet AllKinds = (KindSet(1) << RequestKindCount) - 1;
inline constexpr KindSet KindBit(RequestKind kind) { return KindSet(1) << static_cast<int>(kind); }

RequestKind ClassifyRequest(const uint8_t* payload, size_t length);

// The kind's name in the log, the statistics and the statements
// ("config", "identity", "lines", "states", "party", "command14", "slot",
// "slotclear", "counters", "keys", "bill", "rebill", "read", "write", "other").
std::string_view KindName(RequestKind kind);

// A kind word of a statement: a kind name, "all", or the letter by which the
// agent knows its own requests (C I V A X S M U Y #; U stands for both
// billing commands). Several may be joined by commas ("A,X").
std::optional<KindSet> ParseKindSet(std::string_view word);

}  // namespace varno::pbxsim
