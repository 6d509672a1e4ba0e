// The life of the shared block: zero-filled for the first process, kept while any process is
// attached, never locked for ever by a process that died.
#include "SharedWorld.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>

using varno::qlin2test::SharedWorld;

namespace {

constexpr uint32_t Window = 4711;

class Qlin2Lifetime : public ::testing::TestWithParam<bool> {
protected:
    SharedWorld world;
};

bool allZero(const varno::qlin2::TSharedBlock& block)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&block);
    for (size_t i = 0; i < sizeof block; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// The parameter says whether the processes are killed rather than ending normally.
TEST_P(Qlin2Lifetime, NextLoaderAfterTheLastProcessFindsAZeroBlock)
{
    const bool killed = GetParam();
    {
        auto agent = world.agent(Window, {"100", "101"});
        auto client = world.peer();
        ASSERT_EQ(client->ask("open 101 5"), "0");
        agent->ask("put 1 3 busy");
        ASSERT_EQ(world.block().Active, 1);
        if (killed) {
            client->kill();
            agent->kill();
        } else {
            EXPECT_EQ(client->finish(), 0);
            EXPECT_EQ(agent->finish(), 0);
        }
    }
    EXPECT_FALSE(allZero(world.block())) << "the objects stay until the next process loads";

    auto next = world.peer();
    EXPECT_EQ(next->ask("lines"), "0 |");
    EXPECT_TRUE(allZero(world.block()));
    EXPECT_EQ(next->ask("open 100 5"), "-2");
}

INSTANTIATE_TEST_SUITE_P(EndedOrKilled, Qlin2Lifetime, ::testing::Values(false, true));

class Qlin2Attach : public ::testing::Test {
protected:
    SharedWorld world;
};

TEST_F(Qlin2Attach, LaterLoaderSeesTheBlockWhileAnyProcessIsAttached)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    agent->kill();

    auto next = world.peer();
    EXPECT_EQ(next->ask("lines"), "1 100 |");
    EXPECT_EQ(world.block().Slots[0].InUse, 1);
}

TEST_F(Qlin2Attach, MutexOfAProcessThatDiedHoldingItIsTakenOver)
{
    auto agent = world.agent(Window, {"100"});
    auto client = world.peer();
    ASSERT_EQ(client->ask("open 100 5"), "0");
    auto victim = world.peer();
    ASSERT_EQ(victim->ask("lockdie"), "locked");
    victim->kill();

    EXPECT_EQ(agent->ask("put 0 1 after", 5000), "1");
    EXPECT_EQ(client->ask("get 0", 5000), "1 0:1:after");
    EXPECT_EQ(world.peer()->ask("open 100 5", 5000), "1");
}

TEST_F(Qlin2Attach, LoadedByNameItAttachesAndUnloadedItDetaches)
{
    void* library = dlopen(VARNO_BIN_DIR "/libQLIN2.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"QLIN_Init", "QLIN_DeInit", "QLIN_Line", "QLIN_PutStates", "QLIN_GetCommand", "QLIN_Open",
                             "QLIN_Close", "QLIN_PutCommand", "QLIN_GetStates", "QLIN_GetLines", "QLIN_ShowWindow"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    auto init = reinterpret_cast<decltype(&QLIN_Init)>(dlsym(library, "QLIN_Init"));
    auto line = reinterpret_cast<decltype(&QLIN_Line)>(dlsym(library, "QLIN_Line"));
    ASSERT_TRUE(init && line);
    init(Window, QLIN_AGENT_MESSAGE);
    line(0, "100");
    {
        auto client = world.peer();
        EXPECT_EQ(client->ask("open 100 5"), "0");
    }
    EXPECT_EQ(dlclose(library), 0);
    EXPECT_EQ(world.peer()->ask("lines"), "0 |") << "the last process has unloaded the library";
}

TEST_F(Qlin2Attach, InvalidNameLeavesTheLibraryInert)
{
    for (const char* name : {"noslash", "/two/slashes", "/"}) {
        setenv(QLIN_SHM_NAME_ENV, name, 1);
        auto process = world.peer();
        EXPECT_EQ(process->ask("open 100 5"), "-5") << name;
        EXPECT_EQ(process->ask("put 0 1 x"), "0") << name;
        EXPECT_EQ(process->ask("lines"), "0 |") << name;
    }
    setenv(QLIN_SHM_NAME_ENV, world.name().c_str(), 1);
    EXPECT_FALSE(world.blockExists()) << "nothing was created under the test's own name either";
}

}  // namespace
