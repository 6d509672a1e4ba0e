#include "agentq5/MailboxReader.h"

#include "agentq5/DebugLog.h"
#include "agentq5/ReadBuilder.h"

namespace varno::agentq5 {
namespace {

std::vector<std::string> MaildirsOf(const std::vector<MailboxConfig>& mailboxes)
{
    std::vector<std::string> maildirs;
    maildirs.reserve(mailboxes.size());
    for (const MailboxConfig& mailbox : mailboxes)
        maildirs.push_back(mailbox.maildir);
    return maildirs;
}

}  // namespace

MailboxReader::MailboxReader(const std::vector<MailboxConfig>& mailboxes, bool useInotify)
    : mailboxes_(mailboxes), watch_(MaildirsOf(mailboxes), useInotify), snapshots_(mailboxes.size())
{
}

bool MailboxReader::Changed(size_t mailbox) const
{
    const MailboxSnapshot& snapshot = snapshots_[mailbox];
    return snapshot.state == MailboxState::Unread || snapshot.state == MailboxState::ReloadDue ||
           snapshot.generation != watch_.Generation(mailbox);
}

int MailboxReader::FastTest()
{
    if (list_.pending)
        return 1;
    for (const auto& [mailbox, one] : ones_) {
        if (one.pending)
            return 1;
    }
    watch_.Refresh();
    for (size_t i = 0; i < mailboxes_.size(); ++i) {
        if (Changed(i))
            return 1;
    }
    return 0;
}

MailboxChange MailboxReader::ScanAndCompare(size_t mailbox, int32_t mode)
{
    // The generation is taken before the listing: a change during it moves the generation on,
    // so the confirmed snapshot is never newer than what the watch has seen.
    ScanFacts facts;
    facts.index = mailbox;
    facts.generation = watch_.Generation(mailbox);
    facts.rootLosses = watch_.RootLosses(mailbox);
    const MaildirContent content = ScanMaildir(mailboxes_[mailbox], &watch_.BeginScan(mailbox));
    watch_.EndScan(mailbox, content);
    if (!content.readable)
        LogLine(LogEvents, "mailbox %s: Maildir %s cannot be read", mailboxes_[mailbox].label.c_str(),
                mailboxes_[mailbox].maildir.c_str());
    if (mode == AQ5_MODE_ALL)
        return CompareFull(facts, content, snapshots_[mailbox], ids_);
    return CompareChanges(facts, content, snapshots_[mailbox], ids_);
}

void MailboxReader::DropPendingOne(size_t mailbox)
{
    const auto found = ones_.find(mailbox);
    if (found == ones_.end())
        return;
    if (found->second.pending)
        DiscardChange(found->second.change, ids_);
    ones_.erase(found);
}

int MailboxReader::ReadAll(AQ5_Mailbox** first, int32_t mode)
{
    // The records of the last read go; an unconfirmed read gives its identifiers back and is
    // compared afresh against the confirmed snapshot.
    if (list_.pending) {
        for (auto& [mailbox, change] : list_.changes)
            DiscardChange(change, ids_);
    }
    while (!ones_.empty())
        DropPendingOne(ones_.begin()->first);
    list_ = ListRead{};
    watch_.Refresh();
    auto arena = std::make_unique<RecordArena>();
    ReadBuilder builder(*arena);
    std::map<size_t, MailboxChange> changes;
    std::unordered_map<const AQ5_Mailbox*, size_t> records;
    try {
        for (size_t i = 0; i < mailboxes_.size(); ++i) {
            if (mode != AQ5_MODE_ALL && !Changed(i))
                continue;
            MailboxChange change = ScanAndCompare(i, mode);
            const bool reported = change.reported;
            auto& stored = changes.emplace(i, std::move(change)).first->second;
            if (reported)
                records.emplace(builder.Add(mailboxes_[i], stored), i);
        }
    } catch (...) {
        for (auto& [mailbox, change] : changes)
            DiscardChange(change, ids_);
        throw;
    }
    for (auto& [mailbox, change] : changes) {
        // The views served the records; the snapshot they point into may change from here on.
        change.stopped.clear();
        change.added.clear();
    }
    list_.arena = std::move(arena);
    list_.first = builder.First();
    list_.changes = std::move(changes);
    list_.records = std::move(records);
    list_.pending = true;
    *first = list_.first;
    LogLine(LogEvents, "read in mode %d: %zu mailboxes, %zu message records, %zu identifiers held", mode,
            list_.records.size(), builder.Messages(), ids_.Count());
    return AQ5_OK;
}

void MailboxReader::ConfirmAll(AQ5_Mailbox** first)
{
    if (!list_.pending)
        return;
    if (first != nullptr && *first != list_.first) {
        LogLine(LogErrors, "confirmation of a list that is not the last read's: not taken");
        return;
    }
    for (auto& [mailbox, change] : list_.changes)
        ApplyChange(change, snapshots_[mailbox], ids_);
    list_.changes.clear();
    list_.pending = false;
}

int MailboxReader::ReadOne(AQ5_Mailbox** current, int32_t mode, const AQ5_Mailbox* record)
{
    const auto found = list_.records.find(record);
    if (found == list_.records.end()) {
        *current = nullptr;
        return AQ5_READ_UNKNOWN_MAILBOX;
    }
    const size_t mailbox = found->second;
    // This read takes the place of what the list read said about the mailbox.
    if (list_.pending) {
        const auto listed = list_.changes.find(mailbox);
        if (listed != list_.changes.end()) {
            DiscardChange(listed->second, ids_);
            list_.changes.erase(listed);
        }
    }
    DropPendingOne(mailbox);
    watch_.Refresh();
    OneRead one;
    one.change = ScanAndCompare(mailbox, mode);
    if (!one.change.readable) {
        DiscardChange(one.change, ids_);
        *current = nullptr;
        return AQ5_READ_MAILDIR_UNREADABLE;
    }
    one.arena = std::make_unique<RecordArena>();
    try {
        ReadBuilder builder(*one.arena);
        one.record = builder.Add(mailboxes_[mailbox], one.change);
    } catch (...) {
        DiscardChange(one.change, ids_);
        throw;
    }
    one.change.stopped.clear();
    one.change.added.clear();
    one.pending = true;
    *current = one.record;
    ones_.emplace(mailbox, std::move(one));
    LogLine(LogEvents, "mailbox %s read again in mode %d", mailboxes_[mailbox].label.c_str(), mode);
    return AQ5_OK;
}

int MailboxReader::ConfirmOne(AQ5_Mailbox** current)
{
    if (current == nullptr || *current == nullptr)
        return AQ5_READ_UNKNOWN_MAILBOX;
    for (auto& [mailbox, one] : ones_) {
        if (one.record != *current || !one.pending)
            continue;
        ApplyChange(one.change, snapshots_[mailbox], ids_);
        one.pending = false;
        return AQ5_OK;
    }
    return AQ5_READ_UNKNOWN_MAILBOX;
}

}  // namespace varno::agentq5
