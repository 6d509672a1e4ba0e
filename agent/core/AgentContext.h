#pragma once
#include <QString>

#include "agent/core/Config.h"
#include "agent/core/EventLog.h"
#include "agent/nls/Nls.h"

namespace varno {

// What every subsystem reaches below it: the event log, the texts of the
// current language and the configuration as start-up read it. The core owns
// all three; a subsystem keeps the context for its whole life.
struct TAgentContext {
    TEventLog& Log;
    const TNLS& Nls;
    const TConfig& Config;

    QString Text(int number) const { return Nls.GetText(number); }
    void LogLine(const QString& tag, const QString& text) const { Log.LogLine(tag, text); }
};

}  // namespace varno
