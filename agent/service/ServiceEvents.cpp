#include "agent/service/ServiceEvents.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

namespace varno {

void ReportServiceEvent(const QString& text, TEventType type)
{
    const int priority = type == TEventType::Error ? LOG_ERR : LOG_INFO;
    const QByteArray message = text.toUtf8();
    // The journal may be absent (containers, tests); the entry is then lost
    // and the agent goes on, as with a full event log.
    sd_journal_send("MESSAGE=%s", message.constData(), "PRIORITY=%i", priority, "SYSLOG_IDENTIFIER=VarnoAgent",
                    nullptr);
}

}  // namespace varno
