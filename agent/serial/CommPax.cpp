#include "agent/serial/CommPax.h"

#include <algorithm>

namespace varno {

TCommPax::TCommPax()
{
    OnRxChar = [this](TComm* sender, int count) { RxChar(sender, count); };
}

void TCommPax::RxChar(TComm* /*Sender*/, int Count)
{
    if (ModemMode) {
        ReceiveModemText(Count);
        return;
    }
    // On the stack, not in the object: a handler that runs an event loop of
    // its own must not find this read's bytes overwritten.
    std::uint8_t bytes[RxBufferSize];
    const int got = Read(bytes, std::min(Count, RxBufferSize));
    if (got > 0)
        Receive(bytes, got);
}

void TCommPax::Receive(const std::uint8_t* data, int count)
{
    for (int i = 0; i < count; ++i) {
        switch (Step(data[i])) {
        case TStep::Packet:
            if (OnRxPacket)
                OnRxPacket(this, RxLength, RxBuffer);
            break;
        case TStep::Stray:
            // The PBX sends a stray byte when it drops what it was receiving;
            // anything still queued for it would only confuse it further.
            PurgeOut();
            if (OnRxChr)
                OnRxChr(this, data[i]);
            break;
        case TStep::None: break;
        }
    }
}

void TCommPax::ReceiveModemText(int count)
{
    ModemTextLen = std::clamp(ModemTextLen, 0, ModemTextSize);
    const int room = ModemTextSize - ModemTextLen;
    int got = 0;
    if (room > 0) {
        // Advanced by what was read, not by what was asked for: a short read
        // must not leave unwritten characters inside the text.
        got = Read(ModemText + ModemTextLen, std::min(count, room));
        ModemTextLen += got;
    }
    ModemText[ModemTextLen] = '\0';
    if (ModemTextLen < ModemTextSize)
        return;
    // Beyond a full ModemText the modem's chatter is dropped; left waiting it
    // would raise the event again and again.
    std::uint8_t discard[256];
    for (int left = count - got; left > 0;) {
        const int n = Read(discard, std::min<int>(left, sizeof discard));
        if (n <= 0)
            break;
        left -= n;
    }
}

}  // namespace varno
