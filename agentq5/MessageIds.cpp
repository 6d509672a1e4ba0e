#include "agentq5/MessageIds.h"

namespace varno::agentq5 {

uint32_t MessageIds::Hash(uint32_t mailbox, std::string_view unique)
{
    uint32_t hash = 2166136261U;
    const auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 16777619U;
    };
    for (int shift = 0; shift < 32; shift += 8)
        mix(static_cast<unsigned char>(mailbox >> shift));
    for (const char c : unique)
        mix(static_cast<unsigned char>(c));
    return hash;
}

uint32_t MessageIds::Assign(uint32_t mailbox, std::string_view unique)
{
    uint32_t id = Hash(mailbox, unique);
    // 0 reads as "no message" too easily; it is never handed out.
    while (id == 0 || taken_.count(id) != 0)
        ++id;
    taken_.insert(id);
    return id;
}

}  // namespace varno::agentq5
