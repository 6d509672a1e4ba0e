#pragma once
#include "agent/serial/PacketReceiver.h"
#include "platform/serial/Comm.h"

#include <QString>
#include <cstdint>

namespace varno {

// What the packet ports share: a serial port that writes framed, stuffed,
// CRC-protected packets, receives them with TPacketReceiver, and takes its
// line from a port settings string.
class TPacketComm : public TComm, public TPacketReceiver {
public:
    // Characters of a port settings string that are handled.
    static constexpr int SettingsLimit = 39;
    // The largest payload a length field can describe.
    static constexpr int LargestPayload = 0xFFFF - 1;

    // Frames and writes one packet: EE 23, length (payload length + 1), the
    // sequence number, the payload, the CRC-32 of sequence number and payload,
    // every 0xEE after the marks doubled. Returns when every byte has been
    // handed to the port. Raises ECommError "Write error" when the system
    // refuses the write (the rest of the packet is not written), and
    // std::invalid_argument for a length outside 0 ... LargestPayload.
    void WritePacket(std::uint8_t sequence, const std::uint8_t* data, int length);
    // Writes one byte, twice when stuff is set and the byte is 0xEE.
    void WriteChar(std::uint8_t b, bool stuff);

    static std::uint32_t Update_CRC32(std::uint32_t crc, std::uint8_t b);

    // Applies a port settings string "device:mode" (for example
    // "COM2:19200,N,8,1") to the port: the device name is the text before the
    // first ":", the mode text after it is parsed as a MODE text, and baud
    // rate, data bits, stop bits and parity are set from it in this order.
    // A setting the mode does not supply, or supplies with a value the port
    // has no setting for (an unknown rate, space parity), keeps its previous
    // value. Does not open or close the port; the caller closes it first.
    //
    // Returns false, changing nothing, for a string longer than SettingsLimit
    // characters or without ":". problems (when given) receives a sentence
    // for the log about whatever was refused or not understood, and is
    // cleared when everything applied.
    bool Set(const QString& settings, QString* problems = nullptr);
};

}  // namespace varno
