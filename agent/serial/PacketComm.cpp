#include "agent/serial/PacketComm.h"

#include "agent/serial/Crc32.h"
#include "platform/serial/ModeString.h"

#include <QStringList>
#include <stdexcept>
#include <string>

namespace varno {
namespace {

// Gathers the stuffed bytes of one packet and hands them to the port in as
// few writes as possible. The bytes on the wire are exactly those of one
// write per byte; but a system call per byte costs a context switch per byte
// on the far side of a pseudo-terminal and a wake-up per byte on a real line,
// which under load (a busy gateway, billing downloads) is most of the time the
// agent spends. Nothing is kept between packets: the buffer is flushed before
// WritePacket returns.
class TStuffedWriter {
public:
    explicit TStuffedWriter(TComm& port) : port_(port) {}

    void Put(std::uint8_t b, bool stuff)
    {
        buffer_[used_++] = b;
        if (stuff && b == TPacketReceiver::StartMark1)
            buffer_[used_++] = b;
        if (used_ > static_cast<int>(sizeof buffer_) - 2)
            Flush();
    }

    // A chunk the port could not take within its write time-out is
    // abandoned, as a timed-out single write would be; the packet goes on.
    void Flush()
    {
        if (used_ > 0)
            port_.Write(buffer_, used_);
        used_ = 0;
    }

private:
    TComm& port_;
    std::uint8_t buffer_[1024];
    int used_ = 0;
};

}  // namespace

std::uint32_t TPacketComm::Update_CRC32(std::uint32_t crc, std::uint8_t b) { return varno::Update_CRC32(crc, b); }

void TPacketComm::WriteChar(std::uint8_t b, bool stuff)
{
    const std::uint8_t pair[2] = {b, b};
    Write(pair, stuff && b == StartMark1 ? 2 : 1);
}

void TPacketComm::WritePacket(std::uint8_t sequence, const std::uint8_t* data, int length)
{
    if (length < 0 || length > LargestPayload || (length > 0 && !data))
        throw std::invalid_argument("packet payload length " + std::to_string(length) + " is outside 0 ... " +
                                    std::to_string(LargestPayload));
    TStuffedWriter out(*this);
    out.Put(StartMark1, false);
    out.Put(StartMark2, false);
    const int n = length + 1;
    out.Put(static_cast<std::uint8_t>(n & 0xFF), true);
    out.Put(static_cast<std::uint8_t>((n >> 8) & 0xFF), true);
    out.Put(sequence, true);
    std::uint32_t crc = varno::Update_CRC32(0xFFFFFFFFu, sequence);
    for (int i = 0; i < length; ++i) {
        out.Put(data[i], true);
        crc = varno::Update_CRC32(crc, data[i]);
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i)
        out.Put(static_cast<std::uint8_t>(crc >> (8 * i)), true);
    out.Flush();
}

bool TPacketComm::Set(const QString& settings, QString* problems)
{
    QStringList found;
    const auto finish = [&](bool applied) {
        if (problems)
            *problems =
                found.isEmpty()
                    ? QString()
                    : QStringLiteral("Port settings \"%1\": %2").arg(settings, found.join(QStringLiteral("; ")));
        return applied;
    };

    if (settings.size() > SettingsLimit) {
        found
            << QStringLiteral("longer than %1 characters, not applied; the port keeps its settings").arg(SettingsLimit);
        return finish(false);
    }
    const int colon = settings.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        found << QStringLiteral("no \":\" between device and mode, not applied; the port keeps its settings");
        return finish(false);
    }

    SetDeviceName(settings.left(colon));
    const TModeRecord mode = ParseModeString(settings.mid(colon + 1));
    found << mode.Problems;

    if (mode.Baud) {
        if (const auto rate = BaudRateFromValue(*mode.Baud))
            SetBaudRate(*rate);
        else
            found << QStringLiteral("baud rate %1 is not supported, rate unchanged").arg(*mode.Baud);
    }
    if (mode.DataBits) {
        if (const auto bits = DataBitsFromValue(*mode.DataBits))
            SetDataBits(*bits);
        else
            found << QStringLiteral("%1 data bits are not supported, data bits unchanged").arg(*mode.DataBits);
    }
    if (mode.StopBitsTenths) {
        switch (*mode.StopBitsTenths) {
        case 10: SetStopBits(TStopBits::sb10); break;
        case 15: SetStopBits(TStopBits::sb15); break;
        case 20: SetStopBits(TStopBits::sb20); break;
        default:
            found << QStringLiteral("%1 stop bits are not supported, stop bits unchanged")
                         .arg(*mode.StopBitsTenths / 10.0);
            break;
        }
    }
    if (mode.Parity) {
        switch (mode.Parity->unicode()) {
        case 'N': SetParity(TParity::paNone); break;
        case 'O': SetParity(TParity::paOdd); break;
        case 'E': SetParity(TParity::paEven); break;
        case 'M': SetParity(TParity::paMark); break;
        default: found << QStringLiteral("space parity is not used, parity unchanged"); break;
        }
    }
    return finish(true);
}

}  // namespace varno
