#include "tools/pbxsim/FaultSet.h"

#include "tools/pbxsim/ByteText.h"

#include <array>

namespace varno::pbxsim {
namespace {

constexpr std::array<std::string_view, 7> TypeNames = {"silent", "delay", "twice", "crc", "e0", "e0only", "noise"};

}  // namespace

std::string_view FaultTypeName(FaultType type) { return TypeNames[static_cast<int>(type)]; }

std::optional<FaultType> ParseFaultType(std::string_view word)
{
    for (size_t i = 0; i < TypeNames.size(); ++i)
        if (TypeNames[i] == word)
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
    std::string out(FaultTypeName(type));
    if (type == FaultType::Delay)
        out += " " + std::to_string(delayMs);
    if (type == FaultType::Noise)
        for (const uint8_t b : noise)
            out += " 0x" + HexBytes(&b, 1);
    if ((kinds & AllKinds) != AllKinds)
        out += " on " + DescribeKinds(kinds);
    if (remaining >= 0)
        out += " count " + std::to_string(remaining);
    return out;
}

void FaultSet::Add(Fault fault)
{
    if (fault.remaining != 0)
        faults_.push_back(std::move(fault));
}

size_t FaultSet::Clear(std::optional<FaultType> type, KindSet kinds)
{
    const size_t before = faults_.size();
    std::erase_if(faults_, [&](const Fault& f) { return (!type || f.type == *type) && (f.kinds & ~kinds) == 0; });
    return before - faults_.size();
}

FaultEffects FaultSet::Apply(RequestKind kind)
{
    FaultEffects effects;
    for (Fault& fault : faults_) {
        if (!(fault.kinds & KindBit(kind)))
            continue;
        switch (fault.type) {
        case FaultType::Silent: effects.silent = true; break;
        case FaultType::Delay: effects.delayMs += fault.delayMs; break;
        case FaultType::Twice: effects.twice = true; break;
        case FaultType::Crc: effects.corruptCrc = true; break;
        case FaultType::E0: effects.e0Before = true; break;
        case FaultType::E0Only: effects.e0Instead = true; break;
        case FaultType::Noise: effects.noise.insert(effects.noise.end(), fault.noise.begin(), fault.noise.end()); break;
        }
        std::string applied(FaultTypeName(fault.type));
        if (fault.type == FaultType::Delay)
            applied += " " + std::to_string(fault.delayMs);
        effects.applied.push_back(std::move(applied));
        if (fault.remaining > 0)
            --fault.remaining;
    }
    std::erase_if(faults_, [](const Fault& f) { return f.remaining == 0; });
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
