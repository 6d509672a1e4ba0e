#pragma once
#include "tools/pbxsim/FaultSet.h"
#include "tools/pbxsim/PbxResponder.h"
#include "tools/pbxsim/PbxState.h"
#include "tools/pbxsim/SimulatorHost.h"
#include "tools/pbxsim/StatementInterpreter.h"
#include "tools/pbxsim/Timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varno::pbxsim {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Join(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Keeps what statements ask of the running simulator.
class RecordingHost : public SimulatorHost {
public:
    struct Packet {
        uint8_t sequence;
        Bytes payload;
        bool corruptCrc;
    };
    void SendRaw(const Bytes& bytes) override { raw.push_back(bytes); }
    void SendPacket(uint8_t sequence, const Bytes& payload, bool corruptCrc) override
    {
        packets.push_back({sequence, payload, corruptCrc});
    }
    void Log(std::string_view tag, std::string_view text) override
    {
        log.push_back(std::string(tag) + " " + std::string(text));
    }
    std::string StatsLine() const override { return "STATS from-host"; }
    void Quit() override { quitAsked = true; }

    std::vector<Bytes> raw;
    std::vector<Packet> packets;
    std::vector<std::string> log;
    bool quitAsked = false;
};

// The simulator's state with the statement language and the responder over
// it, without a line.
class SimFixture : public ::testing::Test {
protected:
    // Carries out statements at scenario time `now`; each must be accepted.
    void Run(const std::vector<std::string>& lines, double now = 0)
    {
        for (const auto& line : lines) {
            const auto outcome = interpreter.Execute(line, now);
            ASSERT_TRUE(outcome.Ok) << line << ": " << outcome.Reply;
        }
    }
    Bytes Ask(const Bytes& request) { return responder.Answer(request.data(), request.size()).Reply; }
    PbxAnswer AskFull(const Bytes& request) { return responder.Answer(request.data(), request.size()); }

    PbxState state;
    FaultSet faults;
    Timeline timeline;
    RecordingHost host;
    StatementInterpreter interpreter{state, faults, timeline, host};
    PbxResponder responder{state};
};

}  // namespace varno::pbxsim
