#pragma once
#include <cstdint>

namespace varno {

// The receiver's states, each with its value and its text for logs. The
// values are fixed: tests and the fuzz target read ReceiveState. Error is
// passed only within one Step(): the frame is dropped and Step() ends in Idle.
#define VARNO_RECEIVER_STATES(X)                                                                                       \
    X(Idle, 0, "between packets")                                                                                      \
    X(StartSeen, 1, "0xEE seen")                                                                                       \
    X(LengthLow, 2, "expect length low")                                                                               \
    X(LengthLowEscape, 20, "length low was 0xEE")                                                                      \
    X(LengthHigh, 3, "expect length high")                                                                             \
    X(LengthHighEscape, 30, "length high was 0xEE")                                                                    \
    X(Body, 4, "frame body")                                                                                           \
    X(BodyEscape, 40, "body byte was 0xEE")                                                                            \
    X(Error, 200, "broken frame dropped")

enum class TReceiveState : std::uint8_t {
#define VARNO_RECEIVER_STATE_ENUM(name, value, text) name = (value),
    VARNO_RECEIVER_STATES(VARNO_RECEIVER_STATE_ENUM)
#undef VARNO_RECEIVER_STATE_ENUM
};

// The state's text for logs; "unknown state" for a value outside the list.
const char* ReceiveStateName(TReceiveState state);

// The receiving half of the PBX packet framing, shared by the packet ports.
//
// On the wire a packet is EE 23, the length (sequence number plus payload,
// 16 bits, low byte first), the sequence number, the payload and the CRC-32 of
// sequence number and payload (low byte first); every 0xEE after the start
// marks is sent twice. Step() takes the stream one byte at a time and
// assembles the unstuffed frame in place in RxBuffer: sequence number and
// payload, then the 4 CRC bytes. A frame may arrive over any number of calls.
//
// The states are listed in VARNO_RECEIVER_STATES. A broken frame (bad CRC, a
// length above the limit, a byte other than 0xEE or 0x23 after a single 0xEE)
// is dropped silently and reception goes on in Idle.
class TPacketReceiver {
public:
    static constexpr int RxBufferSize = 4000;
    // The largest payload a frame can carry: length + 4 CRC bytes must fit
    // RxBuffer.
    static constexpr int LargestMaxPacketSize = RxBufferSize - 5;
    static constexpr std::uint8_t StartMark1 = 0xEE;
    static constexpr std::uint8_t StartMark2 = 0x23;

    enum class TStep {
        None,    // the byte was taken into the frame or the start marks
        Packet,  // a frame is complete with a good CRC: RxLength bytes at RxBuffer
        Stray,   // the byte came outside any packet
    };

    TReceiveState ReceiveState = TReceiveState::Idle;
    std::uint8_t RxBuffer[RxBufferSize] = {};
    std::uint16_t RxLength = 0;
    std::uint16_t RxCount = 0;
    // The largest payload accepted; a length field above MaxPacketSize + 1 is
    // rejected. Values above LargestMaxPacketSize act as LargestMaxPacketSize.
    int MaxPacketSize = 256;
    std::uint32_t RxCrc = 0;

    // Runs the receiver over one byte.
    TStep Step(std::uint8_t b);

    // The length field is complete: false when it is above the limit,
    // otherwise starts the frame.
    bool StartPacket();
    // Finishes RxCrc and compares it with the CRC stored after the frame.
    bool TestCRC();
    // The limit StartPacket applies to MaxPacketSize.
    int EffectiveMaxPacketSize() const;

private:
    void Store(std::uint8_t b);
    TStep CheckEnd();
};

}  // namespace varno
