#include "agentq5/RecordArena.h"

#include <cstring>

namespace varno::agentq5 {

void* RecordArena::Allocate(size_t size)
{
    // The records are packed (alignment 1), so they lie back to back.
    constexpr size_t blockSize = 256 * 1024;
    if (blocks_.empty() || capacity_ - used_ < size) {
        const size_t capacity = size > blockSize ? size : blockSize;
        blocks_.push_back(std::make_unique<std::byte[]>(capacity));  // value-initialised: zeroed
        used_ = 0;
        capacity_ = capacity;
    }
    std::byte* record = blocks_.back().get() + used_;
    used_ += size;
    total_ += size;
    return record;
}

}  // namespace varno::agentq5
