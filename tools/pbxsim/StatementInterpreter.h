#pragma once
#include "tools/pbxsim/FaultSet.h"
#include "tools/pbxsim/PbxState.h"
#include "tools/pbxsim/SimulatorHost.h"
#include "tools/pbxsim/Timeline.h"

#include <string>
#include <string_view>

namespace varno::pbxsim {

// The one language of scenario files, timeline entries and the control
// channel: one statement per line (the statements are listed in the tool's
// README). A statement is parsed completely before anything of it is done,
// so a wrong one changes nothing; the timeline keeps the parsed form.
class StatementInterpreter {
public:
    struct Outcome {
        bool Ok = true;
        // The one answer line of the control channel: "OK", "ERR <why>", or
        // the data a query asked for ("STATS ...", "FAULTS ...").
        std::string Reply;
    };

    StatementInterpreter(PbxState& state, FaultSet& faults, Timeline& timeline, SimulatorHost& host)
        : state_(state), faults_(faults), timeline_(timeline), host_(host)
    {
    }

    // Parses the statement and, when it is sound, carries it out at `now`
    // (scenario seconds). Blank lines and lines starting with "#" or ";" are
    // accepted and do nothing.
    Outcome Execute(std::string_view line, double now);

    // Carries out the timeline entries that are due at `now`, each logged as
    // an "EVENT" line.
    void RunDue(double now);

    // Parses without carrying out: an action, or the reason it is refused.
    struct Parsed {
        Timeline::Action Action;
        std::string Error;
    };
    Parsed Parse(std::string_view line);

private:
    Parsed ParseWords(std::string_view line, const std::vector<std::string_view>& words);
    Parsed ParseConfig(const std::vector<std::string_view>& words);
    Parsed ParseIdentity(const std::vector<std::string_view>& words);
    Parsed ParseLine(const std::vector<std::string_view>& words);
    Parsed ParseSlot(std::string_view line, const std::vector<std::string_view>& words);
    Parsed ParseStatus(const std::vector<std::string_view>& words);
    Parsed ParseFault(const std::vector<std::string_view>& words);
    Parsed ParseSend(const std::vector<std::string_view>& words);
    Parsed ParseScheduled(std::string_view line, const std::vector<std::string_view>& words);

    PbxState& state_;
    FaultSet& faults_;
    Timeline& timeline_;
    SimulatorHost& host_;
};

}  // namespace varno::pbxsim
