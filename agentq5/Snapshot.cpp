#include "agentq5/Snapshot.h"

#include "agentq5/agentq5.h"

namespace varno::agentq5 {
namespace {

void TakeFacts(MailboxChange& change, const ScanFacts& facts, const MaildirContent& content)
{
    change.index = facts.index;
    change.generation = facts.generation;
    change.rootLosses = facts.rootLosses;
    change.device = content.device;
    change.inode = content.inode;
    change.readable = content.readable;
}

// Every message of the snapshot stops waiting: the Maildir is gone or is another one now.
void AllStopped(MailboxChange& change, const MailboxSnapshot& snapshot)
{
    for (const auto& [name, folder] : snapshot.folders) {
        for (const auto& [unique, id] : folder.waiting) {
            change.stopped.push_back({name, folder.category, unique, id, AQ5_MSG_GONE});
            change.released.push_back(id);
        }
    }
    change.folders.clear();
    change.reported = !change.stopped.empty();
}

Counts CountWaiting(const MaildirContent& content)
{
    Counts counts;
    for (const auto& [name, folder] : content.folders) {
        if (folder.category == 'F')
            counts.faxes += folder.waiting;
        else if (folder.category == 'H')
            counts.voice += folder.waiting;
        else
            counts.texts += folder.waiting;
    }
    return counts;
}

}  // namespace

Counts CountWaiting(const FolderMap& folders)
{
    Counts counts;
    for (const auto& [name, folder] : folders) {
        const auto size = static_cast<uint32_t>(folder.waiting.size());
        if (folder.category == 'F')
            counts.faxes += size;
        else if (folder.category == 'H')
            counts.voice += size;
        else
            counts.texts += size;
    }
    return counts;
}

MailboxChange CompareFull(const ScanFacts& facts, const MaildirContent& content, const MailboxSnapshot& snapshot,
                          MessageIds& ids)
{
    MailboxChange change;
    TakeFacts(change, facts, content);
    change.full = true;
    change.reported = true;
    change.state = content.readable ? MailboxState::Known : MailboxState::Unreadable;
    for (const auto& [name, scanned] : content.folders) {
        FolderSnapshot& folder = change.folders[name];
        folder.category = scanned.category;
        const auto before = snapshot.folders.find(name);
        for (const auto& [unique, waits] : scanned.files) {
            if (!waits)
                continue;
            if (before != snapshot.folders.end()) {
                const auto kept = before->second.waiting.find(unique);
                if (kept != before->second.waiting.end()) {
                    folder.waiting.emplace(unique, kept->second);
                    continue;
                }
            }
            const uint32_t id = ids.Assign(static_cast<uint32_t>(facts.index), unique);
            change.tentative.push_back(id);
            folder.waiting.emplace(unique, id);
        }
    }
    for (const auto& [name, folder] : snapshot.folders) {
        const auto after = change.folders.find(name);
        for (const auto& [unique, id] : folder.waiting) {
            if (after == change.folders.end() || after->second.waiting.count(unique) == 0)
                change.released.push_back(id);
        }
    }
    change.counts = CountWaiting(change.folders);
    return change;
}

MailboxChange CompareChanges(const ScanFacts& facts, const MaildirContent& content, const MailboxSnapshot& snapshot,
                             MessageIds& ids)
{
    MailboxChange change;
    TakeFacts(change, facts, content);
    switch (snapshot.state) {
    case MailboxState::Unreadable:
    case MailboxState::ReloadDue:
        // Its snapshot is empty: when it can be read it comes in full through the reload event.
        change.keepFolders = true;
        if (content.readable) {
            change.state = MailboxState::ReloadDue;
            change.reported = true;
            change.event = AQ5_EVENT_RELOAD;
            change.counts = CountWaiting(content);
        } else {
            change.state = MailboxState::Unreadable;
        }
        return change;
    case MailboxState::Known:
        if (!content.readable) {
            change.state = MailboxState::Unreadable;
            AllStopped(change, snapshot);
            return change;
        }
        if (content.device != snapshot.device || content.inode != snapshot.inode ||
            facts.rootLosses != snapshot.rootLosses) {
            change.state = MailboxState::ReloadDue;
            AllStopped(change, snapshot);
            if (!change.reported) {
                // Nothing to take away first: the reload event can come at once.
                change.reported = true;
                change.event = AQ5_EVENT_RELOAD;
                change.counts = CountWaiting(content);
            }
            return change;
        }
        break;
    case MailboxState::Unread:
        if (!content.readable) {
            change.state = MailboxState::Unreadable;
            change.keepFolders = true;
            return change;
        }
        break;
    }
    change.state = MailboxState::Known;
    for (const auto& [name, folder] : snapshot.folders) {
        const auto scanned = content.folders.find(name);
        for (const auto& [unique, id] : folder.waiting) {
            bool present = false;
            if (scanned != content.folders.end()) {
                const auto file = scanned->second.files.find(unique);
                if (file != scanned->second.files.end()) {
                    if (file->second) {
                        FolderSnapshot& kept = change.folders[name];
                        kept.category = folder.category;
                        kept.waiting.emplace(unique, id);
                        continue;
                    }
                    present = true;
                }
            }
            change.stopped.push_back(
                {name, folder.category, unique, id, static_cast<uint32_t>(present ? AQ5_MSG_SEEN : AQ5_MSG_GONE)});
            change.released.push_back(id);
        }
    }
    for (const auto& [name, scanned] : content.folders) {
        const auto before = snapshot.folders.find(name);
        auto [slot, inserted] = change.folders.try_emplace(name);
        FolderSnapshot& folder = slot->second;
        folder.category = scanned.category;
        for (const auto& [unique, waits] : scanned.files) {
            if (!waits)
                continue;
            if (before != snapshot.folders.end() && before->second.waiting.count(unique) != 0)
                continue;
            const uint32_t id = ids.Assign(static_cast<uint32_t>(facts.index), unique);
            change.tentative.push_back(id);
            const auto added = folder.waiting.emplace(unique, id).first;
            change.added.push_back({slot->first, folder.category, added->first, id, 0});
        }
    }
    change.reported = !change.stopped.empty() || !change.added.empty();
    change.keepFolders = !change.reported;
    change.counts = CountWaiting(change.reported ? change.folders : snapshot.folders);
    return change;
}

void ApplyChange(MailboxChange& change, MailboxSnapshot& snapshot, MessageIds& ids)
{
    for (const uint32_t id : change.released)
        ids.Release(id);
    change.released.clear();
    change.tentative.clear();
    snapshot.state = change.state;
    snapshot.generation = change.generation;
    snapshot.rootLosses = change.rootLosses;
    snapshot.device = change.device;
    snapshot.inode = change.inode;
    if (!change.keepFolders)
        snapshot.folders = std::move(change.folders);
    change.stopped.clear();
    change.added.clear();
}

void DiscardChange(MailboxChange& change, MessageIds& ids)
{
    for (const uint32_t id : change.tentative)
        ids.Release(id);
    change.tentative.clear();
    change.released.clear();
}

}  // namespace varno::agentq5
