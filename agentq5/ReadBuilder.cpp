#include "agentq5/ReadBuilder.h"

#include "agentq5/Utf8Text.h"

#include <limits>

namespace varno::agentq5 {
namespace {

// A folder record counts at most this many messages; a larger folder takes several records of
// the same name and category, which the agent adds up.
constexpr size_t folderLimit = std::numeric_limits<uint16_t>::max();

}  // namespace

AQ5_Folder* ReadBuilder::NewFolder(AQ5_Mailbox* mailbox, AQ5_Folder*& last, std::string_view name, char category)
{
    auto* folder = arena_.New<AQ5_Folder>();
    folder->Category = category;
    CopyField(folder->Name, name);
    if (last == nullptr)
        mailbox->First = folder;
    else
        last->Next = folder;
    last = folder;
    return folder;
}

void ReadBuilder::AddGroups(AQ5_Mailbox* mailbox, AQ5_Folder*& last, const std::vector<MessageChange>& changes)
{
    AQ5_Folder* folder = nullptr;
    AQ5_Message* lastMessage = nullptr;
    std::string_view folderName;
    for (const MessageChange& change : changes) {
        if (folder == nullptr || change.folder != folderName || folder->Count == folderLimit) {
            folder = NewFolder(mailbox, last, change.folder, change.category);
            folderName = change.folder;
            lastMessage = nullptr;
        }
        AppendMessage(folder, lastMessage, change.id, change.flags, change.unique);
    }
}

void ReadBuilder::AppendMessage(AQ5_Folder* folder, AQ5_Message*& lastMessage, uint32_t id, uint32_t flags,
                                std::string_view unique)
{
    auto* message = arena_.New<AQ5_Message>();
    message->Index = folder->Count;
    message->Flags = flags;
    message->Id = id;
    CopyField(message->Unique, unique);
    if (lastMessage == nullptr)
        folder->First = message;
    else
        lastMessage->Next = message;
    lastMessage = message;
    folder->Count = static_cast<uint16_t>(folder->Count + 1);
    ++messages_;
}

AQ5_Mailbox* ReadBuilder::Add(const MailboxConfig& config, const MailboxChange& change)
{
    auto* mailbox = arena_.New<AQ5_Mailbox>();
    mailbox->Index = static_cast<uint32_t>(change.index);
    mailbox->Readable = change.readable ? 1 : 0;
    CopyField(mailbox->Owner, config.owner);
    CopyField(mailbox->Phone, config.phone);
    CopyField(mailbox->Label, config.label);
    mailbox->Event = change.event;
    mailbox->Texts = change.counts.texts;
    mailbox->Faxes = change.counts.faxes;
    mailbox->Voice = change.counts.voice;
    AQ5_Folder* last = nullptr;
    if (change.full) {
        for (const auto& [name, folderSnapshot] : change.folders) {
            AQ5_Folder* folder = NewFolder(mailbox, last, name, folderSnapshot.category);
            AQ5_Message* lastMessage = nullptr;
            for (const auto& [unique, id] : folderSnapshot.waiting) {
                if (folder->Count == folderLimit) {
                    folder = NewFolder(mailbox, last, name, folderSnapshot.category);
                    lastMessage = nullptr;
                }
                AppendMessage(folder, lastMessage, id, 0, unique);
            }
        }
    } else {
        AddGroups(mailbox, last, change.stopped);
        AddGroups(mailbox, last, change.added);
    }
    if (last_ == nullptr)
        first_ = mailbox;
    else
        last_->Next = mailbox;
    last_ = mailbox;
    return mailbox;
}

}  // namespace varno::agentq5
