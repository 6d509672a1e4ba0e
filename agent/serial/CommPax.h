#pragma once
#include "agent/serial/PacketComm.h"

#include <QString>
#include <cstdint>
#include <functional>

class QElapsedTimer;

namespace varno {

// The PBX packet port of the agent (the window's CommPax1).
//
// Every byte that arrives passes through RxChar: a complete frame with a good
// CRC is handed to OnRxPacket, a byte outside any packet first discards the
// output still queued in the port and is then handed to OnRxChar. While
// ModemMode is on (during ModemStart) the bytes are collected in ModemText
// instead.
class TCommPax : public TPacketComm {
public:
    static constexpr int ModemTextSize = 2040;
    // The command buffer of ModemStart, terminator included.
    static constexpr int ModemCommandSize = 200;
    // Each stage of ModemStart waits at most this long.
    static constexpr int ModemStageMs = 1000;

    TCommPax();

    char ModemText[ModemTextSize + 1] = {};
    bool Cancel = false;
    bool ModemMode = false;
    int ModemTextLen = 0;

    // Count: the length field (sequence number plus payload, CRC excluded);
    // Data: the frame in RxBuffer, sequence number first. Valid only during
    // the call. With Count 0 there is no sequence number to read.
    std::function<void(TCommPax* Sender, int Count, const std::uint8_t* Data)> OnRxPacket;
    // A byte that arrived outside any packet.
    std::function<void(TCommPax* Sender, std::uint8_t Chr)> OnRxChr;

    // The character-received handler of the port: reads what waits (at most
    // Count and at most 4000 bytes; more waiting bytes raise the event again)
    // and runs the receiver, or fills ModemText in modem mode.
    void RxChar(TComm* Sender, int Count);
    // Runs the receiver over bytes as if they had been read from the port.
    void Receive(const std::uint8_t* data, int count);

    // Dials through a Hayes modem on the open port: raises DTR, sends
    // CR LF Init CR and waits for its echo and "OK", then sends
    // "ATDP"/"ATDT" Number CR (pulse or tone) and waits for its echo and the
    // modem's answer. The event loop keeps running while it waits. Results:
    // 0 "CONNECT", 1 "NO DIALTONE", 2 "BUSY", 3 "NO CARRIER", -1 cancelled
    // through Cancel, -2 a stage got no echo, "OK" or answer within 1000 ms,
    // or a command does not fit the 200-character command buffer (nothing is
    // sent then). Cancel is cleared when the dial-up starts. Raises
    // ECommError "Write error" when the port refuses the commands.
    int ModemStart(const QString& Init, const QString& Number, bool Pulse);

private:
    void ReceiveModemText(int count);
    // Waits until text occurs in ModemText at or after from; 0 when found
    // (end receives the offset behind it), -1 cancelled, -2 time-out.
    int WaitForText(const QByteArray& text, int from, int* end);
    int Find(const char* text, int from) const;
    void WaitABit();
};

}  // namespace varno
