// Turns the compared mailboxes into the records the agent walks: mailbox, folder and message
// records linked by their next pointers, all in one arena per read.
#ifndef VARNO_AGENTQ5_READBUILDER_H
#define VARNO_AGENTQ5_READBUILDER_H

#include "agentq5/GatewayConfig.h"
#include "agentq5/RecordArena.h"
#include "agentq5/Snapshot.h"
#include "agentq5/agentq5.h"

namespace varno::agentq5 {

class ReadBuilder {
public:
    explicit ReadBuilder(RecordArena& arena) : arena_(arena) {}

    // Appends the mailbox's record to the list and returns it.
    AQ5_Mailbox* Add(const MailboxConfig& config, const MailboxChange& change);
    AQ5_Mailbox* First() const { return first_; }
    size_t Messages() const { return messages_; }

private:
    AQ5_Folder* NewFolder(AQ5_Mailbox* mailbox, AQ5_Folder*& last, std::string_view name, char category);
    void AddGroups(AQ5_Mailbox* mailbox, AQ5_Folder*& last, const std::vector<MessageChange>& changes);
    // A message record at the end of the folder's list (lastMessage: the one before, or null).
    void AppendMessage(AQ5_Folder* folder, AQ5_Message*& lastMessage, uint32_t id, uint32_t flags,
                       std::string_view unique);

    RecordArena& arena_;
    AQ5_Mailbox* first_ = nullptr;
    AQ5_Mailbox* last_ = nullptr;
    size_t messages_ = 0;
};

}  // namespace varno::agentq5

#endif
