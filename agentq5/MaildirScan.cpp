#include "agentq5/MaildirScan.h"

#include "agentq5/DebugLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace varno::agentq5 {
namespace {

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

DirStamp StampFromStat(const std::string& path, const struct stat& info)
{
    DirStamp stamp;
    stamp.path = path;
    stamp.present = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.changed = info.st_ctim;
    stamp.modified = info.st_mtim;
    // A change after the listing gets a time after the recorded one only when the recorded one
    // lies further back than the file system's time step: a clock tick where it keeps
    // nanoseconds, up to two seconds where it keeps whole seconds only.
    const bool wholeSeconds = info.st_ctim.tv_nsec == 0 && info.st_mtim.tv_nsec == 0;
    const int64_t margin = wholeSeconds ? 2'000'000'000 : 100'000'000;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    const int64_t latest = std::max(nanoseconds(info.st_ctim), nanoseconds(info.st_mtim));
    stamp.recent = nanoseconds(now) - latest < margin;
    return stamp;
}

// Closes the directory stream on every way out.
class DirHandle {
public:
    explicit DirHandle(const std::string& path) : dir_(::opendir(path.c_str())) {}
    ~DirHandle()
    {
        if (dir_ != nullptr)
            ::closedir(dir_);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

bool IsRegularFile(DIR* dir, const dirent* entry)
{
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_UNKNOWN)
        return false;
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return S_ISREG(info.st_mode);
}

bool IsDirectory(DIR* dir, const dirent* entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return false;
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

// Lists new/ or cur/ into folder; false when the directory cannot be read.
bool ListMessages(const std::string& path, bool cur, FolderContent& folder, MaildirContent& content,
                  ScanObserver* observer)
{
    if (observer != nullptr)
        observer->WillList(path, false);
    const DirHandle dir(path);
    if (dir.get() == nullptr)
        return false;
    struct stat info {};
    if (::fstat(::dirfd(dir.get()), &info) != 0)
        return false;
    content.stamps.push_back(StampFromStat(path, info));
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.' || !IsRegularFile(dir.get(), entry))
            continue;
        const std::string_view name(entry->d_name);
        const bool waits = !cur || WaitsInCur(name);
        auto [slot, inserted] = folder.files.try_emplace(std::string(UniqueName(name)), waits);
        if (inserted) {
            if (waits)
                ++folder.waiting;
        } else if (waits && !slot->second) {
            // The same message in new/ and in cur/ at once (a copy half done): it waits once.
            slot->second = true;
            ++folder.waiting;
        }
    }
    return errno == 0;
}

bool ListFolder(const std::string& path, FolderContent& folder, MaildirContent& content, ScanObserver* observer)
{
    return ListMessages(path + "/new", false, folder, content, observer) &&
           ListMessages(path + "/cur", true, folder, content, observer);
}

}  // namespace

bool SameStamp(const DirStamp& a, const DirStamp& b)
{
    if (a.present != b.present)
        return false;
    if (!a.present)
        return true;
    return a.device == b.device && a.inode == b.inode && SameTime(a.changed, b.changed) &&
           SameTime(a.modified, b.modified);
}

DirStamp StampOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        DirStamp missing;
        missing.path = path;
        return missing;
    }
    return StampFromStat(path, info);
}

std::string_view UniqueName(std::string_view fileName)
{
    const size_t info = fileName.find(":2,");
    return info == std::string_view::npos ? fileName : fileName.substr(0, info);
}

bool WaitsInCur(std::string_view fileName)
{
    const size_t info = fileName.find(":2,");
    if (info == std::string_view::npos)
        return true;
    const std::string_view flags = fileName.substr(info + 3);
    return flags.find('S') == std::string_view::npos && flags.find('T') == std::string_view::npos;
}

char FolderCategory(const MailboxConfig& mailbox, std::string_view folder)
{
    if (!folder.empty() && folder == mailbox.faxFolder)
        return 'F';
    if (!folder.empty() && folder == mailbox.voiceFolder)
        return 'H';
    return 'S';
}

MaildirContent ScanMaildir(const MailboxConfig& mailbox, ScanObserver* observer)
{
    MaildirContent content;
    const std::string& root = mailbox.maildir;
    if (observer != nullptr)
        observer->WillList(root, true);
    std::vector<std::string> subfolders;
    {
        const DirHandle dir(root);
        if (dir.get() == nullptr)
            return content;
        struct stat info {};
        if (::fstat(::dirfd(dir.get()), &info) != 0)
            return content;
        content.device = info.st_dev;
        content.inode = info.st_ino;
        content.stamps.push_back(StampFromStat(root, info));
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name(entry->d_name);
            if (name.size() < 2 || name[0] != '.' || name == "..")
                continue;
            if (IsDirectory(dir.get(), entry))
                subfolders.emplace_back(name);
        }
        if (errno != 0)
            return content;
    }
    FolderContent& own = content.folders[""];
    own.category = 'S';
    if (!ListFolder(root, own, content, observer)) {
        content.folders.clear();
        return content;
    }
    content.readable = true;
    for (const std::string& name : subfolders) {
        const std::string path = root + "/" + name;
        if (observer != nullptr)
            observer->WillList(path, true);
        content.stamps.push_back(StampOf(path));
        FolderContent folder;
        folder.category = FolderCategory(mailbox, name);
        // A folder still being made (no new/ or cur/ yet) holds nothing; its watch sees it finished.
        if (ListFolder(path, folder, content, observer))
            content.folders.emplace(name, std::move(folder));
        else
            LogLine(LogEvents, "%s: folder %s is no Maildir++ folder yet", mailbox.label.c_str(), name.c_str());
    }
    return content;
}

}  // namespace varno::agentq5
