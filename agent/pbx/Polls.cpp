#include "agent/pbx/Polls.h"

#include <QTimer>

#include "agent/core/Conversation.h"
#include "platform/clock/Clock.h"

namespace varno {

TPolls::TPolls(const TAgentContext& context, TAgentTimers timers) : context_(context), timers_(timers) {}

void TPolls::Poll(TConversation& conv, char kind, int text)
{
    if (context_.Config.Log.Com_LocOut && timers_.Tick.isActive())
        context_.LogLine(QStringLiteral("<LOC"), context_.Text(text));
    conv.QueueRequest(kind, 0);
}

void TPolls::ExpiryChecks()
{
    const double now = Now();
    const TConfig& config = context_.Config;
    if (!config.QLIN && MsBetween(LastItem22Ask, now) > config.Timer.ANTimeOut * 1000.0)
        timers_.AN.stop();
    if (MsBetween(LastCommand14Ask, now) > config.Timer.SWTimeOut * 1000.0)
        timers_.SW.stop();
}

void TPolls::ClientAskedLineStates(double now)
{
    LastItem22Ask = now;
    if (!timers_.AN.isActive())
        timers_.AN.start();
}

void TPolls::ClientAskedCommand14(double now)
{
    LastCommand14Ask = now;
    if (!timers_.SW.isActive())
        timers_.SW.start();
}

}  // namespace varno
