#pragma once
#include <QString>

#include "agent/core/Config.h"

class QTimer;

namespace varno {

class TConversation;
class TEventLog;
class TNLS;

// The agent's own polls: each timer only puts its kind of request into the
// queue; the tick sends it when the line is free. The line-state and
// command-14 polls run only while somebody needs their data.
class TPolls {
public:
    struct Timers {
        QTimer& Tick;
        QTimer& AN;
        QTimer& SW;
        QTimer& SMS;
        QTimer& MSG;
        QTimer& UR;
    };
    TPolls(Timers timers, const TConfig& config, TEventLog& log, const TNLS& nls);

    // Every timer's event goes to one of these; the conversation must exist.
    void TimerANTimer(TConversation& conv) { Poll(conv, 'A', 108); }
    void TimerSWTimer(TConversation& conv) { Poll(conv, 'X', 104); }
    void TimerSMSTimer(TConversation& conv) { Poll(conv, 'S', 109); }
    void TimerMSGTimer(TConversation& conv) { Poll(conv, 'M', 113); }
    void TimerURTimer(TConversation& conv) { Poll(conv, 'U', 107); }

    // On an idle tick: stops the line-state poll (only while the line
    // interface is off) and the command-14 poll when no client asked for
    // their data for longer than their time-outs.
    void ExpiryChecks();

    // When a client last asked for item 22 and for command 14.
    double LastItem22Ask = 0;
    double LastCommand14Ask = 0;

private:
    void Poll(TConversation& conv, char kind, int text);

    Timers timers_;
    const TConfig& config_;
    TEventLog& log_;
    const TNLS& nls_;
};

}  // namespace varno
