#include "agent/core/PendingTable.h"

namespace varno {

void TPendingTable::Add(uint8_t seq, std::unique_ptr<TRequest> request) { entries_[seq] = std::move(request); }

std::unique_ptr<TRequest> TPendingTable::Take(uint8_t seq) { return std::move(entries_[seq]); }

int TPendingTable::Count() const
{
    int n = 0;
    for (const auto& e : entries_)
        n += e ? 1 : 0;
    return n;
}

void TPendingTable::OrphanClient(int32_t handle, int32_t noClient)
{
    for (auto& e : entries_) {
        if (e && e->Kind == 'T' && e->Handle == handle)
            e->Handle = noClient;
    }
}

void TPendingTable::Clear()
{
    for (auto& e : entries_)
        e.reset();
}

}  // namespace varno
