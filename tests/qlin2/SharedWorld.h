// One private set of shared objects for one test: its own QLIN2_SHM_NAME, so that tests can run
// side by side, and the processes that use it.
#pragma once

#include "ChildProcess.h"
#include "qlin2/SharedBlock.h"

#include <memory>
#include <string>
#include <vector>

namespace varno::qlin2test {

class SharedWorld {
public:
    SharedWorld();
    ~SharedWorld();

    const std::string& name() const { return name_; }

    // A process with the library loaded (the test helper qlin2_peer).
    std::unique_ptr<ChildProcess> peer();
    // A peer that has called QLIN_Init(window, QLIN_AGENT_MESSAGE) and published the lines.
    std::unique_ptr<ChildProcess> agent(uint32_t window, const std::vector<std::string>& lines);

    // A snapshot of the block as it is in shared memory, read without the library.
    varno::qlin2::TSharedBlock block() const;
    bool blockExists() const;

private:
    std::string name_;
};

std::string helperPath(const std::string& program);

}  // namespace varno::qlin2test
