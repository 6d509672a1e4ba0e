#include "agent/lineif/DialPrefix.h"

namespace varno {

QByteArray ApplyDialPrefix(const QStringList& prefixes, const QByteArray& dial)
{
    for (const QString& entry : prefixes) {
        const int eq = static_cast<int>(entry.indexOf(QLatin1Char('=')));
        if (eq < 0)
            continue;
        // The configuration file is UTF-8; the client's text is compared as bytes.
        const QByteArray prefix = entry.left(eq).toUtf8();
        if (dial.startsWith(prefix))
            return entry.mid(eq + 1).toUtf8() + dial.mid(prefix.size());
    }
    return dial;
}

}  // namespace varno
