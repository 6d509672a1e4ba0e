#include <gtest/gtest.h>

#include "agent/core/EventLog.h"
#include "platform/clock/Clock.h"

using varno::TEventLog;

namespace {

// A date-time value for a time of day on some day.
double at(int h, int m, int s, int ms)
{
    return 45000.0 + ((h * 3600.0 + m * 60.0 + s) * 1000.0 + ms) / varno::MsPerDay;
}

struct FixedClock {
    explicit FixedClock(double t)
    {
        varno::SetClockForTest([t] { return t; });
    }
    ~FixedClock() { varno::SetClockForTest({}); }
};

void fill(TEventLog& log, int n)
{
    for (int i = 0; i < n; ++i)
        log.LogLine("TAG", QString::number(i));
}

}  // namespace

TEST(EventLog, LineLayoutAndStatus)
{
    FixedClock clock(at(9, 5, 7, 89));
    TEventLog log;
    log.LogLine(">COM", "Line list");
    log.LogLine("-OK-", "");
    ASSERT_EQ(log.Count(), 2);
    EXPECT_EQ(log.Line(0), "09:05:07.0  >COM Line list");
    EXPECT_EQ(log.Line(1), "09:05:07.0  -OK- ");
    EXPECT_EQ(log.StatusText(), "-OK-     ");

    log.ShowStatus("<LOC", "Configuration");
    EXPECT_EQ(log.StatusText(), "<LOC     Configuration");
    EXPECT_EQ(log.Count(), 2);  // status alone logs nothing
}

TEST(EventLog, TenthsAreCutNotRounded)
{
    struct Case {
        double t;
        const char* text;
    } cases[] = {{at(14, 3, 27, 599), "14:03:27.5"},
                 {at(0, 0, 0, 0), "00:00:00.0"},
                 {at(23, 59, 59, 999), "23:59:59.9"},
                 {at(12, 0, 0, 100), "12:00:00.1"}};
    for (const Case& c : cases)
        EXPECT_EQ(TEventLog::TimeText(c.t), c.text);
}

TEST(EventLog, CapDropsFirstLine)
{
    TEventLog log;
    fill(log, 501);
    EXPECT_EQ(log.Count(), 500);
    EXPECT_TRUE(log.Line(0).endsWith("TAG 1"));
    EXPECT_TRUE(log.Line(499).endsWith("TAG 500"));
    EXPECT_EQ(log.Selected(), 499);  // the untouched list follows its last line
}

TEST(EventLog, SelectionRules)
{
    {  // an earlier selection stays on its line as lines move up
        TEventLog log;
        fill(log, 500);
        log.Select(10);
        log.LogLine("TAG", "x");
        EXPECT_EQ(log.Count(), 500);
        EXPECT_EQ(log.Selected(), 9);
        EXPECT_TRUE(log.Line(9).endsWith("TAG 10"));
    }
    {  // below the cap, new lines leave an earlier selection alone
        TEventLog log;
        fill(log, 5);
        log.Select(2);
        log.LogLine("TAG", "x");
        EXPECT_EQ(log.Selected(), 2);
    }
    {  // the selected first line dropped: nothing selected, and new lines select nothing
        TEventLog log;
        fill(log, 500);
        log.Select(0);
        log.LogLine("TAG", "x");
        EXPECT_EQ(log.Selected(), -1);
        log.LogLine("TAG", "y");
        EXPECT_EQ(log.Selected(), -1);
        log.Select(log.Count() - 1);  // the user picks the last line again
        log.LogLine("TAG", "z");
        EXPECT_EQ(log.Selected(), log.Count() - 1);
    }
    {  // a cleared list is on its last line again
        TEventLog log;
        fill(log, 3);
        log.Select(0);
        log.Clear();
        log.LogLine("TAG", "x");
        EXPECT_EQ(log.Selected(), 0);
    }
}

TEST(EventLog, EchoWritesEveryLine)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    {
        FixedClock clock(at(1, 2, 3, 400));
        TEventLog log;
        log.SetEcho(stream);
        log.LogLine("----", "Start Varno Agent ----");
        log.ShowStatus("<LOC", "not logged");
        log.LogLine("!Err", "Linka čeká");
    }
    std::fclose(stream);
    EXPECT_EQ(std::string(buffer, size), "01:02:03.4  ---- Start Varno Agent ----\n01:02:03.4  !Err Linka čeká\n");
    std::free(buffer);
}
