#pragma once

class QTimer;

namespace varno {

// The tick and the poll timers. The core owns them; the conversation, the
// polls and the receive side start and stop them through these references.
struct TAgentTimers {
    QTimer& Tick;
    QTimer& AN;   // line states
    QTimer& SW;   // command-14 data
    QTimer& SMS;  // message slots
    QTimer& MSG;  // message counters
    QTimer& UR;   // billing records
};

}  // namespace varno
