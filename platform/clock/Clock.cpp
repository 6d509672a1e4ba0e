#include "platform/clock/Clock.h"

#include <ctime>

namespace varno {
namespace {

std::function<double()>& overrideClock()
{
    static std::function<double()> clock;
    return clock;
}

// Days from 1899-12-30 to the Unix epoch.
constexpr double kUnixEpochDays = 25569.0;

double systemNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    // The offset from UTC changes at most on the hour (summer time), so it
    // is looked up once a minute rather than on every reading: every log
    // line and every client request reads the clock.
    static time_t offsetMinute = -1;
    static long offsetSeconds = 0;
    const time_t minute = ts.tv_sec / 60;
    if (minute != offsetMinute) {
        tm local{};
        localtime_r(&ts.tv_sec, &local);
        offsetSeconds = local.tm_gmtoff;
        offsetMinute = minute;
    }
    const double seconds = static_cast<double>(ts.tv_sec + offsetSeconds) + ts.tv_nsec / 1e9;
    return kUnixEpochDays + seconds / 86400.0;
}

}  // namespace

double Now()
{
    const auto& clock = overrideClock();
    return clock ? clock() : systemNow();
}

void SetClockForTest(std::function<double()> clock) { overrideClock() = std::move(clock); }

}  // namespace varno
