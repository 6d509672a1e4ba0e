// One agent process writing a hundred thousand records while five client processes drain their
// rings and send commands back. Every record must arrive intact and in order, losses only where
// a ring overflowed, and every command must reach the agent once, in order.
#include "SharedWorld.h"

#include <gtest/gtest.h>

#include <sstream>

using varno::qlin2test::ChildProcess;
using varno::qlin2test::helperPath;
using varno::qlin2test::SharedWorld;

namespace {

constexpr long Records = 100000;
constexpr int Lines = 4;  // line 3 has no client: its records are dropped
constexpr long CommandsPerClient = 500;

TEST(Qlin2Stress, RecordsAndCommandsSurviveConcurrentProcesses)
{
    SharedWorld world;
    const std::string stress = helperPath("qlin2_stress");
    ChildProcess agent({stress, "agent", "4711", std::to_string(Records), std::to_string(Lines)});
    ASSERT_EQ(agent.readLine(), "ready");

    const struct {
        int line;
        int capacity;
    } clients[] = {{0, 30}, {0, 30}, {1, 8}, {1, 3}, {2, 1}};
    std::vector<std::unique_ptr<ChildProcess>> readers;
    for (const auto& c : clients) {
        readers.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
            stress, "reader", std::to_string(c.line), std::to_string(c.capacity), std::to_string(CommandsPerClient)}));
        ASSERT_EQ(readers.back()->readLine().rfind("slot ", 0), 0u);
    }

    agent.send("go");
    const long perLine = Records / Lines;
    ASSERT_EQ(agent.readLine(60000), "written " + std::to_string(perLine));

    long lostInAll = 0;
    for (size_t i = 0; i < readers.size(); ++i) {
        const std::string summary = readers[i]->ask("stop " + std::to_string(perLine - 1), 60000);
        SCOPED_TRACE("client " + std::to_string(i) + ": " + summary);
        std::istringstream in(summary);
        std::string word;
        long received = -1, lost = -1, errors = -1;
        in >> word >> received >> word >> lost >> word >> errors;
        EXPECT_EQ(errors, 0);
        EXPECT_EQ(received + lost, perLine);
        EXPECT_GE(received, clients[i].capacity);
        lostInAll += lost;
        std::cout << "client " << i << " (capacity " << clients[i].capacity << "): " << summary << std::endl;
    }
    std::cout << "records lost to overrun in all rings: " << lostInAll << " of " << perLine * 5 << std::endl;

    EXPECT_EQ(agent.ask("stop", 60000), "commands 500 500 500 500 500 errors 0");
    for (auto& reader : readers)
        EXPECT_EQ(reader->finish(), 0);
    EXPECT_EQ(agent.finish(), 0);
}

}  // namespace
