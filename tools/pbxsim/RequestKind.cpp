#include "tools/pbxsim/RequestKind.h"

#include <array>

namespace varno::pbxsim {
namespace {

constexpr std::array<std::string_view, RequestKindCount> kNames = {
    "config",   "identity", "lines", "states", "party", "command14", "slot",  "slotclear",
    "counters", "keys",     "bill",  "rebill", "read",  "write",     "other",
};

std::optional<KindSet> ParseOneKind(std::string_view word)
{
    if (word == "all")
        return AllKinds;
    for (int i = 0; i < RequestKindCount; ++i)
        if (kNames[i] == word)
            return KindSet(1) << i;
    if (word.size() != 1)
        return std::nullopt;
    switch (word[0]) {
    case 'C': return KindBit(RequestKind::Config);
    case 'I': return KindBit(RequestKind::Identity);
    case 'V': return KindBit(RequestKind::Lines);
    case 'A': return KindBit(RequestKind::States);
    case 'X': return KindBit(RequestKind::Command14);
    case 'S': return KindBit(RequestKind::Slot);
    case 'M': return KindBit(RequestKind::Counters);
    case 'U': return KindBit(RequestKind::Bill) | KindBit(RequestKind::Rebill);
    case 'Y': return KindBit(RequestKind::Party);
    case '#': return KindBit(RequestKind::Keys);
    default: return std::nullopt;
    }
}

}  // namespace

RequestKind ClassifyRequest(const uint8_t* payload, size_t length)
{
    if (length == 0)
        return RequestKind::Other;
    const uint8_t command = payload[0];
    if (command == 0 || command == 1) {
        if (length < 2)
            return command == 0 ? RequestKind::Read : RequestKind::Write;
        const uint8_t item = payload[1];
        if (command == 0) {
            switch (item) {
            case 1: return RequestKind::Slot;
            case 14: return RequestKind::Lines;
            case 22: return RequestKind::States;
            case 47: return RequestKind::Party;
            default: return RequestKind::Read;
            }
        }
        switch (item) {
        case 1: return RequestKind::SlotClear;
        case 17: return RequestKind::Counters;
        default: return RequestKind::Write;
        }
    }
    switch (command) {
    case 2: return RequestKind::Identity;
    case 4: return RequestKind::Bill;
    case 5: return RequestKind::Rebill;
    case 13: return RequestKind::Config;
    case 14: return RequestKind::Command14;
    case 18: return RequestKind::Keys;
    default: return RequestKind::Other;
    }
}

std::string_view KindName(RequestKind kind) { return kNames[static_cast<int>(kind)]; }

std::optional<KindSet> ParseKindSet(std::string_view word)
{
    KindSet set = 0;
    while (true) {
        const size_t comma = word.find(',');
        const auto one = ParseOneKind(word.substr(0, comma));
        if (!one)
            return std::nullopt;
        set |= *one;
        if (comma == std::string_view::npos)
            return set;
        word.remove_prefix(comma + 1);
    }
}

}  // namespace varno::pbxsim
