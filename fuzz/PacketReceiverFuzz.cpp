// Feeds arbitrary bytes to the packet port's receiver and checks, for every
// input, that it stays inside RxBuffer, delivers only frames with a good CRC
// and an accepted length, and still delivers a good frame that follows.
//
// Input layout: bytes 0-1 choose MaxPacketSize (-2 ... 4600, so that the cap
// at 3995 is crossed), byte 2 the size of the pieces the rest is fed in
// (0: all at once), the rest is the line.
#include "agent/serial/CommPax.h"
#include "agent/serial/Crc32.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using varno::TCommPax;
using varno::TPacketReceiver;
using varno::TReceiveState;

bool KnownState(TReceiveState s)
{
    switch (s) {
    case TReceiveState::Idle:
    case TReceiveState::StartSeen:
    case TReceiveState::LengthLow:
    case TReceiveState::LengthLowEscape:
    case TReceiveState::LengthHigh:
    case TReceiveState::LengthHighEscape:
    case TReceiveState::Body:
    case TReceiveState::BodyEscape: return true;
    default: return false;
    }
}

void CheckInvariants(const TCommPax& port, int limit)
{
    CHECK(KnownState(port.ReceiveState));
    CHECK(port.RxCount <= TPacketReceiver::RxBufferSize);
    if (port.ReceiveState == TReceiveState::Body || port.ReceiveState == TReceiveState::BodyEscape) {
        CHECK(static_cast<int>(port.RxLength) <= limit + 1);
        CHECK(static_cast<int>(port.RxLength) + 4 <= TPacketReceiver::RxBufferSize);
        CHECK(port.RxCount <= port.RxLength + 4);
        if (port.ReceiveState == TReceiveState::Body)
            CHECK(port.RxCount < port.RxLength + 4);
    }
}

void PutStuffed(std::vector<std::uint8_t>& out, std::uint8_t b)
{
    out.push_back(b);
    if (b == 0xEE)
        out.push_back(b);
}

std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> out = {0xEE, 0x23};
    PutStuffed(out, static_cast<std::uint8_t>(body.size() & 0xFF));
    PutStuffed(out, static_cast<std::uint8_t>(body.size() >> 8));
    for (const std::uint8_t b : body)
        PutStuffed(out, b);
    const std::uint32_t crc = varno::Crc32(body.data(), body.size());
    for (int i = 0; i < 4; ++i)
        PutStuffed(out, static_cast<std::uint8_t>(crc >> (8 * i)));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    TCommPax port;
    port.MaxPacketSize = static_cast<int>(((data[0] << 8) | data[1]) % 4603) - 2;
    const int limit = std::min(port.MaxPacketSize, TPacketReceiver::LargestMaxPacketSize);
    const size_t piece = data[2] == 0 ? size : data[2];
    const std::uint8_t* line = data + 3;
    const size_t length = size - 3;

    std::vector<std::uint8_t> last;
    size_t delivered = 0;
    port.OnRxPacket = [&](TCommPax* sender, int count, const std::uint8_t* frame) {
        CHECK(sender == &port);
        CHECK(frame == port.RxBuffer);
        CHECK(count >= 0 && count <= limit + 1);
        CHECK(count + 4 <= TPacketReceiver::RxBufferSize);
        CHECK(count == port.RxLength && port.RxCount == count + 4);
        const std::uint8_t* c = frame + count;
        const std::uint32_t stored = c[0] | c[1] << 8 | c[2] << 16 | static_cast<std::uint32_t>(c[3]) << 24;
        CHECK(varno::Crc32(frame, static_cast<size_t>(count)) == stored);
        last.assign(frame, frame + count);
        ++delivered;
    };
    port.OnRxChr = [&](TCommPax*, std::uint8_t chr) {
        CHECK(port.ReceiveState == TReceiveState::Idle);
        CHECK(chr != 0xEE);
    };

    for (size_t at = 0; at < length; at += piece) {
        port.Receive(line + at, static_cast<int>(std::min(piece, length - at)));
        CheckInvariants(port, limit);
    }

    // After any line noise one byte that is neither 0xEE nor the mark ends a
    // pending escape (a lone 0xEE would otherwise pair with the next frame's
    // first 0xEE); the good frame after it always arrives.
    std::vector<std::uint8_t> body;
    if (limit + 1 >= 4)
        body = {0x5A, 0xEE, 0x23, 0x00};
    std::vector<std::uint8_t> tail = {0x00};
    const std::vector<std::uint8_t> good = Frame(body);
    tail.insert(tail.end(), good.begin(), good.end());
    const size_t before = delivered;
    for (const std::uint8_t b : tail) {
        port.Receive(&b, 1);
        CheckInvariants(port, limit);
    }
    if (limit + 1 >= 0) {
        CHECK(delivered > before);
        CHECK(last == body);
        CHECK(port.ReceiveState == TReceiveState::Idle);
    } else {
        CHECK(delivered == 0);
    }
    return 0;
}
