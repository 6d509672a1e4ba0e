#pragma once
#include <QString>

namespace varno {

class TEventLog;

// Writes settings to the configuration file one key at a time, at once, and
// keeps every other line of the file as it was. A key that cannot be
// written is reported in the event log.
class TIniWriter {
public:
    TIniWriter(QString path, TEventLog& log);

    const QString& Path() const { return path_; }
    void WriteIniString(const QString& section, const QString& key, const QString& value) const;

private:
    QString path_;
    TEventLog& log_;
};

}  // namespace varno
