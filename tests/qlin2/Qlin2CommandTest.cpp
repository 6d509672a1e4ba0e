// Commands from a client to the agent: the queue in the slot and the datagram that announces
// each command at the agent's endpoint.
#include "AgentSocket.h"
#include "SharedWorld.h"

#include <gtest/gtest.h>

using varno::qlin2test::AgentSocket;
using varno::qlin2test::SharedWorld;

namespace {

constexpr uint32_t Window = 4711;
using Words = std::array<uint32_t, 3>;

class Qlin2Command : public ::testing::Test {
protected:
    SharedWorld world;
};

TEST_F(Qlin2Command, EachQueuedCommandIsAnnouncedAndTakenOldestFirst)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100", "101"});
    auto other = world.peer();
    auto client = world.peer();
    ASSERT_EQ(other->ask("open 100 5"), "0");
    ASSERT_EQ(client->ask("open 101 5"), "1");

    EXPECT_EQ(client->ask("command 1 -1 4 0601234567"), "1 1") << "Line -1 becomes the slot's line";
    EXPECT_EQ(endpoint.receive(), (Words{QLIN_AGENT_MESSAGE, 1, 1}));
    EXPECT_EQ(client->ask("command 1 0 0"), "1 0") << "another line is passed on as it is";
    EXPECT_EQ(endpoint.receive(), (Words{QLIN_AGENT_MESSAGE, 1, 1}));
    EXPECT_EQ(client->ask("command 1 -1 3"), "1 1");
    EXPECT_EQ(endpoint.receive(), (Words{QLIN_AGENT_MESSAGE, 1, 1}));

    EXPECT_EQ(client->ask("command 1 -1 2"), "0 1") << "a fourth command is refused";
    EXPECT_EQ(endpoint.pendingSize(200), -1) << "and not announced";
    EXPECT_EQ(world.block().Slots[1].CommandCount, 3);

    EXPECT_EQ(agent->ask("take 1"), "1 1:4:0601234567");
    EXPECT_EQ(agent->ask("take 1"), "1 0:0:");
    EXPECT_EQ(agent->ask("take 1"), "1 1:3:");
    EXPECT_EQ(agent->ask("take 1"), "0 -7:-7:untouched") << "nothing queued";
    EXPECT_EQ(agent->ask("take 0"), "0 -7:-7:untouched");

    EXPECT_EQ(client->ask("command 1 -1 2"), "1 1") << "room again";
    EXPECT_EQ(endpoint.receive(), (Words{QLIN_AGENT_MESSAGE, 1, 1}));
    EXPECT_EQ(agent->ask("take 1"), "1 1:2:");
}

TEST_F(Qlin2Command, SlotsThatAreNotHeldTakeNoCommands)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    ASSERT_EQ(client->ask("command 0 -1 1"), "1 0");
    ASSERT_TRUE(endpoint.receive());
    client->ask("close 0");

    for (const char* slot : {"-1", "5", "0", "4"}) {
        EXPECT_EQ(client->ask(std::string("command ") + slot + " -1 1"), "0 -1") << slot;
        EXPECT_EQ(agent->ask(std::string("take ") + slot), "0 -7:-7:untouched") << slot;
    }
    EXPECT_EQ(endpoint.pendingSize(200), -1);
}

TEST_F(Qlin2Command, CommandIsNotQueuedWhenTheAgentCannotBeNotified)
{
    auto agent = world.agent(Window, {"100"});  // nobody has bound the endpoint
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    EXPECT_EQ(client->ask("command 0 -1 4 123"), "0 0");
    EXPECT_EQ(world.block().Slots[0].CommandCount, 0);
    EXPECT_EQ(agent->ask("take 0"), "0 -7:-7:untouched");

    AgentSocket endpoint(Window);
    EXPECT_EQ(client->ask("command 0 -1 4 123"), "1 0");
    EXPECT_TRUE(endpoint.receive());
    EXPECT_EQ(agent->ask("take 0"), "1 0:4:123");
}

TEST_F(Qlin2Command, DialTextIsStoredTerminated)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    ASSERT_EQ(client->ask("command 0 -1 4 " + std::string(36, '5')), "1 0");
    EXPECT_EQ(agent->ask("take 0"), "1 0:4:" + std::string(31, '5'));
}

TEST_F(Qlin2Command, ShowWindowSendsAShowRequest)
{
    AgentSocket endpoint(Window);
    AgentSocket elsewhere(Window + 1);
    auto client = world.peer();
    EXPECT_EQ(client->ask("show 0 1"), "0") << "no agent recorded yet";

    auto agent = world.agent(Window, {"100"});
    EXPECT_EQ(client->ask("show 4712 9"), "1");
    EXPECT_EQ(elsewhere.receive(), (Words{QLIN_SHOW_MESSAGE, QLIN_SW_RESTORE, 0}));
    EXPECT_EQ(client->ask("show 0 0"), "1") << "handle 0 is the agent's";
    EXPECT_EQ(endpoint.receive(), (Words{QLIN_SHOW_MESSAGE, QLIN_SW_HIDE, 0}));
    EXPECT_EQ(client->ask("show 4799 5"), "0") << "no endpoint there";
}

}  // namespace
