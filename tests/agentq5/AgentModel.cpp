#include "tests/agentq5/AgentModel.h"

#include "agentq5/agentq5.h"

#include <gtest/gtest.h>

#include <cstring>

namespace varno::agentq5::test {
namespace {

std::string TextAt(const void* record, size_t offset) { return static_cast<const char*>(record) + offset; }

}  // namespace

bool AgentModel::Check()
{
    int32_t mode = AQ5_MODE_ALL;
    if (!reloadAll) {
        if (RychlyTestZmenVeSchrankach() == 0)
            return false;
        mode = AQ5_MODE_CHANGES;
    }
    AQ5_Params params{};
    params.Mode = mode;
    AQ5_Mailbox* first = nullptr;
    const int result = NactiZmenyVeSchrankach(&first, &params);
    EXPECT_EQ(result, 0);
    if (result != 0) {
        reloadAll = true;
        return true;
    }
    if (mode == AQ5_MODE_ALL) {
        for (auto& [phone, counters] : lines)
            counters = LineCounters{};
    }
    for (const void* mailbox = first; mailbox != nullptr; mailbox = At<const void*>(mailbox, 321)) {
        const void* current = mailbox;
        const int32_t event = At<int32_t>(mailbox, 109);
        int oneResult = 0;
        int32_t oneMode = mode;
        if (event == AQ5_EVENT_RELOAD) {
            ++reloads;
            params.Mode = AQ5_MODE_ALL;
            oneMode = AQ5_MODE_ALL;
            AQ5_Mailbox* fresh = const_cast<AQ5_Mailbox*>(static_cast<const AQ5_Mailbox*>(mailbox));
            oneResult = NactiZmenyVeSchrance(&fresh, &params, fresh);
            current = fresh;
        }
        LineCounters counted;
        if (current != nullptr && oneResult == 0) {
            for (const void* folder = At<const void*>(current, 113); folder != nullptr;
                 folder = At<const void*>(folder, 11)) {
                char category = At<char>(folder, 0);
                int count = 0;
                if (oneMode == AQ5_MODE_ALL) {
                    count = At<uint16_t>(folder, 1);
                    for (const void* message = At<const void*>(folder, 3); message != nullptr;
                         message = At<const void*>(message, 54))
                        messages.emplace_back(category, At<uint32_t>(message, 8));
                } else {
                    for (const void* message = At<const void*>(folder, 3); message != nullptr;
                         message = At<const void*>(message, 54)) {
                        const uint32_t id = At<uint32_t>(message, 8);
                        if ((At<uint32_t>(message, 4) & 6) != 0) {
                            for (auto it = messages.begin(); it != messages.end(); ++it) {
                                if (it->second == id) {
                                    category = it->first;
                                    messages.erase(it);
                                    --count;
                                    break;
                                }
                            }
                        } else {
                            ++count;
                            messages.emplace_back(category, id);
                        }
                    }
                }
                if (category == 'F')
                    counted.faxes += count;
                else if (category == 'H')
                    counted.voice += count;
                else
                    counted.texts += count;
            }
        } else {
            ADD_FAILURE() << "re-read of mailbox " << TextAt(mailbox, 9) << " failed with " << oneResult;
        }
        LineCounters& line = lines[TextAt(mailbox, 69)];
        if (mode == AQ5_MODE_ALL || event == AQ5_EVENT_RELOAD) {
            line = counted;
        } else {
            line.texts += counted.texts;
            line.faxes += counted.faxes;
            line.voice += counted.voice;
        }
        if (event == AQ5_EVENT_RELOAD) {
            AQ5_Mailbox* fresh = const_cast<AQ5_Mailbox*>(static_cast<const AQ5_Mailbox*>(current));
            PotvrdPreneseniZmenVeSchrance(&fresh);
            params.Mode = mode;
        }
    }
    PotvrdPreneseniZmenVeSchrankach(&first);
    reloadAll = false;
    return true;
}

}  // namespace varno::agentq5::test
