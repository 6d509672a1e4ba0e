#pragma once
#include "platform/serial/PtyPair.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace varno::test {

using Bytes = std::vector<std::uint8_t>;

// Runs the Qt event loop until pred holds or timeoutMs has passed; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 2000);
// Runs the Qt event loop for ms milliseconds.
void Pump(int ms);

// The packet on the wire as the PBX frames it: EE 23, length, sequence number,
// payload, CRC, every 0xEE after the marks doubled. Built here independently of
// the port's writer.
Bytes Frame(std::uint8_t sequence, const Bytes& payload);
// A frame with any length field over a body (sequence number and payload) and
// a CRC, all stuffed.
Bytes RawFrame(std::uint16_t lengthField, const Bytes& body, std::uint32_t crc);
std::uint32_t CrcOf(const Bytes& body);
Bytes Concat(std::initializer_list<Bytes> parts);

// The far end of a pseudo-terminal line, played by the test: raw bytes in and
// out of the master. In packet mode the kernel reports on the master when the
// slave's user discards its output, which the test counts.
class TPtyPeer {
public:
    explicit TPtyPeer(bool packetMode = false, bool holdSlave = true);

    const QString& SlavePath() const { return pair_.SlavePath(); }
    int MasterFd() const { return pair_.MasterFd(); }
    PtyPair& Pair() { return pair_; }

    void Write(const Bytes& bytes);
    // Whatever has arrived, without waiting (and without running the event loop).
    Bytes ReadNow();
    // Runs the event loop until n bytes have arrived in all (or timeoutMs passed).
    Bytes ReadCount(size_t n, int timeoutMs = 2000);
    // Output discards of the slave's user seen so far (packet mode only).
    int FlushWrites();

private:
    void Drain();

    PtyPair pair_;
    bool packetMode_;
    Bytes received_;
    int flushWrites_ = 0;
};

}  // namespace varno::test
