#pragma once
#include <cstdint>

namespace varno {

// One request to the PBX: a queued client request or a pending entry.
struct TRequest {
    static constexpr int MaxPayload = 256;

    char Kind = 0;          // request kind letter
    uint8_t FirstByte = 0;  // the command code
    int32_t Handle = 0;     // the client's socket handle, kind T only
    int32_t Argument = 0;   // the queue entry's builder argument (# and Y), for its reply
    uint8_t Payload[MaxPayload] = {};
    int32_t PayloadLen = 0;
    // The queue entry this packet was sent from; 0 when it did not come
    // from the queue. Only a reply to the entry at the head removes it.
    uint32_t QueueEntry = 0;
};

}  // namespace varno
