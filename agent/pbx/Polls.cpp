#include "agent/pbx/Polls.h"

#include <QTimer>

#include "agent/core/Conversation.h"
#include "agent/core/EventLog.h"
#include "agent/nls/Nls.h"
#include "platform/clock/Clock.h"

namespace varno {

TPolls::TPolls(Timers timers, const TConfig& config, TEventLog& log, const TNLS& nls)
    : timers_(timers), config_(config), log_(log), nls_(nls)
{
}

void TPolls::Poll(TConversation& conv, char kind, int text)
{
    if (config_.Log.Com_LocOut && timers_.Tick.isActive())
        log_.LogLine(QStringLiteral("<LOC"), nls_.GetText(text));
    conv.QueueRequest(kind, 0);
}

void TPolls::ExpiryChecks()
{
    const double now = Now();
    if (!config_.QLIN && MsBetween(LastItem22Ask, now) > config_.Timer.ANTimeOut * 1000.0)
        timers_.AN.stop();
    if (MsBetween(LastCommand14Ask, now) > config_.Timer.SWTimeOut * 1000.0)
        timers_.SW.stop();
}

}  // namespace varno
