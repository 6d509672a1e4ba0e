// What the agent has been told about each mailbox (its snapshot), and the comparison of a fresh
// scan with it. A comparison changes nothing: it says what the snapshot becomes once the agent
// confirms the read, and which identifiers that takes and frees.
#ifndef VARNO_AGENTQ5_SNAPSHOT_H
#define VARNO_AGENTQ5_SNAPSHOT_H

#include "agentq5/MaildirScan.h"
#include "agentq5/MessageIds.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varno::agentq5 {

enum class MailboxState {
    Unread,      // never read
    Known,       // its waiting messages are the snapshot
    Unreadable,  // could not be read; holds nothing for the agent
    ReloadDue,   // readable (again): the agent must read it in full
};

struct FolderSnapshot {
    char category = 'S';
    std::unordered_map<std::string, uint32_t> waiting;  // unique name → identifier
};
using FolderMap = std::map<std::string, FolderSnapshot>;

struct MailboxSnapshot {
    MailboxState state = MailboxState::Unread;
    FolderMap folders;
    uint64_t generation = 0;  // the watch generation it was scanned at
    uint64_t rootLosses = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

struct Counts {
    uint32_t texts = 0;
    uint32_t faxes = 0;
    uint32_t voice = 0;
};
Counts CountWaiting(const FolderMap& folders);

// A message in a change record. The views point into the snapshot (messages that stopped
// waiting) or into the change's own folders (messages that newly wait); they are used only while
// the records of the read are built.
struct MessageChange {
    std::string_view folder;
    char category = 'S';
    std::string_view unique;
    uint32_t id = 0;
    uint32_t flags = 0;
};

struct MailboxChange {
    size_t index = 0;
    MailboxState state = MailboxState::Unread;
    bool keepFolders = false;  // the snapshot's folders stay as they are
    FolderMap folders;         // else: the snapshot's folders once confirmed
    uint64_t generation = 0;
    uint64_t rootLosses = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool readable = false;
    bool reported = false;  // goes into the read's records
    int32_t event = 0;
    Counts counts;
    std::vector<uint32_t> tentative;  // taken by this read; given back when it is not confirmed
    std::vector<uint32_t> released;   // freed when it is confirmed
    // Mode 1: every folder of the scan with its waiting messages (views into folders).
    bool full = false;
    std::vector<MessageChange> stopped;  // mode 3, grouped by folder
    std::vector<MessageChange> added;    // mode 3, grouped by folder
};

struct ScanFacts {
    size_t index = 0;
    uint64_t generation = 0;
    uint64_t rootLosses = 0;
};

// Mode 1: everything that waits; identifiers of the snapshot kept.
MailboxChange CompareFull(const ScanFacts& facts, const MaildirContent& content, const MailboxSnapshot& snapshot,
                          MessageIds& ids);
// Mode 3: what differs from the snapshot; a Maildir that went away or was made anew reports its
// messages gone, and one readable again reports the reload event.
MailboxChange CompareChanges(const ScanFacts& facts, const MaildirContent& content, const MailboxSnapshot& snapshot,
                             MessageIds& ids);
// Confirms the change: the snapshot becomes what it said, its freed identifiers are released.
void ApplyChange(MailboxChange& change, MailboxSnapshot& snapshot, MessageIds& ids);
// The read was not confirmed: its identifiers are given back.
void DiscardChange(MailboxChange& change, MessageIds& ids);

}  // namespace varno::agentq5

#endif
