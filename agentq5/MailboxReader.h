// The reading side of the gateway: the fast test, the reads in mode 1 and 3, the re-read of one
// mailbox and their confirmations. What a read returns becomes the snapshot only when it is
// confirmed, so a read the agent did not take in is reported again.
#ifndef VARNO_AGENTQ5_MAILBOXREADER_H
#define VARNO_AGENTQ5_MAILBOXREADER_H

#include "agentq5/GatewayConfig.h"
#include "agentq5/MailboxWatch.h"
#include "agentq5/MessageIds.h"
#include "agentq5/RecordArena.h"
#include "agentq5/Snapshot.h"
#include "agentq5/agentq5.h"

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace varno::agentq5 {

class MailboxReader {
public:
    MailboxReader(const std::vector<MailboxConfig>& mailboxes, bool useInotify);

    int FastTest();
    int ReadAll(AQ5_Mailbox** first, int32_t mode);
    void ConfirmAll(AQ5_Mailbox** first);
    int ReadOne(AQ5_Mailbox** current, int32_t mode, const AQ5_Mailbox* record);
    int ConfirmOne(AQ5_Mailbox** current);

    // For tests and the benchmark: identifiers held, and whether change times are compared.
    size_t IdentifiersHeld() const { return ids_.Count(); }
    const MailboxWatch& Watch() const { return watch_; }

private:
    struct ListRead {
        std::unique_ptr<RecordArena> arena;
        AQ5_Mailbox* first = nullptr;
        bool pending = false;
        std::map<size_t, MailboxChange> changes;
        std::unordered_map<const AQ5_Mailbox*, size_t> records;
    };
    struct OneRead {
        std::unique_ptr<RecordArena> arena;
        AQ5_Mailbox* record = nullptr;
        bool pending = false;
        MailboxChange change;
    };

    bool Changed(size_t mailbox) const;
    MailboxChange ScanAndCompare(size_t mailbox, int32_t mode);
    void DropPendingOne(size_t mailbox);

    const std::vector<MailboxConfig>& mailboxes_;
    MailboxWatch watch_;
    MessageIds ids_;
    std::vector<MailboxSnapshot> snapshots_;
    ListRead list_;
    std::map<size_t, OneRead> ones_;
};

}  // namespace varno::agentq5

#endif
