// One Maildir's folders and message files, as found by one pass over its directories.
#ifndef VARNO_AGENTQ5_MAILDIRSCAN_H
#define VARNO_AGENTQ5_MAILDIRSCAN_H

#include "agentq5/GatewayConfig.h"

#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace varno::agentq5 {

// What a directory looked like when it was listed: compared later where inotify is not to be had.
struct DirStamp {
    std::string path;
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};
    timespec modified{};
    // Changed so lately that a further change could carry the same times: such a folder is
    // looked at again.
    bool recent = false;
};

bool SameStamp(const DirStamp& a, const DirStamp& b);
DirStamp StampOf(const std::string& path);

// Told of every directory before it is listed, so that a watch is in place before the listing
// and nothing that changes during it is missed.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // container: the Maildir or a Maildir++ folder, where only subfolders matter; else new/ or cur/.
    virtual void WillList(const std::string& path, bool container) = 0;
};

struct FolderContent {
    char category = 'S';
    // Unique name of every message file in new/ and cur/ → whether it waits.
    std::unordered_map<std::string, bool> files;
    uint32_t waiting = 0;
};

struct MaildirContent {
    bool readable = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::map<std::string, FolderContent> folders;  // "" the Maildir itself, else ".Name"
    std::vector<DirStamp> stamps;
};

// The unique name of a message file: its name before ":2,".
std::string_view UniqueName(std::string_view fileName);
// Whether a file in cur/ waits: its info holds neither S nor T.
bool WaitsInCur(std::string_view fileName);
// 'F', 'H' or 'S' for a folder of this mailbox.
char FolderCategory(const MailboxConfig& mailbox, std::string_view folder);

MaildirContent ScanMaildir(const MailboxConfig& mailbox, ScanObserver* observer);

}  // namespace varno::agentq5

#endif
