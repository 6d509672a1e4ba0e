// The library's debug lines on standard error: one line per call, "agentq5: " first.
#ifndef VARNO_AGENTQ5_DEBUGLOG_H
#define VARNO_AGENTQ5_DEBUGLOG_H

#include <cstdint>

namespace varno::agentq5 {

inline constexpr uint32_t LogErrors = 1;
inline constexpr uint32_t LogEvents = 2;

void SetLogLevel(uint32_t level);
bool LogEnabled(uint32_t level);
// printf-style; the line is written with a single write so that lines of the sender thread and
// of the agent's thread never interleave.
void LogLine(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace varno::agentq5

#endif
