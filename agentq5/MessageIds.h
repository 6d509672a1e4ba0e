// Message identifiers: a 32-bit hash of the mailbox and the message's unique name, made unique
// among all messages the library has reported and not yet seen confirmed gone.
#ifndef VARNO_AGENTQ5_MESSAGEIDS_H
#define VARNO_AGENTQ5_MESSAGEIDS_H

#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace varno::agentq5 {

class MessageIds {
public:
    // FNV-1a over the mailbox's index (four bytes, little end first) and the unique name.
    static uint32_t Hash(uint32_t mailbox, std::string_view unique);

    // The hash, or on a clash the next free number (never 0); taken until Release.
    uint32_t Assign(uint32_t mailbox, std::string_view unique);
    void Release(uint32_t id) { taken_.erase(id); }
    bool Taken(uint32_t id) const { return taken_.count(id) != 0; }
    size_t Count() const { return taken_.size(); }
    void Clear() { taken_.clear(); }

private:
    std::unordered_set<uint32_t> taken_;
};

}  // namespace varno::agentq5

#endif
