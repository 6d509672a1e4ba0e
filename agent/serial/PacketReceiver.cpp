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

const char* ReceiveStateName(TReceiveState state)
{
    switch (state) {
#define VARNO_RECEIVER_STATE_NAME(name, value, text)                                                                   \
    case TReceiveState::name: return text;
        VARNO_RECEIVER_STATES(VARNO_RECEIVER_STATE_NAME)
#undef VARNO_RECEIVER_STATE_NAME
    }
    return "unknown state";
}

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
        ReceiveState = TReceiveState::Error;
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
        ReceiveState = TReceiveState::Body;
        return TStep::None;
    }
    if (static_cast<int>(RxCount) == static_cast<int>(RxLength) + 4 && TestCRC()) {
        ReceiveState = TReceiveState::Idle;
        return TStep::Packet;
    }
    ReceiveState = TReceiveState::Error;
    return TStep::None;
}

TPacketReceiver::TStep TPacketReceiver::Step(std::uint8_t b)
{
    TStep result = TStep::None;
    switch (ReceiveState) {
    case TReceiveState::Idle:
        if (b == StartMark1)
            ReceiveState = TReceiveState::StartSeen;
        else
            result = TStep::Stray;
        break;
    case TReceiveState::StartSeen:
        // Repeated 0xEE between packets keeps waiting for the mark.
        if (b == StartMark2)
            ReceiveState = TReceiveState::LengthLow;
        else if (b != StartMark1)
            ReceiveState = TReceiveState::Idle;
        break;
    case TReceiveState::LengthLow:
        RxLength = static_cast<std::uint16_t>((RxLength & 0xFF00u) | b);
        ReceiveState = b == StartMark1 ? TReceiveState::LengthLowEscape : TReceiveState::LengthHigh;
        break;
    case TReceiveState::LengthLowEscape:
        if (b == StartMark1)
            ReceiveState = TReceiveState::LengthHigh;  // the doubled 0xEE: the stored low byte stands
        else if (b == StartMark2)
            ReceiveState = TReceiveState::LengthLow;  // a new packet begins
        else
            ReceiveState = TReceiveState::Error;
        break;
    case TReceiveState::LengthHigh:
        RxLength = static_cast<std::uint16_t>((RxLength & 0x00FFu) | (b << 8));
        if (b == StartMark1)
            ReceiveState = TReceiveState::LengthHighEscape;
        else
            ReceiveState = StartPacket() ? TReceiveState::Body : TReceiveState::Error;
        break;
    case TReceiveState::LengthHighEscape:
        if (b == StartMark1)
            ReceiveState = StartPacket() ? TReceiveState::Body : TReceiveState::Error;
        else if (b == StartMark2)
            ReceiveState = TReceiveState::LengthLow;
        else
            ReceiveState = TReceiveState::Error;
        break;
    case TReceiveState::Body:
        Store(b);
        if (ReceiveState != TReceiveState::Body)
            break;
        if (b == StartMark1)
            ReceiveState = TReceiveState::BodyEscape;  // wait: a second 0xEE, or the start of a new packet
        else
            result = CheckEnd();
        break;
    case TReceiveState::BodyEscape:
        if (b == StartMark1)
            result = CheckEnd();  // the second 0xEE of the pair is dropped
        else if (b == StartMark2)
            ReceiveState = TReceiveState::LengthLow;  // the partial frame is dropped
        else
            ReceiveState = TReceiveState::Error;
        break;
    default: ReceiveState = TReceiveState::Error; break;
    }
    if (ReceiveState == TReceiveState::Error)
        ReceiveState = TReceiveState::Idle;
    return result;
}

}  // namespace varno
