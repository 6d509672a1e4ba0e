#pragma once
#include "tools/pbxsim/RequestKind.h"

#include <array>
#include <string>

namespace varno::pbxsim {

// Counters of what crossed the line, for scripts and tests.
struct SimStats {
    unsigned long requests = 0;   // packets received with a sequence number
    unsigned long replies = 0;    // reply packets written (a doubled answer counts twice)
    unsigned long silent = 0;     // requests left unanswered by a fault
    unsigned long late = 0;       // answers held back by a delay
    unsigned long twice = 0;      // answers sent twice
    unsigned long badCrc = 0;     // packets written with a wrong CRC
    unsigned long e0 = 0;         // 0xE0 bytes written
    unsigned long noise = 0;      // noise bytes written
    unsigned long stray = 0;      // bytes received outside any packet
    unsigned long empty = 0;      // packets received without a sequence number
    unsigned long unasked = 0;    // packets written without a request (send packet / badcrc)
    std::array<unsigned long, RequestKindCount> byKind {};

    // "STATS requests=... replies=... ... config=... other=...": every
    // counter as name=value, always all of them, always in this order.
    std::string Line() const;
};

}  // namespace varno::pbxsim
