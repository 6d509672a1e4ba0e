#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

namespace varno {

// Appends one billing record and CR LF to the file, creating it when it is
// missing. The record is on disk (written and synced) when this returns
// true. On failure the file is put back to the length it had, so that a
// half-written record never stands in it; error says why.
bool AppendRecordToFile(const QString& path, const QByteArray& record, QString* error);

}  // namespace varno
