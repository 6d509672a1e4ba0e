// The client tool qlinmon against a peer agent: listing, watching and sending commands.
#include "AgentSocket.h"
#include "SharedWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using varno::qlin2test::AgentSocket;
using varno::qlin2test::ChildProcess;
using varno::qlin2test::SharedWorld;

namespace {

constexpr uint32_t Window = 4711;
using Words = std::array<uint32_t, 3>;

// "HH:MM:SS.mmm " followed by rest.
bool isRecordLine(const std::string& line, const std::string& rest)
{
    const std::string shape = "dd:dd:dd.ddd ";
    if (line.size() != shape.size() + rest.size() || line.compare(shape.size(), rest.size(), rest) != 0)
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i])
            return false;
    }
    return true;
}

class Qlinmon : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> qlinmon(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), QLINMON_PATH);
        return std::make_unique<ChildProcess>(arguments);
    }

    SharedWorld world;
};

TEST_F(Qlinmon, ListsThePublishedLines)
{
    auto agent = world.agent(Window, {"100", "2345"});
    auto tool = qlinmon({"lines"});
    EXPECT_EQ(tool->readLine(), " 0 100");
    EXPECT_EQ(tool->readLine(), " 1 2345");
    EXPECT_EQ(tool->finish(), 0);
}

TEST_F(Qlinmon, PrintsEachRecordOfTheWatchedLine)
{
    auto agent = world.agent(Window, {"100", "101"});
    auto tool = qlinmon({"--count", "2", "--interval", "5", "watch", "101"});
    for (int i = 0; i < 2000 && world.block().Slots[0].InUse == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(world.block().Slots[0].InUse, 1);

    agent->ask("put 0 9 other");
    agent->ask("put 1 5 0601234567");
    agent->ask("put 1 0 ");
    EXPECT_TRUE(isRecordLine(tool->readLine(), R"(line 1 [101] state 5 text "0601234567")"));
    EXPECT_TRUE(isRecordLine(tool->readLine(), R"(line 1 [101] state 0 text "")"));
    EXPECT_EQ(tool->finish(), 0);
    EXPECT_EQ(world.block().Slots[0].InUse, 0) << "the slot is closed again";
}

TEST_F(Qlinmon, SendsACommandThatTheAgentTakes)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100", "101"});
    const struct {
        std::vector<std::string> arguments;
        std::string taken;
    } cases[] = {
        {{"dial", "101", "0601*2#"}, "1 1:4:0601*2#"},
        {{"speaker", "101"}, "1 1:0:"},
        {{"mic", "101"}, "1 1:1:"},
        {{"volup", "101"}, "1 1:2:"},
        {{"voldown", "101"}, "1 1:3:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        std::vector<std::string> arguments{"--linger", "5000"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        auto tool = qlinmon(arguments);
        const auto words = endpoint.receive(10000);
        ASSERT_TRUE(words);
        EXPECT_EQ((*words)[0], QLIN_AGENT_MESSAGE);
        EXPECT_EQ((*words)[1], 1u);
        EXPECT_EQ(agent->ask("take " + std::to_string((*words)[2])), c.taken);
        EXPECT_EQ(tool->readLine().rfind("command ", 0), 0u);
        tool->kill();
    }
}

TEST_F(Qlinmon, RefusesWhatCannotWork)
{
    AgentSocket endpoint(Window);
    auto agent = world.agent(Window, {"100"});
    const struct {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{"dial", "100", "12a"}, 2},
        {{"dial", "100", std::string(31, '1')}, 2},
        {{"watch"}, 2},
        {{"--capacity", "31", "watch", "100"}, 2},
        {{"jump", "100"}, 2},
        {{"watch", "999"}, 1},
        {{"speaker", "999"}, 1},
    };
    for (const auto& c : cases) {
        auto tool = qlinmon(c.arguments);
        EXPECT_EQ(tool->finish(), c.status) << c.arguments[0] << " " << c.arguments.back();
    }
    EXPECT_EQ(endpoint.pendingSize(100), -1);
    EXPECT_EQ(qlinmon({"--help"})->finish(), 0);
}

}  // namespace
