#pragma once
#include "tools/pbxsim/RequestKind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varno::pbxsim {

// The ways the simulated PBX can misbehave when it answers.
enum class FaultType : uint8_t {
    Silent,  // no answer at all
    Delay,   // the answer comes late
    Twice,   // the answer is sent twice
    Crc,     // the answer's CRC is wrong
    E0,      // the byte 0xE0 goes out before the answer
    E0Only,  // the byte 0xE0 goes out instead of the answer
    Noise,   // stray bytes go out before the answer
};

std::string_view FaultTypeName(FaultType type);  // "silent", "delay", ...
std::optional<FaultType> ParseFaultType(std::string_view word);

struct Fault {
    FaultType Type = FaultType::Silent;
    KindSet Kinds = AllKinds;    // the request kinds it acts on
    long Remaining = -1;         // requests it still acts on; -1 until cleared
    int DelayMs = 0;             // Delay
    std::vector<uint8_t> Noise;  // Noise

    // The fault in the form of its statement ("delay 500 on states count 2").
    std::string Describe() const;
};

// What the faults make of one answer.
struct FaultEffects {
    bool Silent = false;
    int DelayMs = 0;
    bool Twice = false;
    bool CorruptCrc = false;
    bool E0Before = false;
    bool E0Instead = false;
    std::vector<uint8_t> Noise;
    std::vector<std::string> Applied;  // one text per fault that acted, for the log

    bool Any() const { return !Applied.empty(); }
};

// The faults in force. Every fault that covers a request's kind acts on it
// and, when it was given a count, uses up one of its requests; a used-up
// fault leaves the set. Delays of several faults add up; silence wins over
// everything else.
class FaultSet {
public:
    void Add(Fault fault);
    // Removes the faults of that type (every type when none is given) that
    // act on none but the given kinds: clearing "on states" leaves a fault
    // on every kind in force. Returns how many went.
    size_t Clear(std::optional<FaultType> type, KindSet kinds = AllKinds);
    FaultEffects Apply(RequestKind kind);
    bool Empty() const { return faults_.empty(); }
    // The faults in force, "; " between them; "none" when there is none.
    std::string Describe() const;

private:
    std::vector<Fault> faults_;
};

// "all" or the kind names joined by commas.
std::string DescribeKinds(KindSet kinds);

}  // namespace varno::pbxsim
