// The agent's work on the block: done by its calls when they get the block's lock, kept in the
// agent's process when they cannot, and done by the next of its calls that gets the lock.
#pragma once

#include "qlin2/Attachment.h"
#include "qlin2/SharedBlock.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace varno::qlin2 {

// LineNameCount within 0...56, whatever a foreign writer left in the block.
int32_t LineNameCount(const TSharedBlock& block);

// What QLIN_Init and QLIN_Line do to the block; the caller holds the block's lock.
void StartAgent(Attachment& attachment, uint32_t window, uint32_t message);
void PublishLineName(TSharedBlock& block, int index, const char (&name)[QLIN_LINE_NAME_SIZE]);

// What the agent's calls could not do while another process held the block's lock.
class AgentBacklog {
public:
    static AgentBacklog& Process();

    void KeepInit(uint32_t window, uint32_t message);
    // A QLIN_DeInit that could not have the lock drops a QLIN_Init that still waits.
    void DropInit();
    void KeepLineName(int index, const char (&name)[QLIN_LINE_NAME_SIZE]);
    // A state record for line that no slot got.
    void KeepLostState(int32_t line);

    // Does what was kept as the calls would have done it in their order; the caller holds the
    // block's lock.
    void CarryOut(Attachment& attachment);

private:
    std::mutex mutex_;
    std::atomic<bool> waiting_{false};  // something is kept; read without mutex_ on every call
    bool initKept_ = false;
    uint32_t window_ = 0;
    uint32_t message_ = 0;
    uint64_t namesKept_ = 0;     // bit i: a name for line i waits
    uint64_t namesCounted_ = 0;  // those kept after the last kept QLIN_Init: they raise LineNameCount
    char names_[QLIN_MAX_LINES][QLIN_LINE_NAME_SIZE] = {};
    int32_t lostStates_[QLIN_MAX_LINES] = {};
};

}  // namespace varno::qlin2
