#include "SharedWorld.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace varno::qlin2test {

std::string helperPath(const std::string& program) { return std::string(QLIN2_TEST_HELPER_DIR) + "/" + program; }

SharedWorld::SharedWorld()
{
    static std::atomic<int> counter{0};
    name_ = "/qlin2test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    setenv(QLIN_SHM_NAME_ENV, name_.c_str(), 1);
}

SharedWorld::~SharedWorld()
{
    shm_unlink(name_.c_str());
    shm_unlink((name_ + QLIN_LOCK_SUFFIX).c_str());
    unsetenv(QLIN_SHM_NAME_ENV);
}

std::unique_ptr<ChildProcess> SharedWorld::peer()
{
    return std::make_unique<ChildProcess>(std::vector<std::string>{helperPath("qlin2_peer")});
}

std::unique_ptr<ChildProcess> SharedWorld::agent(uint32_t window, const std::vector<std::string>& lines)
{
    auto process = peer();
    process->ask("init " + std::to_string(window) + " " + std::to_string(QLIN_AGENT_MESSAGE));
    for (size_t i = 0; i < lines.size(); ++i)
        process->ask("line " + std::to_string(i) + " " + lines[i]);
    return process;
}

varno::qlin2::TSharedBlock SharedWorld::block() const
{
    varno::qlin2::TSharedBlock copy{};
    const int fd = shm_open(name_.c_str(), O_RDONLY, 0);
    if (fd == -1)
        throw std::runtime_error("no shared block " + name_);
    void* address = mmap(nullptr, sizeof copy, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (address == MAP_FAILED)
        throw std::runtime_error("cannot map " + name_);
    std::memcpy(&copy, address, sizeof copy);
    munmap(address, sizeof copy);
    return copy;
}

bool SharedWorld::blockExists() const
{
    const int fd = shm_open(name_.c_str(), O_RDONLY, 0);
    if (fd == -1)
        return false;
    close(fd);
    return true;
}

}  // namespace varno::qlin2test
