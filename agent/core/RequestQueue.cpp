#include "agent/core/RequestQueue.h"

#include <algorithm>
#include <cstring>

namespace varno {

bool TRequestQueue::Contains(const QString& key) const
{
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Key == key; });
}

bool TRequestQueue::Remove(const QString& key)
{
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Key == key; });
    if (it == entries_.end())
        return false;
    entries_.erase(it);
    return true;
}

bool TRequestQueue::QueueRequest(char kind, int32_t value, const uint8_t* data, int length)
{
    // A client's request and a command's key request go out with the bytes they were queued with.
    const bool carriesBytes = kind == 'T' || (kind == '#' && data);
    if (carriesBytes && (!data || length < 1 || length > TRequest::MaxPayload))
        return false;
    Entry entry;
    if (kind == 'T') {
        entry.Key = QStringLiteral("T") + QString::number(value);
        // A newer request of the same client replaces the one still waiting.
        Remove(entry.Key);
    } else {
        entry.Key = QString(QLatin1Char(kind));
        if (kind != '#' && Contains(entry.Key))
            return false;
        entry.Argument = value;
    }
    if (carriesBytes) {
        auto record = std::make_unique<TRequest>();
        record->Kind = kind;
        record->FirstByte = data[0];
        record->Handle = kind == 'T' ? value : 0;
        std::memcpy(record->Payload, data, static_cast<size_t>(length));
        record->PayloadLen = length;
        entry.Record = std::move(record);
    }
    Append(std::move(entry));
    return true;
}

void TRequestQueue::QueueKeyed(char kind, int32_t key, int32_t argument)
{
    const QString entryKey = QString(QLatin1Char(kind)) + QString::number(key);
    for (Entry& e : entries_) {
        if (e.Key == entryKey) {
            e.Argument = argument;
            e.Id = NextId();
            return;
        }
    }
    Entry entry;
    entry.Key = entryKey;
    entry.Argument = argument;
    Append(std::move(entry));
}

int TRequestQueue::CountKind(char kind) const
{
    return static_cast<int>(
        std::count_if(entries_.begin(), entries_.end(), [kind](const Entry& e) { return e.Kind() == kind; }));
}

uint32_t TRequestQueue::NextId()
{
    const uint32_t id = nextId_++;
    if (nextId_ == 0)
        nextId_ = 1;
    return id;
}

void TRequestQueue::Append(Entry entry)
{
    if (Count() >= MaxEntries)
        entries_.pop_front();
    entry.Id = NextId();
    entries_.push_back(std::move(entry));
}

void TRequestQueue::OrphanClient(int32_t handle, int32_t noClient)
{
    const QString orphanKey = QStringLiteral("T") + QString::number(noClient);
    for (Entry& entry : entries_) {
        if (entry.Kind() == 'T' && entry.Record && entry.Record->Handle == handle) {
            entry.Record->Handle = noClient;
            entry.Key = orphanKey;
        }
    }
}

void TRequestQueue::RemoveHead()
{
    if (!entries_.empty())
        entries_.pop_front();
}

bool TRequestQueue::RemoveHeadIf(uint32_t id)
{
    if (entries_.empty() || entries_.front().Id != id)
        return false;
    entries_.pop_front();
    return true;
}

}  // namespace varno
