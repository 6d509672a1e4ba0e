// The agent's side of a mailbox check, done as the agent does it: the records read only through
// their contract offsets, a list of (category, identifier) pairs and counters per telephone
// number that are set by full reads and added to by change reads.
#ifndef VARNO_TESTS_AGENTQ5_AGENTMODEL_H
#define VARNO_TESTS_AGENTQ5_AGENTMODEL_H

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varno::agentq5::test {

// A value of a record at a byte offset, as the agent reads it.
template <typename Value>
Value At(const void* record, size_t offset)
{
    Value value{};
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

struct LineCounters {
    int texts = 0;
    int faxes = 0;
    int voice = 0;
    bool operator==(const LineCounters&) const = default;
};

class AgentModel {
public:
    // One check; false when the fast test said nothing changed. A failed call is a test failure.
    bool Check();

    std::map<std::string, LineCounters> lines;  // by telephone number
    std::vector<std::pair<char, uint32_t>> messages;
    bool reloadAll = true;
    int reloads = 0;  // mailboxes that came with the reload event
};

}  // namespace varno::agentq5::test

#endif
