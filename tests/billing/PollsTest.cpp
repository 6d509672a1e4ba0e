#include <gtest/gtest.h>

#include <QCoreApplication>

#include "PbxPeer.h"
#include "platform/clock/Clock.h"
#include "tests/support/CoreApplication.h"

using namespace varno;
using namespace varno::test;

namespace {

struct ClockAt {
    double t = 46000.0;
    ClockAt()
    {
        SetClockForTest([this] { return t; });
    }
    ~ClockAt() { SetClockForTest({}); }
    void advanceMs(double ms) { t += ms / MsPerDay; }
};

void ensureApp() { EnsureCoreApplication(); }

}  // namespace

TEST(Polls, ExpiryStopsPollsNobodyNeeds)
{
    ensureApp();
    ClockAt clock;
    AgentOnPty a;
    TMainForm& f = *a.form;
    f.Polls.LastItem22Ask = clock.t;
    f.Polls.LastCommand14Ask = clock.t;
    f.TimerAN.start();
    f.TimerSW.start();
    clock.advanceMs(10000);  // exactly the time-out: still needed
    f.Polls.ExpiryChecks();
    EXPECT_TRUE(f.TimerAN.isActive());
    EXPECT_TRUE(f.TimerSW.isActive());
    clock.advanceMs(1);
    f.Polls.ExpiryChecks();
    EXPECT_FALSE(f.TimerAN.isActive());
    EXPECT_FALSE(f.TimerSW.isActive());
}

TEST(Polls, LineStatePollNeverExpiresWithLineInterface)
{
    ensureApp();
    ClockAt clock;
    AgentOnPty a("[Set]\nQLIN=1\n");
    a.form->TimerAN.start();
    clock.advanceMs(3600000);
    a.form->Polls.ExpiryChecks();
    EXPECT_TRUE(a.form->TimerAN.isActive());
}

TEST(Polls, TimersQueueEachKindOnceAndLogOnlyWhileTicking)
{
    ensureApp();
    AgentOnPty a("[Log]\nCom_LocOut=1\n");
    TMainForm& f = *a.form;
    TConversation& c = a.Conv();
    f.Polls.TimerSMSTimer(c);
    f.Polls.TimerSMSTimer(c);
    f.Polls.TimerURTimer(c);
    int s = 0;
    for (int i = 0; i < c.RequestQueue().Count(); ++i)
        s += c.RequestQueue().At(i).Key == "S" ? 1 : 0;
    EXPECT_EQ(s, 1);
    EXPECT_EQ(a.CountLog("<LOC", f.GetText(109)), 2);
    f.TimerTick.stop();
    f.Polls.TimerANTimer(c);
    EXPECT_EQ(a.CountLog("<LOC", f.GetText(108)), 0);
    EXPECT_TRUE(c.RequestQueue().Contains("A"));
}
