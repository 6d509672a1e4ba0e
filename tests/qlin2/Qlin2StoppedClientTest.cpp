// A client stopped inside a call keeps the block's lock. The agent's calls and the unloading of
// the library must not wait for it: they answer, and what the agent's calls could not do reaches
// the block with its next call that gets the lock. The clients' calls wait as before.
#include "AgentSocket.h"
#include "SharedWorld.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

using varno::qlin2::TSharedBlock;
using varno::qlin2test::AgentSocket;
using varno::qlin2test::ChildProcess;
using varno::qlin2test::SharedWorld;

namespace {

constexpr uint32_t Window = 4711;

// A client process that takes the block's lock and is then stopped, as by SIGSTOP or a debugger
// in the middle of a call.
class StoppedHolder {
public:
    explicit StoppedHolder(SharedWorld& world) : process_(world.peer()) {}

    bool stop() { return process_->ask("hold") == "held" && kill(process_->pid(), SIGSTOP) == 0; }
    bool resume() { return kill(process_->pid(), SIGCONT) == 0 && process_->ask("release") == "released"; }

private:
    std::unique_ptr<ChildProcess> process_;
};

class Qlin2StoppedClient : public ::testing::Test {
protected:
    SharedWorld world;
};

TEST_F(Qlin2StoppedClient, AgentCallsAnswerAndCatchUpOnceTheLockIsFree)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100", "101"});
    auto full = world.peer();
    auto roomy = world.peer();
    auto other = world.peer();
    ASSERT_EQ(full->ask("open 100 2"), "0");
    ASSERT_EQ(roomy->ask("open 100 5"), "1");
    ASSERT_EQ(other->ask("open 101 1"), "2");
    for (const char* put : {"put 0 1 a", "put 0 2 b", "put 1 3 c"})
        ASSERT_EQ(agent->ask(put), "1") << put;
    ASSERT_EQ(full->ask("command 0 -1 4 123"), "1 0");
    ASSERT_TRUE(endpoint.receive());
    const TSharedBlock before = world.block();
    ASSERT_EQ(before.Slots[0].Overrun, 1) << "full";
    ASSERT_EQ(before.Slots[1].Overrun, 0) << "2 records of 5";
    ASSERT_EQ(before.Slots[2].Overrun, 1) << "full";

    StoppedHolder holder(world);
    ASSERT_TRUE(holder.stop());
    for (const char* put : {"put 0 4 d", "put 0 5 e", "put 0 6 f", "put 1 7 g"})
        EXPECT_EQ(agent->ask(put), "0") << put;
    EXPECT_EQ(agent->ask("line 2 NEW"), "ok");
    EXPECT_EQ(agent->ask("line 0 OLD"), "ok");
    EXPECT_EQ(agent->ask("line 0 100"), "ok");
    EXPECT_EQ(agent->ask("takeerrno 0"), "0 ETIMEDOUT -7:-7:untouched");
    const TSharedBlock during = world.block();
    EXPECT_EQ(std::memcmp(&before, &during, sizeof before), 0) << "nothing is touched without the lock";

    ASSERT_TRUE(holder.resume());
    EXPECT_EQ(agent->ask("takeerrno 0"), "1 0:4:123") << "the command waited in its queue";
    const TSharedBlock after = world.block();
    EXPECT_EQ(after.Slots[0].Overrun, 1 + 3) << "three records of line 0 were lost";
    EXPECT_EQ(after.Slots[1].Overrun, 0) << "a ring that is not full cannot show a loss";
    EXPECT_EQ(after.Slots[2].Overrun, 1 + 1) << "one record of line 1 was lost";
    EXPECT_EQ(full->ask("lines"), "3 100 101 NEW |") << "the later name for line 0 replaced the earlier";

    // The rings go on as rings: the one that was not full hands out only its own records.
    ASSERT_EQ(agent->ask("put 0 8 h"), "1");
    EXPECT_EQ(full->ask("get 0"), "2 0:2:b 0:8:h");
    EXPECT_EQ(roomy->ask("get 1"), "3 0:1:a 0:2:b 0:8:h");
    EXPECT_EQ(other->ask("get 2"), "1 1:3:c");

    EXPECT_EQ(agent->ask("takeerrno 0"), "0 0 -7:-7:untouched") << "nothing queued";
    EXPECT_EQ(agent->ask("takeerrno 5"), "0 0 -7:-7:untouched") << "no such slot";
}

// QLIN_Init waits about a second for the lock; after that it is kept and carried out by the next
// call that gets the lock, before that call's own work, as if the calls had come in their order.
TEST(Qlin2StoppedClientInit, KeptInitIsCarriedOutInTheOrderOfTheCalls)
{
    const struct {
        std::vector<std::string> stalled;  // the agent's calls while the lock is held
        std::string next;                  // its first call once the lock is free
        int active;
        uint32_t window;
        int32_t lineNameCount;
    } cases[] = {
        {{"init 4711 33169"}, "line 0 100", 1, 4711, 1},
        {{"init 4711 33169", "line 0 100"}, "put 0 1 x", 1, 4711, 1},
        {{"line 0 100", "init 4711 33169"}, "put 0 1 x", 1, 4711, 0},
        {{"init 4711 33169", "deinit"}, "takeerrno 0", 0, 0, 0},
        {{"line 0 100", "init 4711 33169", "deinit"}, "put 0 1 x", 0, 0, 1},
        {{"deinit", "init 4712 33169"}, "put 0 1 x", 1, 4712, 0},
        {{"init 4711 33169"}, "deinit", 0, 4711, 0},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const std::string& step : c.stalled)
            trace += step + "; ";
        SCOPED_TRACE(trace + "then " + c.next);
        SharedWorld world;
        auto agent = world.peer();
        StoppedHolder holder(world);
        ASSERT_TRUE(holder.stop());
        for (const std::string& step : c.stalled)
            EXPECT_EQ(agent->ask(step), "ok") << step;
        EXPECT_EQ(world.block().Active, 0);

        ASSERT_TRUE(holder.resume());
        EXPECT_NE(agent->ask(c.next), "<timeout>");
        const TSharedBlock block = world.block();
        EXPECT_EQ(block.Active, c.active);
        EXPECT_EQ(block.AgentWindow, c.window);
        EXPECT_EQ(block.LineNameCount, c.lineNameCount);
    }
}

TEST_F(Qlin2StoppedClient, ProcessesEndWithoutWaitingAndLeaveTheirSlotsFree)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");

    StoppedHolder holder(world);
    ASSERT_TRUE(holder.stop());
    EXPECT_EQ(client->finish(), 0) << "unloading gave up on the lock instead of waiting for it";
    EXPECT_EQ(agent->ask("deinit"), "ok");
    EXPECT_EQ(agent->finish(), 0);
    ASSERT_TRUE(holder.resume());

    const TSharedBlock block = world.block();
    EXPECT_EQ(block.Slots[0].InUse, 1) << "the slot was not closed in the block";
    EXPECT_EQ(block.Active, 1) << "nor was the agent marked inactive";
    auto next = world.peer();
    EXPECT_EQ(next->ask("open 100 5"), "-2") << "but the agent counts as gone";
    auto restarted = world.agent(Window, {"100"});
    EXPECT_EQ(next->ask("open 100 5"), "0") << "and the slot of the ended client as free";
}

TEST_F(Qlin2StoppedClient, ClientCallsWaitUntilTheLockIsLetGo)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    ASSERT_EQ(agent->ask("put 0 1 a"), "1");

    StoppedHolder holder(world);
    ASSERT_TRUE(holder.stop());
    client->send("get 0");
    EXPECT_EQ(client->readLine(300), "<timeout>") << "a client's call does not give up on the lock";
    ASSERT_TRUE(holder.resume());
    EXPECT_EQ(client->readLine(), "1 0:1:a");
}

}  // namespace
