#pragma once
#include "agent/core/AgentContext.h"
#include "agent/core/AgentTimers.h"
#include "agent/nls/TextIds.h"

namespace varno {

class TConversation;

// The agent's own polls: each timer only puts its kind of request into the
// queue; the tick sends it when the line is free. The line-state and
// command-14 polls run only while somebody needs their data.
class TPolls {
public:
    TPolls(const TAgentContext& context, TAgentTimers timers);

    // Every timer's event goes to one of these.
    void TimerANTimer(TConversation& conv) { Poll(conv, 'A', Txt::LineStateQuery); }
    void TimerSWTimer(TConversation& conv) { Poll(conv, 'X', Txt::Command14Data); }
    void TimerSMSTimer(TConversation& conv) { Poll(conv, 'S', Txt::SlotQuery); }
    void TimerMSGTimer(TConversation& conv) { Poll(conv, 'M', Txt::MailboxCheck); }
    void TimerURTimer(TConversation& conv) { Poll(conv, 'U', Txt::BillingQuery); }

    // On an idle tick: stops the line-state poll (only while the line
    // interface is off) and the command-14 poll when no client asked for
    // their data for longer than their time-outs.
    void ExpiryChecks();

    // A client asked for item 22 or for command 14 at `now`: the interest
    // time is set and the poll that keeps that data fresh is enabled.
    // Enabling a running poll leaves its period alone: clients asking more
    // often than the poll runs must not keep it from firing.
    void ClientAskedLineStates(double now);
    void ClientAskedCommand14(double now);

    // When a client last asked for item 22 and for command 14.
    double LastItem22Ask = 0;
    double LastCommand14Ask = 0;

private:
    void Poll(TConversation& conv, char kind, int text);

    const TAgentContext& context_;
    TAgentTimers timers_;
};

}  // namespace varno
