#pragma once
#include <QChar>
#include <QString>
#include <QStringList>
#include <optional>

namespace varno {

// What a mode text asks of a serial line. A setting the text does not supply
// (left out, or not understood) stays empty, so that the port keeps its
// previous value for it.
struct TModeRecord {
    std::optional<long> Baud;           // bits per second, as written
    std::optional<QChar> Parity;        // 'N', 'O', 'E', 'M' or 'S'
    std::optional<int> DataBits;        // as written
    std::optional<int> StopBitsTenths;  // 10, 15, 20 for "1", "1.5", "2"
    QStringList Problems;               // the parts that were not understood
};

// Parses a mode text in either form of the MODE command:
//   "19200,N,8,1"   baud rate, parity letter, data bits, stop bits, by
//                   position; empty fields are left out; a fifth field (the
//                   retry or flow letter) is accepted and not used; the old
//                   two-digit rates (96 for 9600, 19 for 19200, ...) are read;
//   "baud=19200 parity=N data=8 stop=1"   keys in any order and letter case,
//                   separated by blanks; the keys to, xon, odsr, octs, dtr,
//                   rts and idsr are accepted and not used; any other key is a
//                   problem.
// The form with "=" is chosen when the text holds an "=".
TModeRecord ParseModeString(const QString& mode);

}  // namespace varno
