#pragma once
#include <array>
#include <cstdint>
#include <memory>

#include "agent/core/Request.h"

namespace varno {

// What each packet sent asked, filed under its sequence number, so that a
// reply can be matched to its request and to the client that asked.
class TPendingTable {
public:
    // Files the request under seq; an entry still filed there (a packet 256
    // sequence numbers old that got no reply) is dropped.
    void Add(uint8_t seq, std::unique_ptr<TRequest> request);
    // Removes and returns the entry of seq; nullptr when there is none.
    std::unique_ptr<TRequest> Take(uint8_t seq);
    const TRequest* Find(uint8_t seq) const { return entries_[seq].get(); }
    int Count() const;
    // The client with `handle` has gone: the requests it still awaits
    // replies to are marked `noClient`, so that their replies go nowhere.
    void OrphanClient(int32_t handle, int32_t noClient);
    void Clear();

private:
    std::array<std::unique_ptr<TRequest>, 256> entries_;
};

}  // namespace varno
