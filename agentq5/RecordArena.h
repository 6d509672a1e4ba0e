// The memory of one read's records: zeroed blocks, freed all at once when the read is done with.
#ifndef VARNO_AGENTQ5_RECORDARENA_H
#define VARNO_AGENTQ5_RECORDARENA_H

#include <cstddef>
#include <memory>
#include <vector>

namespace varno::agentq5 {

class RecordArena {
public:
    // A zeroed record; throws std::bad_alloc when no memory is left.
    template <typename Record>
    Record* New()
    {
        return static_cast<Record*>(Allocate(sizeof(Record)));
    }
    size_t Bytes() const { return total_; }

private:
    void* Allocate(size_t size);

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    size_t total_ = 0;
};

}  // namespace varno::agentq5

#endif
