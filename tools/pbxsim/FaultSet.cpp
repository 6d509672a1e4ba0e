#include "tools/pbxsim/FaultSet.h"

#include "tools/pbxsim/ByteText.h"

#include <array>

namespace varno::pbxsim {
namespace {

constexpr std::array<std::string_view, 7> kTypeNames = {"silent", "delay", "twice", "crc", "e0", "e0only", "noise"};

}  // namespace

std::string_view FaultTypeName(FaultType type) { return kTypeNames[static_cast<int>(type)]; }

std::optional<FaultType> ParseFaultType(std::string_view word)
{
    for (size_t i = 0; i < kTypeNames.size(); ++i)
        if (kTypeNames[i] == word)
            return static_cast<FaultType>(i);
    return std::nullopt;
}

std::string DescribeKinds(KindSet kinds)
{
    if ((kinds & AllKinds) == AllKinds)
        return "all";
    std::string out;
    for (int i = 0; i < RequestKindCount; ++i) {
        if (!(kinds & (KindSet(1) << i)))
            continue;
        if (!out.empty())
            out += ',';
        out += KindName(static_cast<RequestKind>(i));
    }
    return out;
}

std::string Fault::Describe() const
{
    std::string out(FaultTypeName(Type));
    if (Type == FaultType::Delay)
        out += " " + std::to_string(DelayMs);
    if (Type == FaultType::Noise)
        for (const uint8_t b : Noise)
            out += " 0x" + HexBytes(&b, 1);
    if ((Kinds & AllKinds) != AllKinds)
        out += " on " + DescribeKinds(Kinds);
    if (Remaining >= 0)
        out += " count " + std::to_string(Remaining);
    return out;
}

void FaultSet::Add(Fault fault)
{
    if (fault.Remaining != 0)
        faults_.push_back(std::move(fault));
}

size_t FaultSet::Clear(std::optional<FaultType> type, KindSet kinds)
{
    const size_t before = faults_.size();
    std::erase_if(faults_, [&](const Fault& f) { return (!type || f.Type == *type) && (f.Kinds & ~kinds) == 0; });
    return before - faults_.size();
}

FaultEffects FaultSet::Apply(RequestKind kind)
{
    FaultEffects effects;
    for (Fault& fault : faults_) {
        if (!(fault.Kinds & KindBit(kind)))
            continue;
        switch (fault.Type) {
        case FaultType::Silent: effects.Silent = true; break;
        case FaultType::Delay: effects.DelayMs += fault.DelayMs; break;
        case FaultType::Twice: effects.Twice = true; break;
        case FaultType::Crc: effects.CorruptCrc = true; break;
        case FaultType::E0: effects.E0Before = true; break;
        case FaultType::E0Only: effects.E0Instead = true; break;
        case FaultType::Noise: effects.Noise.insert(effects.Noise.end(), fault.Noise.begin(), fault.Noise.end()); break;
        }
        std::string applied(FaultTypeName(fault.Type));
        if (fault.Type == FaultType::Delay)
            applied += " " + std::to_string(fault.DelayMs);
        effects.Applied.push_back(std::move(applied));
        if (fault.Remaining > 0)
            --fault.Remaining;
    }
    std::erase_if(faults_, [](const Fault& f) { return f.Remaining == 0; });
    return effects;
}

std::string FaultSet::Describe() const
{
    if (faults_.empty())
        return "none";
    std::string out;
    for (const Fault& fault : faults_) {
        if (!out.empty())
            out += "; ";
        out += fault.Describe();
    }
    return out;
}

}  // namespace varno::pbxsim
