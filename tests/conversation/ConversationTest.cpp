#include <gtest/gtest.h>

#include <QCoreApplication>

#include "PbxPeer.h"
#include "tests/support/Bytes.h"
#include "tests/support/CoreApplication.h"

using namespace varno;
using namespace varno::test;

namespace {

// Configuration block: byte 4 says the PBX is one of ours, byte 5 whether to ask.
QByteArray configReply(int byte4 = 1, int byte5 = 0)
{
    QByteArray b = Bytes({0});
    for (int i = 0; i < 16; ++i)
        b.append(static_cast<char>(i == 4 ? byte4 : i == 5 ? byte5 : 0x40 + i));
    return b;
}
const QByteArray kIdentity = Bytes({0, 3, 0x12, 30, 0, 0, 0, 0});
const QByteArray kLineList = Bytes({0, 14, 0, 1, 2, 3, 4, 2, 10, 0, 0});

class Conversation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    // Lets the agent send its next packet and checks what it was.
    void expectSent(AgentOnPty& a, uint8_t seq, const QByteArray& payload)
    {
        const int before = static_cast<int>(a.pbx.Received.size());
        a.Tick();
        ASSERT_TRUE(a.pbx.WaitFor(before + 1)) << "nothing sent for seq " << int(seq);
        EXPECT_EQ(a.pbx.Received.back().Seq, seq);
        EXPECT_EQ(a.pbx.Received.back().Payload, payload);
    }
    void reply(AgentOnPty& a, const QByteArray& payload)
    {
        a.pbx.Reply(a.pbx.Received.back().Seq, payload);
        AgentOnPty::Pump(50);
    }
    // C, I, V answered in order.
    void startUp(AgentOnPty& a)
    {
        expectSent(a, 1, Bytes({13}));
        reply(a, configReply());
        expectSent(a, 2, Bytes({2}));
        reply(a, kIdentity);
        expectSent(a, 3, Bytes({0, 14, 0}));
        reply(a, kLineList);
        ASSERT_TRUE(a.Conv().RequestQueue().Empty());
    }
};

TEST_F(Conversation, StartupRequestsEachAfterTheReplyBefore)
{
    AgentOnPty a;
    EXPECT_EQ(a.CountLog("-OK-", a.form->GetText(124) + a.pbx.SlavePath() + ":19200,N,8,1"), 1);
    expectSent(a, 1, Bytes({13}));
    a.Tick(2);  // no reply yet: nothing else goes out
    EXPECT_EQ(a.pbx.Received.size(), 1);
    reply(a, configReply());
    expectSent(a, 2, Bytes({2}));
    reply(a, kIdentity);
    expectSent(a, 3, Bytes({0, 14, 0}));
    reply(a, kLineList);
    EXPECT_EQ(a.form->Data().LineTableCount, 2);
    EXPECT_EQ(a.Conv().TickState(), TConversation::Idle);
    EXPECT_TRUE(a.form->TimerUR.isActive());  // the line list starts the billing poll
    a.Tick(3);
    EXPECT_EQ(a.pbx.Received.size(), 3);
}

TEST_F(Conversation, SilentPbxFailureReportAndRecovery)
{
    AgentOnPty a;
    startUp(a);
    // What the traps hear of it.
    int failures = 0, restorations = 0;
    QObject::connect(&a.Conv(), &TConversation::lineFailed, [&failures] { ++failures; });
    QObject::connect(&a.form->Dispatch(), &TReceiveDispatch::lineRestored, [&restorations] { ++restorations; });
    a.Conv().QueueRequest('X', 0);
    const QByteArray x = Bytes({14});
    // MaxError (3) sends, MaxTick + 1 (4) ticks apart.
    for (uint8_t seq = 4; seq <= 6; ++seq) {
        expectSent(a, seq, x);
        a.Tick(3);
        EXPECT_EQ(a.pbx.Received.size(), seq - 3 + 3);
    }
    EXPECT_EQ(a.Conv().TickState(), TConversation::ErrorPause);
    const QString failed = a.form->GetText(116);
    EXPECT_EQ(a.CountLog("!Err", failed), 1);
    EXPECT_EQ(failures, 1);

    a.Tick(4);  // the pause of MaxErrorTick (5) ticks is not over
    EXPECT_EQ(a.pbx.Received.size(), 6);
    a.Tick(1);
    EXPECT_EQ(a.Conv().TickState(), TConversation::Idle);
    ASSERT_EQ(a.Conv().RequestQueue().Count(), 4);  // the head again, C, I, V behind it
    EXPECT_EQ(a.Conv().RequestQueue().At(0).Key, "X");
    EXPECT_EQ(a.Conv().RequestQueue().At(1).Key, "C");
    EXPECT_EQ(a.Conv().RequestQueue().At(2).Key, "I");
    EXPECT_EQ(a.Conv().RequestQueue().At(3).Key, "V");
    EXPECT_TRUE(a.Conv().LinkFailure());

    // Still silent: the next failure is not reported again.
    for (uint8_t seq = 7; seq <= 9; ++seq) {
        expectSent(a, seq, x);
        a.Tick(3);
    }
    a.Tick(5);
    EXPECT_EQ(a.CountLog("!Err", failed), 1);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(restorations, 0);

    // The first packet afterwards, even an unmatched one, reports the line's return once.
    expectSent(a, 10, x);
    a.pbx.Reply(200, Bytes({0}));
    AgentOnPty::Pump(50);
    reply(a, Bytes({0, 1, 2}));
    EXPECT_EQ(a.CountLog("-OK-", a.form->GetText(117)), 1);
    EXPECT_EQ(restorations, 1);
    EXPECT_FALSE(a.Conv().LinkFailure());
    EXPECT_EQ(a.Conv().RequestQueue().At(0).Key, "C");
}

TEST_F(Conversation, StrayE0EndsTheWaitAsATimeOut)
{
    AgentOnPty a;
    startUp(a);
    a.Conv().QueueRequest('A', 0);
    expectSent(a, 4, Bytes({0, 22, 0}));
    a.pbx.SendByte(0xE0);
    AgentOnPty::Pump(50);
    EXPECT_EQ(a.Conv().TickCounter(), 3);
    a.Tick();  // counts the time-out
    EXPECT_EQ(a.Conv().ErrorCount(), 1);
    EXPECT_EQ(a.Conv().TickState(), TConversation::Idle);
    expectSent(a, 5, Bytes({0, 22, 0}));  // sent again on the tick after
}

TEST_F(Conversation, IdentityChecks)
{
    {  // not a PBX the agent works with: all traffic stops
        AgentOnPty a;
        expectSent(a, 1, Bytes({13}));
        reply(a, configReply(0, 0));
        expectSent(a, 2, Bytes({2}));
        reply(a, kIdentity);
        EXPECT_FALSE(a.form->TimerTick.isActive());
        ASSERT_EQ(a.prompt.Boxes.size(), 1);
        EXPECT_TRUE(a.prompt.Boxes[0].contains("3.12")) << a.prompt.Boxes[0].toStdString();
        EXPECT_EQ(a.CountLog("<COM", a.form->GetText(101) + a.form->GetText(142)), 1);
    }
    for (bool yes : {true, false}) {  // ask, and go on only on Yes
        AgentOnPty a;
        a.prompt.Answer = yes;
        expectSent(a, 1, Bytes({13}));
        reply(a, configReply(1, 1));
        expectSent(a, 2, Bytes({2}));
        reply(a, kIdentity);
        EXPECT_EQ(a.prompt.Questions.size(), 1);
        EXPECT_EQ(a.form->TimerTick.isActive(), yes);
        EXPECT_EQ(a.CountLog("<COM", a.form->GetText(101) + a.form->GetText(144)), 1);
    }
}

TEST_F(Conversation, LateReplyToAnEarlierCopyLosesNoRequest)
{
    AgentOnPty a;
    startUp(a);
    a.Conv().QueueRequest('X', 0);
    expectSent(a, 4, Bytes({14}));
    a.Tick(3);                      // time-out
    expectSent(a, 5, Bytes({14}));  // the same head again
    a.Conv().QueueRequest('A', 0);
    a.Conv().QueueRequest('S', 0);
    a.pbx.Reply(4, Bytes({0, 9}));  // the late reply to the first copy
    AgentOnPty::Pump(50);
    a.pbx.Reply(5, Bytes({0, 9}));  // and the reply to the second
    a.pbx.Reply(5, Bytes({0, 9}));  // answered twice
    AgentOnPty::Pump(50);
    ASSERT_EQ(a.Conv().RequestQueue().Count(), 2);
    EXPECT_EQ(a.Conv().RequestQueue().At(0).Key, "A");
    expectSent(a, 6, Bytes({0, 22, 0}));
    reply(a, Bytes({0, 22, 0}));
    expectSent(a, 7, Bytes({0, 1, 0}));
}

TEST_F(Conversation, ClientRequestIsWrittenOnceAndCountsNoError)
{
    AgentOnPty a;
    startUp(a);
    const uint8_t request[] = {0, 60, 1};
    a.Conv().QueueRequest('T', 42, request, 3);
    expectSent(a, 4, Bytes({0, 60, 1}));
    EXPECT_TRUE(a.Conv().RequestQueue().Empty());
    EXPECT_EQ(a.Conv().TickState(), TConversation::AwaitClient);
    a.Tick(3);  // the client pause ends
    EXPECT_EQ(a.Conv().TickState(), TConversation::Idle);
    EXPECT_EQ(a.Conv().ErrorCount(), 0);
    a.Tick(3);
    EXPECT_EQ(a.pbx.Received.size(), 4);  // never repeated
    ASSERT_NE(a.Conv().PendingTable().Find(4), nullptr);
    EXPECT_EQ(a.Conv().PendingTable().Find(4)->Handle, 42);
}

TEST_F(Conversation, CounterRequestWithoutChangesLeavesTheQueue)
{
    AgentOnPty a;
    startUp(a);
    a.Conv().QueueRequest('M', 0);
    a.Conv().QueueRequest('A', 0);
    a.Tick();  // the mailbox check reads nothing: no packet, and M is gone
    EXPECT_EQ(a.pbx.Received.size(), 3);
    ASSERT_EQ(a.Conv().RequestQueue().Count(), 1);
    expectSent(a, 4, Bytes({0, 22, 0}));
}

TEST_F(Conversation, ShutdownSendsOneCounterReset)
{
    AgentOnPty a;
    startUp(a);
    a.form->FormClose();
    ASSERT_TRUE(a.pbx.WaitFor(4));
    EXPECT_EQ(a.pbx.Received.back().Payload, Bytes({1, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    AgentOnPty::Pump(50);
    EXPECT_EQ(a.pbx.Received.size(), 4);
}

TEST(RequestQueue, KindsOnceClientsOnceCap)
{
    TRequestQueue q;
    EXPECT_TRUE(q.QueueRequest('A', 0, nullptr, 0));
    EXPECT_FALSE(q.QueueRequest('A', 0, nullptr, 0));
    EXPECT_TRUE(q.QueueRequest('#', 240, nullptr, 0));
    EXPECT_TRUE(q.QueueRequest('#', 241, nullptr, 0));
    const uint8_t r1[] = {0, 22, 0}, r2[] = {14};
    EXPECT_TRUE(q.QueueRequest('T', 7, r1, 3));
    EXPECT_TRUE(q.QueueRequest('X', 0, nullptr, 0));
    EXPECT_TRUE(q.QueueRequest('T', 7, r2, 1));  // replaces the older one, at the end
    ASSERT_EQ(q.Count(), 5);
    EXPECT_EQ(q.At(4).Key, "T7");
    EXPECT_EQ(q.At(4).Record->PayloadLen, 1);
    EXPECT_EQ(q.At(4).Record->FirstByte, 14);
    uint8_t big[257] = {};
    EXPECT_FALSE(q.QueueRequest('T', 8, big, 257));

    for (int i = 0; i < 100; ++i)
        q.QueueRequest('#', i, nullptr, 0);
    EXPECT_EQ(q.Count(), 100);
    EXPECT_EQ(q.At(0).Key, "#");  // the oldest five fell out
    EXPECT_EQ(q.At(0).Argument, 5 - 5);
}

TEST(RequestQueue, KeyedRequestsOncePerKeyAndCommandBytesKept)
{
    TRequestQueue q;
    q.QueueKeyed('Y', 0, 100);
    q.QueueRequest('A', 0, nullptr, 0);
    q.QueueKeyed('Y', 1, 200);
    const uint32_t sent = q.At(0).Id;
    q.QueueKeyed('Y', 0, 101);  // replaces what line 0's lookup carries, in its place
    ASSERT_EQ(q.Count(), 3);
    EXPECT_EQ(q.At(0).Key, "Y0");
    EXPECT_EQ(q.At(0).Argument, 101);
    EXPECT_NE(q.At(0).Id, sent) << "a reply to what was sent before must not take it";
    EXPECT_FALSE(q.RemoveHeadIf(sent));
    EXPECT_EQ(q.At(2).Key, "Y1");
    EXPECT_EQ(q.CountKind('Y'), 2);

    const uint8_t keys[] = {18, 1, 9, 1};
    EXPECT_TRUE(q.QueueRequest('#', 1, keys, 4));
    ASSERT_TRUE(q.At(3).Record);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(q.At(3).Record->Payload), q.At(3).Record->PayloadLen),
              Bytes({18, 1, 9, 1}));
    EXPECT_FALSE(q.QueueRequest('#', 1, keys, 0));
}

TEST(PendingTable, SequenceNumberReuseReplacesTheOldEntry)
{
    TPendingTable t;
    auto a = std::make_unique<TRequest>();
    a->Kind = 'A';
    t.Add(0, std::move(a));
    auto c = std::make_unique<TRequest>();
    c->Kind = 'C';
    t.Add(0, std::move(c));
    EXPECT_EQ(t.Count(), 1);
    auto taken = t.Take(0);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->Kind, 'C');
    EXPECT_FALSE(t.Take(0));
}

}  // namespace
