#include "agentq5/DebugLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

std::atomic<uint32_t> logLevel{0};

}  // namespace

void SetLogLevel(uint32_t level) { logLevel.store(level, std::memory_order_relaxed); }

bool LogEnabled(uint32_t level) { return level != 0 && logLevel.load(std::memory_order_relaxed) >= level; }

void LogLine(uint32_t level, const char* format, ...)
{
    if (!LogEnabled(level))
        return;
    char line[1024] = "agentq5: ";
    constexpr size_t prefix = 9;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(line + prefix, sizeof line - prefix - 1, format, args);
    va_end(args);
    if (written < 0)
        return;
    size_t length = prefix + static_cast<size_t>(written);
    if (length > sizeof line - 2)
        length = sizeof line - 2;
    // Text from files and from the PBX may hold anything: one log line stays one line.
    for (size_t i = prefix; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte < 0x20 || byte == 0x7f)
            line[i] = '?';
    }
    line[length++] = '\n';
    const char* from = line;
    while (length > 0) {
        const ssize_t done = ::write(STDERR_FILENO, from, length);
        if (done <= 0)
            return;
        from += done;
        length -= static_cast<size_t>(done);
    }
}

}  // namespace varno::agentq5
