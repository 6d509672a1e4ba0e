#include "tools/pbxsim/Timeline.h"

#include <algorithm>

namespace varno::pbxsim {

void Timeline::Add(double time, std::string text, Action action, double period, long repeats)
{
    if (period > 0 && period < MinPeriod)
        period = MinPeriod;
    if (repeats == 0)
        return;
    entries_.push_back(Entry{time, period, repeats, std::move(text), std::move(action), nextOrder_++});
}

std::optional<Timeline::Entry> Timeline::TakeNextDue(double now)
{
    auto next = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.Time < b.Time || (a.Time == b.Time && a.Order < b.Order);
    });
    if (next == entries_.end() || next->Time > now)
        return std::nullopt;
    Entry due = *next;
    if (next->Period > 0 && next->Remaining != 1) {
        next->Time += next->Period;
        if (next->Remaining > 0)
            --next->Remaining;
        next->Order = nextOrder_++;
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
                            [](const Entry& a, const Entry& b) { return a.Time < b.Time; })
        ->Time;
}

}  // namespace varno::pbxsim
