#include "agent/serial/PacketReceiver.h"

#include "agent/serial/Crc32.h"

#include <algorithm>
#ifdef VARNO_FUZZING
#include <cstdlib>
#endif

namespace varno {
namespace {

// The frame limits make these faults impossible; a fuzzing build stops at
// once if one is ever reached, an ordinary build drops the frame.
inline bool IndexFault()
{
#ifdef VARNO_FUZZING
    std::abort();
#endif
    return true;
}

}  // namespace

int TPacketReceiver::EffectiveMaxPacketSize() const { return std::min(MaxPacketSize, LargestMaxPacketSize); }

bool TPacketReceiver::StartPacket()
{
    if (static_cast<int>(RxLength) > EffectiveMaxPacketSize() + 1)
        return false;
    RxCrc = 0xFFFFFFFFu;
    RxCount = 0;
    return true;
}

bool TPacketReceiver::TestCRC()
{
    RxCrc ^= 0xFFFFFFFFu;
    if (static_cast<int>(RxLength) + 4 > RxBufferSize && IndexFault())
        return false;
    const std::uint8_t* c = RxBuffer + RxLength;
    const std::uint32_t stored = static_cast<std::uint32_t>(c[0]) | static_cast<std::uint32_t>(c[1]) << 8 |
                                 static_cast<std::uint32_t>(c[2]) << 16 | static_cast<std::uint32_t>(c[3]) << 24;
    return RxCrc == stored;
}

void TPacketReceiver::Store(std::uint8_t b)
{
    if (RxCount >= RxBufferSize && IndexFault()) {
        ReceiveState = ErrorState;
        return;
    }
    RxBuffer[RxCount] = b;
    ++RxCount;
    // The CRC covers sequence number and payload, not the CRC bytes.
    if (RxCount <= RxLength)
        RxCrc = Update_CRC32(RxCrc, b);
}

TPacketReceiver::TStep TPacketReceiver::CheckEnd()
{
    if (static_cast<int>(RxCount) < static_cast<int>(RxLength) + 4) {
        ReceiveState = 4;
        return TStep::None;
    }
    if (static_cast<int>(RxCount) == static_cast<int>(RxLength) + 4 && TestCRC()) {
        ReceiveState = 0;
        return TStep::Packet;
    }
    ReceiveState = ErrorState;
    return TStep::None;
}

TPacketReceiver::TStep TPacketReceiver::Step(std::uint8_t b)
{
    TStep result = TStep::None;
    switch (ReceiveState) {
    case 0:
        if (b == StartMark1)
            ReceiveState = 1;
        else
            result = TStep::Stray;
        break;
    case 1:
        // Repeated 0xEE between packets keeps waiting for the mark.
        if (b == StartMark2)
            ReceiveState = 2;
        else if (b != StartMark1)
            ReceiveState = 0;
        break;
    case 2:
        RxLength = static_cast<std::uint16_t>((RxLength & 0xFF00u) | b);
        ReceiveState = b == StartMark1 ? 20 : 3;
        break;
    case 20:
        if (b == StartMark1)
            ReceiveState = 3;  // the doubled 0xEE: the stored low byte stands
        else if (b == StartMark2)
            ReceiveState = 2;  // a new packet begins
        else
            ReceiveState = ErrorState;
        break;
    case 3:
        RxLength = static_cast<std::uint16_t>((RxLength & 0x00FFu) | (b << 8));
        if (b == StartMark1)
            ReceiveState = 30;
        else
            ReceiveState = StartPacket() ? 4 : ErrorState;
        break;
    case 30:
        if (b == StartMark1)
            ReceiveState = StartPacket() ? 4 : ErrorState;
        else if (b == StartMark2)
            ReceiveState = 2;
        else
            ReceiveState = ErrorState;
        break;
    case 4:
        Store(b);
        if (ReceiveState != 4)
            break;
        if (b == StartMark1)
            ReceiveState = 40;  // wait: a second 0xEE, or the start of a new packet
        else
            result = CheckEnd();
        break;
    case 40:
        if (b == StartMark1)
            result = CheckEnd();  // the second 0xEE of the pair is dropped
        else if (b == StartMark2)
            ReceiveState = 2;  // the partial frame is dropped
        else
            ReceiveState = ErrorState;
        break;
    default:
        ReceiveState = ErrorState;
        break;
    }
    if (ReceiveState >= ErrorState)
        ReceiveState = 0;
    return result;
}

}  // namespace varno
