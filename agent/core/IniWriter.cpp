#include "agent/core/IniWriter.h"

#include "agent/core/EventLog.h"
#include "platform/profile/IniFile.h"

namespace varno {

TIniWriter::TIniWriter(QString path, TEventLog& log) : path_(std::move(path)), log_(log) {}

void TIniWriter::WriteIniString(const QString& section, const QString& key, const QString& value) const
{
    QString error;
    if (!TIniFile::WriteProfileString(path_, section, key, value, &error))
        log_.LogLine(QStringLiteral("!Err"),
                     QStringLiteral("%1: %2/%3 not written: %4").arg(path_, section, key, error));
}

}  // namespace varno
