// The lock object beside the shared block: the mutex that guards the block and the owners of
// its slots. Only processes that load the library use it.
#pragma once

#include "qlin2/qlin2.h"

#include <pthread.h>

#include <cstdint>
#include <sys/types.h>

namespace varno::qlin2 {

struct LockArea {
    uint32_t Magic;                       // LockAreaMagic once the first attacher has set the area up
    uint32_t Size;                        // sizeof(LockArea) of the library that set it up
    pthread_mutex_t Mutex;                // robust, process-shared; held around every access to the block
    uint64_t NextAttachment;              // last attachment number handed out
    uint64_t SlotOwner[QLIN_SLOT_COUNT];  // attachment holding each slot, 0 for none
    uint64_t AgentAttachment;             // attachment that called QLIN_Init, 0 for none
};

inline constexpr uint32_t LockAreaMagic = 0x324e4c51;  // "QLN2"

// Byte offsets of the open-file-description locks on the lock object.
inline constexpr off_t AttachedByte = 0;        // shared lock held by every attached process
inline constexpr off_t GateByte = 1;            // exclusive lock held while a process attaches
inline constexpr off_t AttachmentBase = 65536;  // exclusive lock on AttachmentBase + number

}  // namespace varno::qlin2
