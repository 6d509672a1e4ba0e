#pragma once
#include "tools/pbxsim/BillingQueue.h"
#include "tools/pbxsim/RequestKind.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varno::pbxsim {

// One line of the simulated PBX.
struct SimLine {
    std::array<uint8_t, 4> NumberCodes{};  // the extension number as line-list codes
    uint8_t State = 0;                     // line-state code
    uint8_t Party = 0;                     // the other party: a line index or an external party
    std::array<uint8_t, 4> Counters{};     // as last written by the agent (SMS, voice, fax, reserved)
};

// A text message the PBX wants sent out. Type 0 is an empty slot.
struct MessageSlot {
    uint8_t Type = 0;
    std::string Text;  // "first line\nsecond line\nbody"
};

// Everything the simulated PBX knows. The scenario fills it, the timeline and
// the control channel change it, and requests read it and write to it.
struct PbxState {
    // A packet of the agent holds at most 512 payload bytes; 127 lines keep
    // the line-state reply (3 + 4 per line) within that.
    static constexpr size_t MaxLines = 127;
    static constexpr size_t SlotCount = 4;

    // Byte 4 = 1 and byte 5 = 0: a PBX the agent works with, no question asked.
    std::array<uint8_t, 16> Config{0, 0, 0, 0, 1, 0};
    // Version 3.10, external parties from 64 on.
    std::array<uint8_t, 7> Identity{3, 10, 64, 0, 0, 0, 0};
    std::vector<uint8_t> Command14;
    std::vector<SimLine> Lines;
    std::map<uint8_t, std::string> Parties;  // by party number (first external party number and above)
    std::array<MessageSlot, SlotCount> MessageSlots;
    BillingQueue Billing;
    // Data of other items, by item number and index: set by the scenario,
    // replaced by a write of the item.
    std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> Items;
    // The status each kind answers with; anything but 0 gives a short reply.
    std::array<uint8_t, RequestKindCount> Status{};
    // The status of a request the PBX cannot carry out (unknown slot, party
    // or line, a malformed request).
    uint8_t InvalidStatus = 2;
    // The whole reply to requests of kind `other`, when the scenario gives one.
    std::optional<std::vector<uint8_t>> DefaultAnswer;

    uint8_t FirstExternalParty() const { return Identity[2]; }
    uint8_t& StatusOf(RequestKind kind) { return Status[static_cast<int>(kind)]; }
};

}  // namespace varno::pbxsim
