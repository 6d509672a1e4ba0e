#include "agentq5/DurableFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

bool WriteNewFile(const std::string& path, const std::string& data, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        error = path + ": " + std::strerror(savedErrno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace varno::agentq5
