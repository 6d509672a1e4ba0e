// Sends the agent's notifications: one datagram of three little-endian words to the abstract
// Unix datagram socket named after the agent's handle.
#pragma once

#include <cstdint>

namespace varno::qlin2 {

// True when the datagram was handed to the agent's socket. Never waits: a missing socket or a
// full queue is a failure.
bool NotifyAgent(const char* sharedName, uint32_t window, uint32_t message, int32_t first, int32_t second);

}  // namespace varno::qlin2
