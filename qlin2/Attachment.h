// This process's attachment to the shared block and its lock object, made when the library is
// loaded and dropped when it is unloaded.
#pragma once

#include "qlin2/LockArea.h"
#include "qlin2/SharedBlock.h"

#include <atomic>
#include <cstdint>
#include <sys/types.h>

namespace varno::qlin2 {

class Attachment {
public:
    // The attachment of this process.
    static Attachment& Process();

    // Maps the block and the lock object; the first process to attach zero-fills them.
    // On failure writes one line to standard error and stays detached.
    bool Attach();
    void Detach();

    bool Attached() const { return attached_.load(std::memory_order_acquire); }
    TSharedBlock& Block() const { return *block_; }
    LockArea& Locks() const { return *lockArea_; }  // the contents of the lock object
    const char* SharedName() const { return sharedName_; }
    uint64_t Number() const { return number_; }

    // True while the process that holds attachment `number` is alive (always for our own).
    bool Alive(uint64_t number) const;

private:
    bool AttachLocked(int lockFd);
    void ReleaseSlotsOfThisProcess();

    std::atomic<bool> attached_{false};
    TSharedBlock* block_ = nullptr;
    LockArea* lockArea_ = nullptr;
    int lockFd_ = -1;
    uint64_t number_ = 0;
    pid_t pid_ = 0;
    char sharedName_[QLIN_SHM_NAME_MAX + 1] = {};
    char lockName_[QLIN_SHM_NAME_MAX + sizeof(QLIN_LOCK_SUFFIX)] = {};
};

// How long a call may wait for the block's mutex.
enum class LockWait {
    Always,   // the clients' calls: until the holder lets go
    Briefly,  // the agent's calls and unloading: about 10 ms, or not at all for a while after a time-out
    StartUp,  // QLIN_Init: about a second, or not at all for a while after a time-out
};

// Holds the block's mutex for one call. A mutex left by a dead holder is taken over.
// A bounded wait that runs out makes every bounded wait of this process for the next second take
// the mutex only when it is free at once, so that a holder that has been stopped costs the agent
// one short wait a second rather than one on every call; the first bounded call that finds it
// free ends that second early.
class BlockLock {
public:
    BlockLock(const Attachment& attachment, LockWait wait);
    ~BlockLock();
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

    // False when the library is not attached, the mutex is unusable or another process held it
    // for longer than this call may wait; then nothing may be touched.
    bool Held() const { return mutex_ != nullptr; }
    // True when another process held the mutex for longer than this call may wait.
    bool TimedOut() const { return timedOut_; }

private:
    pthread_mutex_t* mutex_ = nullptr;
    bool timedOut_ = false;
};

}  // namespace varno::qlin2
