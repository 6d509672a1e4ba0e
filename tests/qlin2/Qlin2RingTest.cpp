// The state rings: what a client reads after the agent has written more or fewer records than
// its ring holds, and who gets which record.
#include "SharedWorld.h"

#include <gtest/gtest.h>

using varno::qlin2test::SharedWorld;

namespace {

constexpr uint32_t Window = 4711;

class Qlin2Ring : public ::testing::Test {
protected:
    SharedWorld world;
};

std::string records(int line, int first, int last)
{
    std::string text = std::to_string(last - first + 1);
    for (int i = first; i <= last; ++i)
        text += " " + std::to_string(line) + ":" + std::to_string(i) + ":t" + std::to_string(i);
    return text;
}

TEST_F(Qlin2Ring, ReadReturnsTheNewestCapacityRecordsOldestFirst)
{
    const struct {
        int capacity;
        int written;
        int overrun;  // Overrun in the block before the read
    } cases[] = {
        {4, 3, 0}, {4, 4, 1}, {4, 5, 2}, {4, 6, 3}, {1, 1, 1}, {1, 3, 3}, {30, 32, 3},
    };
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.capacity) + " " + std::to_string(c.written));
        const std::string slot = client->ask("open 100 " + std::to_string(c.capacity));
        ASSERT_EQ(slot, "0");
        for (int i = 0; i < c.written; ++i)
            ASSERT_EQ(agent->ask("put 0 " + std::to_string(i) + " t" + std::to_string(i)), "1");
        EXPECT_EQ(world.block().Slots[0].Overrun, c.overrun);

        const int first = c.written > c.capacity ? c.written - c.capacity : 0;
        EXPECT_EQ(client->ask("get 0"), records(0, first, c.written - 1));
        EXPECT_EQ(world.block().Slots[0].Overrun, 0);
        EXPECT_EQ(client->ask("get 0"), "0");
        client->ask("close 0");
    }
}

TEST_F(Qlin2Ring, EveryClientOfALineGetsEveryRecordOfIt)
{
    auto agent = world.agent(Window, {"100", "101", "102"});
    auto first = world.peer();
    auto second = world.peer();
    auto other = world.peer();
    ASSERT_EQ(first->ask("open 100 10"), "0");
    ASSERT_EQ(other->ask("open 101 10"), "1");
    ASSERT_EQ(second->ask("open 100 10"), "2");

    agent->ask("put 0 0 t0");
    agent->ask("put 1 7 t7");
    agent->ask("put 0 1 t1");
    agent->ask("put 2 9 t9");  // no client follows line 2
    agent->ask("put 0 2 t2");

    EXPECT_EQ(first->ask("get 0"), records(0, 0, 2));
    EXPECT_EQ(second->ask("get 2"), records(0, 0, 2));
    EXPECT_EQ(other->ask("get 1"), records(1, 7, 7));
}

TEST_F(Qlin2Ring, ReusedSlotDeliversNothingOfItsPreviousHolder)
{
    auto agent = world.agent(Window, {"100"});
    auto previous = world.peer();
    ASSERT_EQ(previous->ask("open 100 5"), "0");
    agent->ask("put 0 0 t0");
    agent->ask("put 0 1 t1");
    previous->ask("close 0");
    agent->ask("put 0 2 t2");  // nobody follows the line now

    auto next = world.peer();
    ASSERT_EQ(next->ask("open 100 5"), "0");
    EXPECT_EQ(next->ask("get 0"), "0");
    agent->ask("put 0 3 t3");
    EXPECT_EQ(next->ask("get 0"), records(0, 3, 3));
}

TEST_F(Qlin2Ring, TextIsAlwaysTerminated)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    const std::string forty(40, 'x');
    agent->ask("put 0 1 " + forty);
    EXPECT_EQ(client->ask("get 0"), "1 0:1:" + std::string(31, 'x'));
}

TEST_F(Qlin2Ring, SlotsThatCannotServeYieldNothing)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    for (const char* slot : {"-1", "5", "3"})
        EXPECT_EQ(client->ask(std::string("get ") + slot), "0") << slot;
    EXPECT_EQ(client->ask("nulls 0"), "0 0 0 0 -3 -3 1");
}

}  // namespace
