#include "agent/gateway/FileLimit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>

namespace varno {

bool RaiseFileLimit(long long* limit, QString* error)
{
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (limit)
        *limit = rl.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long long>(rl.rlim_cur);
    if (rl.rlim_cur == rl.rlim_max)
        return true;
    rlimit raised = rl;
    raised.rlim_cur = rl.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (limit)
        *limit = raised.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long long>(raised.rlim_cur);
    return true;
}

}  // namespace varno
