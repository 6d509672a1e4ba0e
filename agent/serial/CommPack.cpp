#include "agent/serial/CommPack.h"

#include <algorithm>

namespace varno {

TCommPack::TCommPack()
{
    MaxPacketSize = LargestLength - 1;
    // Polled: nobody waits for the receive event.
    MonitorRxChar = false;
}

int TCommPack::ReadPacket(int count)
{
    std::uint8_t bytes[ReadLimit];
    const int got = Read(bytes, std::clamp(count, 0, ReadLimit));
    for (int i = 0; i < got; ++i) {
        if (Step(bytes[i]) == TStep::Packet)
            return RxLength;
    }
    return 0;
}

}  // namespace varno
