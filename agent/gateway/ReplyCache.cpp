#include "agent/gateway/ReplyCache.h"

#include <cmath>
#include <cstring>
#include <new>

#include "platform/clock/Clock.h"

namespace varno {

static_assert(TReplyCache::CacheLifetime[22] == 300 && TReplyCache::CacheLifetime[23] == 60000 &&
                  TReplyCache::CacheLifetime[46] == 60000 && TReplyCache::CacheLifetime[47] == 300 &&
                  TReplyCache::CacheLifetime[48] == 300,
              "every item has its lifetime");

int32_t TReplyCache::LifetimeOf(const uint8_t* request, int length)
{
    if (length < 2)
        return LongItemLifetime;
    const int item = request[1];
    return item < 48 ? CacheLifetime[static_cast<size_t>(item)] : LongItemLifetime;
}

bool TReplyCache::Fresh(double stored, double now, int32_t lifetime, bool inclusive)
{
    const long long age = std::llround(MsBetween(stored, now));
    if (age < 0)
        return false;
    return inclusive ? age <= lifetime : age < lifetime;
}

bool TReplyCache::Allocate(int capacity)
{
    Release();
    if (capacity <= 0)
        return true;
    if (capacity > MaxCapacity)
        return false;
    // The entries are written before they are read, so the array is left
    // uninitialised: a large capacity costs only what is used.
    entries_.reset(new (std::nothrow) TCacheEntry[static_cast<size_t>(capacity)]);
    if (!entries_)
        return false;
    capacity_ = capacity;
    return true;
}

void TReplyCache::Release()
{
    entries_.reset();
    capacity_ = 0;
    CacheCount = 0;
    CacheNext = 0;
}

const TCacheEntry* TReplyCache::Lookup(const uint8_t* request, int length, bool checkFresh, double now) const
{
    // Longer than a stored request can be: nothing matches it. An empty
    // request is no request.
    if (length <= 0 || length > TCacheEntry::FieldSize)
        return nullptr;
    int i = CacheNext;
    for (int k = 0; k < CacheCount; ++k) {
        i = (i + capacity_ - 1) % capacity_;
        const TCacheEntry& e = entries_[i];
        if (std::memcmp(e.Request, request, static_cast<size_t>(length)) != 0)
            continue;
        if (checkFresh && !Fresh(e.Stored, now, e.Lifetime, false))
            continue;
        return &e;
    }
    return nullptr;
}

void TReplyCache::Store(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength, double now)
{
    if (capacity_ == 0 || requestLength <= 0 || request[0] != 0)
        return;
    TCacheEntry* same = const_cast<TCacheEntry*>(Lookup(request, requestLength, false, now));
    if (requestLength > TCacheEntry::FieldSize || replyLength > TCacheEntry::FieldSize || replyLength <= 0) {
        // Nothing to answer with, or more than a field holds.
        if (same)
            same->Lifetime = 0;
        return;
    }
    TCacheEntry& e = same ? *same : entries_[CacheNext];
    std::memcpy(e.Request, request, static_cast<size_t>(requestLength));
    std::memset(e.Request + requestLength, 0, static_cast<size_t>(TCacheEntry::FieldSize - requestLength));
    std::memcpy(e.Reply, reply, static_cast<size_t>(replyLength));
    e.ReplyLen = replyLength;
    e.Lifetime = LifetimeOf(request, requestLength);
    e.Stored = now;
    if (!same) {
        CacheNext = (CacheNext + 1) % capacity_;
        if (CacheCount < capacity_)
            ++CacheCount;
    }
}

}  // namespace varno
