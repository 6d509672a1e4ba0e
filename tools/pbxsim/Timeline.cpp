#include "tools/pbxsim/Timeline.h"

#include <algorithm>

namespace varno::pbxsim {

void Timeline::Add(double time, std::string text, Action action, double period, long repeats)
{
    if (period > 0 && period < MinPeriod)
        period = MinPeriod;
    if (repeats == 0)
        return;
    entries_.push_back(Entry {time, period, repeats, std::move(text), std::move(action), nextOrder_++});
}

std::optional<Timeline::Entry> Timeline::TakeNextDue(double now)
{
    auto next = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.time < b.time || (a.time == b.time && a.order < b.order);
    });
    if (next == entries_.end() || next->time > now)
        return std::nullopt;
    Entry due = *next;
    if (next->period > 0 && next->remaining != 1) {
        next->time += next->period;
        if (next->remaining > 0)
            --next->remaining;
        next->order = nextOrder_++;
    } else {
        entries_.erase(next);
    }
    return due;
}

std::optional<double> Timeline::NextTime() const
{
    if (entries_.empty())
        return std::nullopt;
    return std::min_element(entries_.begin(), entries_.end(),
                            [](const Entry& a, const Entry& b) { return a.time < b.time; })
        ->time;
}

}  // namespace varno::pbxsim
