#pragma once
#include "agent/serial/PacketComm.h"

namespace varno {

// The earlier packet port: the same packets and settings string as TCommPax,
// but read by polling, without events and without modem support. Bytes
// outside packets are ignored (nothing is purged).
class TCommPack : public TPacketComm {
public:
    // Bytes one ReadPacket call reads at most.
    static constexpr int ReadLimit = 300;
    // The largest length field accepted (256 payload bytes).
    static constexpr int LargestLength = 257;

    TCommPack();

    // Reads at most count waiting bytes (count is capped at ReadLimit) and
    // runs the receiver over them. Returns the length field of the first
    // packet that completes with a good CRC, which stays in RxBuffer
    // (sequence number first); bytes read after it in the same call are
    // dropped. Returns 0 when no packet completed; a packet of length 0 is
    // therefore not told apart from none.
    int ReadPacket(int count);
};

}  // namespace varno
