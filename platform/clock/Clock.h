#pragma once
#include <functional>

namespace varno {

// Date-time values are days since 1899-12-30 00:00 local time, as doubles,
// the form in which reply times, interest times and cache times are kept.
constexpr double MsPerDay = 86400000.0;

// The current local date-time. Every part of the agent reads time here, so
// that tests can move it.
double Now();

// Replaces the clock; an empty function restores the system clock.
void SetClockForTest(std::function<double()> clock);

// Milliseconds from `earlier` to `later` (both date-time values).
inline double MsBetween(double earlier, double later) { return (later - earlier) * MsPerDay; }

}  // namespace varno
