#pragma once
// The fuzz targets' own check: a failed condition is a finding, so it stops
// the run at once with the condition's text.
#include <cstdio>
#include <cstdlib>

namespace varno::fuzz {

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace varno::fuzz

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::varno::fuzz::CheckFailed(#cond, __FILE__, __LINE__);                                                     \
    } while (0)
