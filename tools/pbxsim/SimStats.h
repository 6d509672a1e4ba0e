#pragma once
#include "tools/pbxsim/RequestKind.h"

#include <array>
#include <string>

namespace varno::pbxsim {

// Counters of what crossed the line, for scripts and tests.
struct SimStats {
    unsigned long Requests = 0;  // packets received with a sequence number
    unsigned long Replies = 0;   // reply packets written (a doubled answer counts twice)
    unsigned long Silent = 0;    // requests left unanswered by a fault
    unsigned long Late = 0;      // answers held back by a delay
    unsigned long Twice = 0;     // answers sent twice
    unsigned long BadCrc = 0;    // packets written with a wrong CRC
    unsigned long E0 = 0;        // 0xE0 bytes written
    unsigned long Noise = 0;     // noise bytes written
    unsigned long Stray = 0;     // bytes received outside any packet
    unsigned long Empty = 0;     // packets received without a sequence number
    unsigned long Unasked = 0;   // packets written without a request (send packet / badcrc)
    std::array<unsigned long, RequestKindCount> ByKind{};

    // "STATS requests=... replies=... ... config=... other=...": every
    // counter as name=value, always all of them, always in this order.
    std::string Line() const;
};

}  // namespace varno::pbxsim
