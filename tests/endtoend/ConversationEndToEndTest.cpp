#include <gtest/gtest.h>

#include <QThread>

#include "AgentAndSimulator.h"
#include "platform/profile/IniFile.h"

using namespace varno;
using namespace varno::test;

namespace {

const QByteArray kPbx = "config 0 0 0 0 1 0\nidentity 3 10 64\nline 0 101\nline 1 102\n";
// Fast ticks so that time-outs and the pause pass quickly; billing polls
// every 100 ms give the line something to do.
const QByteArray kFast = "[Timer]\nInterval=20\nMaxTick=3\nMaxError=3\nMaxErrorTick=25\nURInterval=100\n"
                         "URIntervalBezDat=100\n[Log]\nCom_LocOut=1\n";

}  // namespace

TEST(EndToEnd, StartupFailureAndRecovery)
{
    AgentAndSimulator run(kPbx, kFast);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= 4; })) << run.AgentOutput().toStdString();
    const QStringList first = run.Requests();
    EXPECT_EQ(first[0], "1 config 0d");
    EXPECT_EQ(first[1], "2 identity 02");
    EXPECT_EQ(first[2], "3 lines 00 0e 00");
    // Each went out after the reply to the one before.
    const QStringList log = run.SimulatorLog();
    auto at = [&](const QString& needle) {
        for (int i = 0; i < log.size(); ++i)
            if (log[i].contains(needle))
                return i;
        return -1;
    };
    EXPECT_LT(at(" TX 1 config"), at(" RX 2 identity"));
    EXPECT_LT(at(" TX 2 identity"), at(" RX 3 lines"));

    // The PBX falls silent.
    ASSERT_EQ(run.Control("fault silent"), "OK");
    const int before = static_cast<int>(run.Requests().size());
    const QString failed = "!Err " + LanguageText(116);
    ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains(failed); }));
    const QStringList silent = run.Requests().mid(before);
    ASSERT_EQ(silent.size(), 3) << silent.join(" | ").toStdString();  // MaxError sends of the head
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(silent[i].section(' ', 1), silent[0].section(' ', 1));
        EXPECT_EQ(silent[i].section(' ', 0, 0).toInt(), silent[i - 1].section(' ', 0, 0).toInt() + 1);
    }
    // After the pause the head goes out again.
    ASSERT_TRUE(run.WaitUntil([&] { return run.Requests().size() > before + 3; }));
    EXPECT_EQ(run.Requests()[before + 3].section(' ', 1), silent[0].section(' ', 1));

    // The PBX answers again: recovery is reported once, and C, I, V follow.
    const int beforeClear = static_cast<int>(run.Requests().size());
    ASSERT_EQ(run.Control("fault clear"), "OK");
    const QString recovered = "-OK- " + LanguageText(117);
    ASSERT_TRUE(run.WaitUntil([&] {
        return run.AgentOutput().contains(recovered) && RequestKinds(run.Requests().mid(beforeClear)).contains("lines");
    }));
    const QStringList after = RequestKinds(run.Requests().mid(beforeClear));
    const int c = static_cast<int>(after.indexOf("config"));
    ASSERT_GE(c, 0);
    EXPECT_EQ(after.mid(c, 3), QStringList({"config", "identity", "lines"}));
    EXPECT_EQ(run.AgentOutput().count(failed), 1);
    EXPECT_EQ(run.AgentOutput().count(recovered), 1);
    EXPECT_EQ(run.StopAgent(), 0);
}

TEST(EndToEnd, LateReplyLosesNoQueuedRequest)
{
    // The first configuration request is answered after its wait has ended:
    // the agent sends it again, then gets both replies.
    AgentAndSimulator run(kPbx + "fault delay 150 on config count 1\n", kFast + "[Set]\nReadUct=0\n");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return RequestKinds(run.Requests()).contains("lines"); }))
        << run.Requests().join(" | ").toStdString();
    QThread::msleep(200);
    EXPECT_EQ(RequestKinds(run.Requests()).join(' '), "config config identity lines");
}

TEST(EndToEnd, AnsweredTwiceLosesNothing)
{
    AgentAndSimulator run(kPbx + "fault twice\n", kFast + "[Set]\nReadUct=0\n");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return RequestKinds(run.Requests()).contains("lines"); }));
    QThread::msleep(200);
    EXPECT_EQ(RequestKinds(run.Requests()).join(' '), "config identity lines");
}

TEST(EndToEnd, IdentityChecks)
{
    {  // not a PBX the agent works with: nothing more is sent
        AgentAndSimulator run("config 0 0 0 0 0 0\nidentity 3 10 64\nline 0 101\n", kFast);
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains(LanguageText(141)); }));
        QThread::msleep(300);
        EXPECT_EQ(RequestKinds(run.Requests()).join(' '), "config identity");
        EXPECT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains(LanguageText(142)); }, 1000));
    }
    {  // asked, answered Yes headless: the conversation goes on
        AgentAndSimulator run("config 0 0 0 0 1 1\nidentity 3 10 64\nline 0 101\n", kFast);
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitUntil([&] { return RequestKinds(run.Requests()).contains("lines"); }));
        EXPECT_TRUE(run.AgentOutput().contains(LanguageText(143)));
        EXPECT_TRUE(run.AgentOutput().contains("Question (answered Yes)"));
    }
}
