#pragma once
#include <QString>

namespace varno {

// System event log entry types.
enum class TEventType { Error = 1, Information = 4 };

// Writes one entry to the systemd journal under the identifier "VarnoAgent".
void ReportServiceEvent(const QString& text, TEventType type);

}  // namespace varno
