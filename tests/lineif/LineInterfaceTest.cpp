// The agent's line interface in this process, with the real library and the
// PBX on a pty; the clients are processes of their own.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>

#include "PbxPeer.h"
#include "agent/pbx/DigitCodes.h"
#include "tests/support/Bytes.h"
#include "tests/support/ClientPeer.h"
#include "tests/support/CoreApplication.h"

using namespace varno;
using namespace varno::test;

namespace {

const QByteArray kConfig = [] {
    QByteArray b = Bytes({0});
    for (int i = 0; i < 16; ++i)
        b.append(static_cast<char>(i == 4 ? 1 : 0));
    return b;
}();
// External parties from 30 on.
const QByteArray kIdentity = Bytes({0, 3, 10, 30, 0, 0, 0, 0});
// Line 0 is 1234, line 1 is 20.
const QByteArray kLineList = Bytes({0, 14, 0, 1, 2, 3, 4, 2, 10, 0, 0});

QByteArray keys(int line, const char* digits)
{
    QByteArray b = Bytes({18, line});
    for (uint8_t code : EncodeDigits(digits, static_cast<int>(std::strlen(digits))))
        b.append(static_cast<char>(code));
    return b;
}

// The reply to a party lookup: status, 0, 47, index, 8 bytes, the number.
QByteArray partyReply(int index, const char* number)
{
    QByteArray b = Bytes({0, 47, index, 0, 0, 0, 0, 0, 0, 0, 0});
    return b + QByteArray(number) + '\0';
}

QByteArray states(std::initializer_list<std::pair<int, int>> lines)
{
    QByteArray b = Bytes({0, 22, 0});
    for (const auto& [state, party] : lines)
        b += Bytes({state, party, 0, 0});
    return b;
}

class LineInterface : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    // The agent with the line interface on, its C, I, V answered.
    void start(const QByteArray& ini = {})
    {
        agent = std::make_unique<AgentOnPty>("[Set]\nQLIN=1\n" + ini);
        for (const QByteArray& r : {kConfig, kIdentity, kLineList})
            answerNext(r);
    }
    // Lets the agent send the head of its queue; returns what the PBX got.
    QByteArray sendNext()
    {
        const int before = static_cast<int>(agent->pbx.Received.size());
        agent->Tick();
        if (!agent->pbx.WaitFor(before + 1))
            return "<nothing sent>";
        return agent->pbx.Received.back().Payload;
    }
    void answerNext(const QByteArray& reply)
    {
        sendNext();
        agent->pbx.Reply(agent->pbx.Received.back().Seq, reply);
        AgentOnPty::Pump(30);
    }
    // One line-state reply, as the A poll would have asked it.
    void lineStates(const QByteArray& reply)
    {
        agent->Conv().QueueRequest('A', 0);
        ASSERT_EQ(sendNext(), Bytes({0, 22, 0}));
        agent->pbx.Reply(agent->pbx.Received.back().Seq, reply);
        AgentOnPty::Pump(30);
    }
    // The bytes of the # requests waiting, in queue order.
    QList<QByteArray> waitingKeys() const
    {
        QList<QByteArray> out;
        const TRequestQueue& q = agent->Conv().RequestQueue();
        for (int i = 0; i < q.Count(); ++i)
            if (q.At(i).Kind() == '#' && q.At(i).Record)
                out << QByteArray(reinterpret_cast<const char*>(q.At(i).Record->Payload), q.At(i).Record->PayloadLen);
        return out;
    }
    int logCount(const QString& text) const { return agent->CountLog("QLIN", text); }
    // Waits, running the event loop, until the agent has taken a command.
    bool waitForKeys(int count)
    {
        for (int i = 0; i < 200 && waitingKeys().size() < count; ++i)
            AgentOnPty::Pump(10);
        return waitingKeys().size() >= count;
    }

    std::unique_ptr<AgentOnPty> agent;
};

TEST_F(LineInterface, LinesAndStatesReachTheClients)
{
    start();
    EXPECT_EQ(logCount("Start"), 1);
    EXPECT_EQ(logCount("Init"), 1);
    EXPECT_TRUE(agent->form->TimerAN.isActive()) << "the line list starts the line-state poll";
    ClientPeer client;
    EXPECT_EQ(client.Ask("lines"), "2 1234 20 |");
    ASSERT_EQ(client.Ask("open 1234 10"), "0");
    ASSERT_EQ(client.Ask("open 20 10"), "1");

    lineStates(states({{0, 0}, {0, 0}}));  // the first reply is only the reference
    // An internal party is named at once by its line's number.
    lineStates(states({{3, 1}, {0, 0}}));
    EXPECT_EQ(client.Ask("get 0"), "1 0:3:20");
    // Two lines go external in one reply: each gets its own lookup and number.
    lineStates(states({{1, 30}, {1, 31}}));
    EXPECT_EQ(client.Ask("get 0"), "0");
    EXPECT_EQ(sendNext(), Bytes({0, 47, 0}));
    agent->pbx.Reply(agent->pbx.Received.back().Seq, partyReply(0, "0601234567"));
    AgentOnPty::Pump(30);
    EXPECT_EQ(sendNext(), Bytes({0, 47, 1}));
    agent->pbx.Reply(agent->pbx.Received.back().Seq, partyReply(1, "+420222333444"));
    AgentOnPty::Pump(30);
    EXPECT_EQ(client.Ask("get 0"), "1 0:1:0601234567");
    EXPECT_EQ(client.Ask("get 1"), "1 1:1:+420222333444");
    // A party number longer than a record holds arrives cut to 31 characters.
    lineStates(states({{0, 0}, {0, 0}}));
    lineStates(states({{1, 32}, {0, 0}}));
    answerNext(partyReply(2, "1234567890123456789012345678901234567890"));
    EXPECT_EQ(client.Ask("get 0"), "2 0:0:1234 0:1:1234567890123456789012345678901");
}

// Line-state replies that come late (the PBX answered a request the agent
// had already sent again) can overtake a lookup: its answer must not follow
// the newer state, and a lookup still waiting is redone for the newest party.
TEST_F(LineInterface, ALookupOvertakenByItsLineIsReplacedOrDropped)
{
    start("[Timer]\nMaxError=10\n");  // time-outs count across good replies
    ClientPeer client;
    ASSERT_EQ(client.Ask("open 1234 10"), "0");
    ASSERT_EQ(client.Ask("open 20 10"), "1");
    lineStates(states({{0, 0}, {0, 0}}));
    // The line-state request goes out `count` times, unanswered until the end.
    auto sendStatesUnanswered = [&](int count) {
        QList<uint8_t> seqs;
        agent->Conv().QueueRequest('A', 0);
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                agent->Tick(3);  // MaxTick: the request goes out again
            EXPECT_EQ(sendNext(), Bytes({0, 22, 0}));
            seqs << agent->pbx.Received.back().Seq;
        }
        return seqs;
    };
    auto replyTo = [&](uint8_t seq, const QByteArray& payload) {
        agent->pbx.Reply(seq, payload);
        AgentOnPty::Pump(30);
    };

    // Line 0 goes external; its lookup goes out; then the late answer says idle.
    QList<uint8_t> seqs = sendStatesUnanswered(2);
    replyTo(seqs[1], states({{1, 30}, {0, 0}}));
    ASSERT_EQ(sendNext(), Bytes({0, 47, 0}));
    const uint8_t lookup = agent->pbx.Received.back().Seq;
    replyTo(seqs[0], states({{0, 0}, {0, 0}}));
    replyTo(lookup, partyReply(0, "0601234567"));
    EXPECT_EQ(client.Ask("get 0"), "1 0:0:1234");

    // Line 1 goes external, then (late) idle, then (late) external with
    // another party while its lookup still waits: one lookup, the newest party.
    seqs = sendStatesUnanswered(3);
    replyTo(seqs[2], states({{0, 0}, {1, 31}}));
    replyTo(seqs[0], states({{0, 0}, {0, 0}}));
    replyTo(seqs[1], states({{0, 0}, {1, 33}}));
    EXPECT_EQ(sendNext(), Bytes({0, 47, 3}));
    replyTo(agent->pbx.Received.back().Seq, partyReply(3, "777"));
    EXPECT_TRUE(agent->Conv().RequestQueue().Empty());
    EXPECT_EQ(client.Ask("get 1"), "2 1:0:1234 1:1:777");
}

TEST_F(LineInterface, CommandsBecomeKeyRequests)
{
    start("[Prefix]\n0=9\n01=8\n7=7777\n");
    ClientPeer client;
    ASSERT_EQ(client.Ask("open 20 10"), "0");
    struct Case {
        const char* command;  // state and text of the client's command
        const char* log;
        QList<QByteArray> requests;
    };
    const Case cases[] = {
        {"0", "Message SPEAKER (ON/OFF)", {Bytes({18, 1, 0x53})}},
        {"1", "Message MIC (ON/OFF)", {Bytes({18, 1, 0x54})}},
        {"2", "Message VOLUME UP", {Bytes({18, 1, 0x5B})}},
        {"3", "Message VOLUME DOWN", {Bytes({18, 1, 0x5C})}},
        {"4 1234567890123", "Message VOL 1234567890123", {keys(1, "12345678"), keys(1, "90123")}},
        {"4 0123", "Message VOL 9123", {keys(1, "9123")}},
        // 33 characters after translation: cut to 30, four requests.
        {"4 712345678901234567890123456789",
         "Message VOL 777712345678901234567890123456",
         {keys(1, "77771234"), keys(1, "56789012"), keys(1, "34567890"), keys(1, "123456")}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(client.Ask(QStringLiteral("command 0 -1 ") + c.command), "1 1");
        ASSERT_TRUE(waitForKeys(static_cast<int>(c.requests.size()))) << c.command;
        EXPECT_EQ(waitingKeys(), c.requests) << c.command;
        EXPECT_EQ(logCount(c.log), 1) << c.command;
        while (!agent->Conv().RequestQueue().Empty())
            answerNext(Bytes({0}));
    }
    // An unknown code and an empty dial text are ignored without a word.
    const int logged = agent->form->Log().Count();
    ASSERT_EQ(client.Ask("command 0 -1 9 5"), "1 1");
    ASSERT_EQ(client.Ask("command 0 -1 4"), "1 1");
    AgentOnPty::Pump(100);
    EXPECT_TRUE(agent->Conv().RequestQueue().Empty());
    EXPECT_EQ(agent->form->Log().Count(), logged);
}

TEST_F(LineInterface, EachCommandSendsItsOwnLineAndDigits)
{
    start();
    ClientPeer first, second;
    ASSERT_EQ(first.Ask("open 1234 10"), "0");
    ASSERT_EQ(second.Ask("open 20 10"), "1");
    // Both are taken before either request has been sent.
    ASSERT_EQ(first.Ask("command 0 -1 4 1111111122"), "1 0");
    ASSERT_EQ(second.Ask("command 1 -1 4 33"), "1 1");
    ASSERT_TRUE(waitForKeys(3));
    EXPECT_EQ(sendNext(), keys(0, "11111111"));
    agent->pbx.Reply(agent->pbx.Received.back().Seq, Bytes({0}));
    AgentOnPty::Pump(30);
    EXPECT_EQ(sendNext(), keys(0, "22"));
    agent->pbx.Reply(agent->pbx.Received.back().Seq, Bytes({0}));
    AgentOnPty::Pump(30);
    EXPECT_EQ(sendNext(), keys(1, "33"));
}

TEST_F(LineInterface, FloodedCommandsLeaveRoomForTheAgentsOwnRequests)
{
    start();
    ClientPeer client;
    ASSERT_EQ(client.Ask("open 20 10"), "0");
    // Each dial of 20 digits makes three requests; far more are put than may wait.
    for (int i = 0; i < 40; ++i)
        client.Ask("command 0 -1 4 12345678901234567890");
    AgentOnPty::Pump(200);
    const int keysWaiting = static_cast<int>(waitingKeys().size());
    EXPECT_LE(keysWaiting, TLineInterface::MaxWaitingKeyRequests);
    EXPECT_GE(keysWaiting, TLineInterface::MaxWaitingKeyRequests - 2);
    int dropped = 0;
    for (const QString& line : agent->LogLines())
        dropped += line.startsWith("QLIN Commands dropped") ? 1 : 0;
    EXPECT_EQ(dropped, 1) << "one line per episode";
    EXPECT_TRUE(agent->Conv().QueueRequest('V', 0));
}

TEST_F(LineInterface, StrayDatagramsAreIgnored)
{
    start();
    TLineInterface* lineif = agent->form->LineInterface();
    ASSERT_TRUE(lineif->Bound());
    const QByteArray name = lineif->EndpointName().toLatin1();
    ASSERT_FALSE(name.isEmpty());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), static_cast<size_t>(name.size()));
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    auto send = [&](const QByteArray& bytes) {
        return sendto(fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                      reinterpret_cast<const sockaddr*>(&address), length);
    };
    auto words = [](uint32_t a, uint32_t b, uint32_t c) {
        QByteArray out;
        for (uint32_t w : {a, b, c})
            for (int i = 0; i < 4; ++i)
                out.append(static_cast<char>((w >> (8 * i)) & 0xFF));
        return out;
    };
    EXPECT_EQ(send("short"), 5);
    EXPECT_EQ(send(words(33169, 0, 7)), 12);           // no such slot
    EXPECT_EQ(send(words(33169, 0, 0xFFFFFFFF)), 12);  // nor this
    EXPECT_EQ(send(words(4711, 0, 0)), 12);            // another message
    EXPECT_EQ(send(words(33169, 0, 2) + "more"), 16);  // too long
    EXPECT_EQ(send(words(33169, 0, 3)), 12);           // a slot nobody holds: nothing to take
    AgentOnPty::Pump(100);
    close(fd);
    EXPECT_TRUE(agent->Conv().RequestQueue().Empty());
    int reported = 0;
    for (const QString& line : agent->LogLines())
        reported += line.startsWith("QLIN 1 datagram(s) ignored") ? 1 : 0;
    EXPECT_EQ(reported, 1) << agent->LogLines().join('\n').toStdString();

    // The endpoint still serves the clients.
    ClientPeer client;
    ASSERT_EQ(client.Ask("open 20 10"), "0");
    ASSERT_EQ(client.Ask("command 0 -1 2"), "1 1");
    EXPECT_TRUE(waitForKeys(1));
}

TEST_F(LineInterface, OffMeansNothingIsBound)
{
    agent = std::make_unique<AgentOnPty>("[Set]\nQLIN=0\n");
    TLineInterface* lineif = agent->form->LineInterface();
    ASSERT_NE(lineif, nullptr);
    EXPECT_FALSE(lineif->Bound());
    EXPECT_TRUE(lineif->EndpointName().isEmpty());
    lineif->HandleQlinMessage(0);
    EXPECT_TRUE(agent->Conv().RequestQueue().Count() == 3) << "only C, I, V";
    EXPECT_EQ(logCount("Start"), 0);
}

}  // namespace
