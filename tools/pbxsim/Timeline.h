#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varno::pbxsim {

// Statements waiting for their time on the scenario clock (seconds).
class Timeline {
public:
    using Action = std::function<std::string(double now)>;

    struct Entry {
        double Time = 0;
        double Period = 0;    // repeats every `Period` seconds when above 0
        long Remaining = -1;  // repeats left; -1 for no end
        std::string Text;     // the statement, for the log
        Timeline::Action Action;
        unsigned long Order = 0;  // keeps entries of the same time in the order given
    };

    // Schedules an action. A period below MinPeriod is raised to it, so that
    // a repeating statement cannot starve the simulator.
    void Add(double time, std::string text, Action action, double period = 0, long repeats = -1);
    // Removes and returns the earliest occurrence due at `now`, if any; a
    // repeating entry comes back for its next time. Taken one at a time, so
    // that an entry added by a due statement is due in the same pass.
    std::optional<Entry> TakeNextDue(double now);
    std::optional<double> NextTime() const;
    size_t Size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

    static constexpr double MinPeriod = 0.01;

private:
    std::vector<Entry> entries_;
    unsigned long nextOrder_ = 0;
};

}  // namespace varno::pbxsim
