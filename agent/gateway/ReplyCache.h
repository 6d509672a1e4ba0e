#pragma once
#include <array>
#include <cstdint>
#include <memory>

namespace varno {

// One remembered answer of the PBX to a read request.
struct TCacheEntry {
    static constexpr int FieldSize = 256;

    // The request as stored; its length is not kept. Bytes past the stored
    // request are zero, so that an entry never matches on what an earlier
    // occupant of its slot left behind.
    uint8_t Request[FieldSize];
    uint8_t Reply[FieldSize];  // without the sequence byte
    int32_t ReplyLen;
    double Stored;     // date-time when the entry was written
    int32_t Lifetime;  // ms for which the entry may answer a client
};

// The reply cache: a fixed ring of entries that answers repeated read
// requests of TCP/IP clients without a PBX exchange, for as long as the
// data of the item read may be taken as current.
class TReplyCache {
public:
    // Lifetime in ms by item number. Entry 48 is only the freshness limit of
    // the command-14 reply; a read of item 48 or above lives LongItemLifetime.
    static constexpr std::array<int32_t, 49> CacheLifetime = {
        3600000,                                                                                     // 0
        2000,                                                                                        // 1
        60000,   60000,                                                                              // 2, 3
        120000,  120000, 120000, 120000, 120000, 120000, 120000,                                     // 4 to 10
        5000,                                                                                        // 11
        60000,   60000,  60000,  60000,                                                              // 12 to 15
        2000,                                                                                        // 16
        60000,   60000,  60000,  60000,  60000,                                                      // 17 to 21
        300,                                                                                         // 22
        60000,   60000,  60000,  60000,  60000,  60000,  60000,  60000, 60000, 60000, 60000, 60000,  // 23 to 34
        60000,   60000,  60000,  60000,  60000,  60000,  60000,  60000, 60000, 60000, 60000, 60000,  // 35 to 46
        300,                                                                                         // 47
        300,                                                                                         // 48
    };
    static constexpr int32_t LongItemLifetime = 10;
    // More entries than any use of a linearly searched cache could want are
    // refused like an allocation that failed.
    static constexpr int MaxCapacity = 1 << 20;

    // The lifetime of a stored read request. A request without an item byte
    // is malformed; its answer is kept no longer than that of an unknown item.
    static int32_t LifetimeOf(const uint8_t* request, int length);

    // Whether data stored at `stored` is still good at `now` for `lifetime`
    // ms: age < lifetime, or age <= lifetime when `inclusive`. Ages are whole
    // milliseconds, the clock's resolution. A negative age (the clock was set
    // back) counts as stale, so that a jump back cannot stretch a lifetime.
    static bool Fresh(double stored, double now, int32_t lifetime, bool inclusive);

    // Allocates `capacity` entries once. False when they could not be had
    // (or more than MaxCapacity were asked for); the cache is then off
    // (capacity 0). A capacity of 0 or less is off.
    bool Allocate(int capacity);
    void Release();
    int Capacity() const { return capacity_; }

    // Newest first: the first entry whose first `length` request bytes equal
    // the request, checking freshness when asked; nullptr when none.
    const TCacheEntry* Lookup(const uint8_t* request, int length, bool checkFresh, double now) const;

    // Keeps the reply to a read request (first byte 0; others are ignored).
    // An entry with the same request is overwritten in place, otherwise the
    // slot CacheNext takes it. A request or reply longer than a field holds
    // is not stored, and an entry already held for that request expires: its
    // answer is older than the one the PBX just gave.
    void Store(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength, double now);

    // Empties the cache; the ring position stays.
    void Flush() { CacheCount = 0; }

    const TCacheEntry& Slot(int index) const { return entries_[index]; }

    int CacheCount = 0;  // entries in use
    int CacheNext = 0;   // the slot the next new entry takes

private:
    std::unique_ptr<TCacheEntry[]> entries_;
    int capacity_ = 0;
};

}  // namespace varno
