#include "agentq5/MailboxWatch.h"

#include "agentq5/DebugLog.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

constexpr uint32_t watchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

MailboxWatch::MailboxWatch(std::vector<std::string> maildirs, bool useInotify) : observer_(*this)
{
    mailboxes_.resize(maildirs.size());
    for (size_t i = 0; i < maildirs.size(); ++i)
        mailboxes_[i].maildir = std::move(maildirs[i]);
    if (useInotify) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0)
            LogLine(LogErrors, "no inotify instance (%s): mailboxes are compared by change times",
                    std::strerror(errno));
    }
    for (Mailbox& mailbox : mailboxes_)
        mailbox.changeTimes = fd_ < 0;
}

MailboxWatch::~MailboxWatch()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void MailboxWatch::TouchAll()
{
    for (size_t i = 0; i < mailboxes_.size(); ++i)
        Touch(i);
}

void MailboxWatch::Forget(int wd)
{
    const auto found = watched_.find(wd);
    if (found == watched_.end())
        return;
    for (const size_t owner : found->second.owners) {
        mailboxes_[owner].watches.erase(wd);
        Touch(owner);
    }
    watched_.erase(found);
}

void MailboxWatch::DrainEvents()
{
    if (fd_ < 0)
        return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                LogLine(LogEvents, "inotify queue overflowed: every mailbox is read again");
                TouchAll();
                continue;
            }
            const auto found = watched_.find(event->wd);
            if (found == watched_.end())
                continue;
            if ((event->mask & IN_IGNORED) != 0) {
                Forget(event->wd);
                continue;
            }
            Watched& watched = found->second;
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
                for (const size_t owner : watched.rootOf)
                    ++mailboxes_[owner].rootLosses;
                for (const size_t owner : watched.owners)
                    Touch(owner);
                // A directory moved away keeps its watch; what happens there is no longer ours.
                if ((event->mask & IN_MOVE_SELF) != 0)
                    ::inotify_rm_watch(fd_, event->wd);
                continue;
            }
            // In a Maildir or Maildir++ folder only subfolders matter: index and lock files of the
            // mail server come and go there all the time.
            if (watched.messages || (event->mask & IN_ISDIR) != 0) {
                for (const size_t owner : watched.owners)
                    Touch(owner);
            }
        }
    }
}

void MailboxWatch::Refresh()
{
    DrainEvents();
    for (size_t i = 0; i < mailboxes_.size(); ++i) {
        Mailbox& mailbox = mailboxes_[i];
        if (!mailbox.scanned)
            continue;
        if (!mailbox.readable) {
            // Cheap probe while it cannot be read: has it come (back)?
            if (IsDirectory(mailbox.maildir + "/new") && IsDirectory(mailbox.maildir + "/cur"))
                Touch(i);
            continue;
        }
        if (!mailbox.changeTimes)
            continue;
        for (const DirStamp& stamp : mailbox.stamps) {
            if (stamp.recent || !SameStamp(stamp, StampOf(stamp.path))) {
                Touch(i);
                break;
            }
        }
    }
}

ScanObserver& MailboxWatch::BeginScan(size_t mailbox)
{
    observer_.mailbox = mailbox;
    observer_.watches.clear();
    observer_.failed = false;
    return observer_;
}

void MailboxWatch::Observer::WillList(const std::string& path, bool container)
{
    if (watch_.fd_ < 0 || failed)
        return;
    const int wd = ::inotify_add_watch(watch_.fd_, path.c_str(), watchMask);
    if (wd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == EACCES)
            return;  // the listing that follows finds the same and says so
        failed = true;
        if (!watch_.limitLogged_) {
            watch_.limitLogged_ = true;
            LogLine(LogErrors, "no inotify watch for %s (%s): change times are compared instead", path.c_str(),
                    std::strerror(errno));
        }
        return;
    }
    watches.insert(wd);
    Watched& watched = watch_.watched_[wd];
    watched.owners.insert(mailbox);
    if (!container)
        watched.messages = true;
    if (path == watch_.mailboxes_[mailbox].maildir)
        watched.rootOf.insert(mailbox);
}

void MailboxWatch::EndScan(size_t index, const MaildirContent& content)
{
    Mailbox& mailbox = mailboxes_[index];
    mailbox.scanned = true;
    mailbox.readable = content.readable;
    mailbox.stamps = content.stamps;
    if (fd_ < 0)
        return;
    mailbox.changeTimes = observer_.failed;
    // Watches of directories that are no longer part of this mailbox.
    for (const int wd : mailbox.watches) {
        if (observer_.watches.count(wd) != 0)
            continue;
        const auto found = watched_.find(wd);
        if (found == watched_.end())
            continue;
        found->second.owners.erase(index);
        found->second.rootOf.erase(index);
        if (found->second.owners.empty()) {
            ::inotify_rm_watch(fd_, wd);
            watched_.erase(found);
        }
    }
    mailbox.watches = observer_.watches;
}

}  // namespace varno::agentq5
