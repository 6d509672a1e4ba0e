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
    Entry entry;
    if (kind == 'T') {
        if (!data || length < 1 || length > TRequest::MaxPayload)
            return false;
        entry.Key = QStringLiteral("T") + QString::number(value);
        // A newer request of the same client replaces the one still waiting.
        Remove(entry.Key);
        auto record = std::make_unique<TRequest>();
        record->Kind = 'T';
        record->FirstByte = data[0];
        record->Handle = value;
        std::memcpy(record->Payload, data, static_cast<size_t>(length));
        record->PayloadLen = length;
        entry.Record = std::move(record);
    } else {
        entry.Key = QString(QLatin1Char(kind));
        if (kind != '#' && Contains(entry.Key))
            return false;
        entry.Argument = value;
    }
    if (Count() >= MaxEntries)
        entries_.pop_front();
    entry.Id = nextId_++;
    if (nextId_ == 0)
        nextId_ = 1;
    entries_.push_back(std::move(entry));
    return true;
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
