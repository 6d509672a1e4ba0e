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

// Holds the block's mutex for one call. A mutex left by a dead holder is taken over.
class BlockLock {
public:
    explicit BlockLock(const Attachment& attachment);
    ~BlockLock();
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

    // False when the library is not attached or the mutex is unusable; then nothing may be touched.
    bool Held() const { return mutex_ != nullptr; }

private:
    pthread_mutex_t* mutex_ = nullptr;
};

}  // namespace varno::qlin2
