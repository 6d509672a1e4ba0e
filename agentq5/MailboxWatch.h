// Notices which mailboxes may have changed, without listing them: inotify watches on every
// Maildir, Maildir++ folder, new/ and cur/, and where a watch cannot be had (no inotify instance,
// no more watches) the change times of those directories. Every possible change moves the
// mailbox's generation; a read remembers the generation it scanned at.
#ifndef VARNO_AGENTQ5_MAILBOXWATCH_H
#define VARNO_AGENTQ5_MAILBOXWATCH_H

#include "agentq5/MaildirScan.h"

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace varno::agentq5 {

class MailboxWatch {
public:
    // useInotify false: change times only (as when the system has no inotify to give).
    MailboxWatch(std::vector<std::string> maildirs, bool useInotify);
    ~MailboxWatch();
    MailboxWatch(const MailboxWatch&) = delete;
    MailboxWatch& operator=(const MailboxWatch&) = delete;

    // Takes in the events and change times that arrived since the last call.
    void Refresh();
    uint64_t Generation(size_t mailbox) const { return mailboxes_[mailbox].generation; }
    // Counts the times the Maildir directory itself went away (removed or renamed) while watched.
    uint64_t RootLosses(size_t mailbox) const { return mailboxes_[mailbox].rootLosses; }
    bool UsesChangeTimes(size_t mailbox) const { return mailboxes_[mailbox].changeTimes; }
    bool HasInotify() const { return fd_ >= 0; }

    // The observer for one scan of a mailbox: puts watches in place before each listing.
    ScanObserver& BeginScan(size_t mailbox);
    // Ends the scan: watches the mailbox no longer needs are dropped; the stamps are kept for the
    // change-time comparison.
    void EndScan(size_t index, const MaildirContent& content);

private:
    struct Watched {
        std::set<size_t> owners;
        bool messages = false;  // new/ or cur/: any file matters, not only subfolders
        std::set<size_t> rootOf;
    };
    struct Mailbox {
        std::string maildir;
        uint64_t generation = 1;
        uint64_t rootLosses = 0;
        bool changeTimes = false;
        bool readable = false;
        bool scanned = false;
        std::set<int> watches;
        std::vector<DirStamp> stamps;
    };
    class Observer : public ScanObserver {
    public:
        explicit Observer(MailboxWatch& watch) : watch_(watch) {}
        void WillList(const std::string& path, bool container) override;
        size_t mailbox = 0;
        std::set<int> watches;
        bool failed = false;

    private:
        MailboxWatch& watch_;
    };

    void DrainEvents();
    void Touch(size_t mailbox) { ++mailboxes_[mailbox].generation; }
    void TouchAll();
    void Forget(int wd);

    int fd_ = -1;
    std::vector<Mailbox> mailboxes_;
    std::unordered_map<int, Watched> watched_;
    Observer observer_;
    bool limitLogged_ = false;
};

}  // namespace varno::agentq5

#endif
