#pragma once
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>

#include "agent/core/Request.h"

namespace varno {

// The ordered queue of requests waiting for the line, oldest first. Poll
// kinds are held once; a client (kind T) has at most one request waiting;
// kind # may repeat; a keyed request (Y of a line) is held once per key.
// At most MaxEntries entries: the oldest falls out.
class TRequestQueue {
public:
    static constexpr int MaxEntries = 100;

    struct Entry {
        QString Key;                       // the kind letter, "T" and the client's handle, or kind and key
        int32_t Argument = 0;              // builder argument of # and Y
        std::unique_ptr<TRequest> Record;  // bytes fixed when queued: a client's (T) or a command's (#)
        uint32_t Id = 0;                   // unique while the program runs, never 0
        char Kind() const { return Key.isEmpty() ? '\0' : Key.at(0).toLatin1(); }
    };

    // Returns false when nothing was added (a kind already waiting, or a
    // client request longer than a request record holds). A # request given
    // bytes goes out with exactly those bytes.
    bool QueueRequest(char kind, int32_t value, const uint8_t* data, int length);
    // One request of `kind` per `key` (its key is the kind and the number).
    // A newer one for the same key replaces the argument of the one waiting,
    // which keeps its place but becomes a new entry: a reply to what was
    // sent before does not take it.
    void QueueKeyed(char kind, int32_t key, int32_t argument);
    // How many entries of `kind` wait.
    int CountKind(char kind) const;

    bool Empty() const { return entries_.empty(); }
    int Count() const { return static_cast<int>(entries_.size()); }
    Entry* Head() { return entries_.empty() ? nullptr : &entries_.front(); }
    const Entry& At(int i) const { return entries_.at(static_cast<size_t>(i)); }
    bool Contains(const QString& key) const;
    void RemoveHead();
    // Removes the head only when it is the entry with this id.
    bool RemoveHeadIf(uint32_t id);
    // Removes the entry with this key, if any.
    bool Remove(const QString& key);
    // The client with `handle` has gone: its waiting request keeps its place
    // under `noClient`, so that a new request under the same handle neither
    // replaces it nor receives its reply.
    void OrphanClient(int32_t handle, int32_t noClient);
    void Clear() { entries_.clear(); }

private:
    uint32_t NextId();
    void Append(Entry entry);

    std::deque<Entry> entries_;
    uint32_t nextId_ = 1;
};

}  // namespace varno
