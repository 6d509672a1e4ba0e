#include "agentq5/Spool.h"

#include "agentq5/DebugLog.h"
#include "agentq5/DurableFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

constexpr const char* magic = "varno-agentq5-spool 1";

bool MakeFolder(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0)
            return true;
        error = path + ": not a writable folder";
        return false;
    }
    error = path + ": " + std::strerror(errno);
    return false;
}

void SyncFolder(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Files left in tmp/ by a run that died while writing; a file younger than an hour may be
// another process's write in progress.
void CleanTmp(const std::string& tmp)
{
    DIR* dir = ::opendir(tmp.c_str());
    if (dir == nullptr)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_mtime < now - 3600)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string NewName()
{
    static std::atomic<uint32_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[96];
    std::snprintf(name, sizeof name, "m%011lld%09ld-%010ld-%010u", static_cast<long long>(now.tv_sec),
                  static_cast<long>(now.tv_nsec), static_cast<long>(::getpid()), counter.fetch_add(1));
    return name;
}

bool IsEntryName(const char* name) { return name[0] == 'm' && std::strchr(name, '/') == nullptr; }

}  // namespace

std::unique_ptr<Spool> Spool::Open(const std::string& workDir, std::string& error)
{
    if (workDir.empty()) {
        error = "no working directory given";
        return nullptr;
    }
    const std::string folder = workDir + "/agentq5-spool";
    if (!MakeFolder(folder, error) || !MakeFolder(folder + "/tmp", error))
        return nullptr;
    const std::string lockPath = folder + "/lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        error = lockPath + ": " + std::strerror(errno);
        return nullptr;
    }
    CleanTmp(folder + "/tmp");
    return std::unique_ptr<Spool>(new Spool(folder, lockFd));
}

Spool::~Spool()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

bool Spool::Add(SpoolEntry& entry, std::string& error)
{
    std::string text = magic;
    text += "\ntype ";
    text += entry.type;
    text += "\nto " + entry.address + "\nargv " + std::to_string(entry.command.size()) + "\n";
    for (const std::string& word : entry.command) {
        if (word.find('\n') != std::string::npos || word.find('\0') != std::string::npos) {
            error = "a command word holds a line end";
            return false;
        }
        text += word + "\n";
    }
    text += "\n";
    text += entry.message;
    entry.name = NewName();
    const std::string tmp = folder_ + "/tmp/" + entry.name;
    if (!WriteNewFile(tmp, text, error))
        return false;
    if (::rename(tmp.c_str(), (folder_ + "/" + entry.name).c_str()) != 0) {
        error = folder_ + "/" + entry.name + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    SyncFolder(folder_);
    return true;
}

std::vector<std::string> Spool::List() const
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsEntryName(entry->d_name))
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<SpoolEntry> Spool::Load(const std::string& name, std::string& error) const
{
    const std::string path = folder_ + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    SpoolEntry entry;
    entry.name = name;
    size_t at = 0;
    const auto nextLine = [&text, &at](std::string& line) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false;
        line = text.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string line;
    if (!nextLine(line) || line != magic) {
        error = path + ": not a spool entry";
        return std::nullopt;
    }
    if (!nextLine(line) || line.size() != 6 || line.rfind("type ", 0) != 0) {
        error = path + ": no type line";
        return std::nullopt;
    }
    entry.type = line[5];
    if (!nextLine(line) || line.rfind("to ", 0) != 0) {
        error = path + ": no address line";
        return std::nullopt;
    }
    entry.address = line.substr(3);
    if (!nextLine(line) || line.rfind("argv ", 0) != 0) {
        error = path + ": no command line";
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long words = std::strtoul(line.c_str() + 5, &end, 10);
    if (*end != '\0' || words == 0 || words > 1000) {
        error = path + ": bad word count";
        return std::nullopt;
    }
    for (unsigned long i = 0; i < words; ++i) {
        if (!nextLine(line)) {
            error = path + ": command cut short";
            return std::nullopt;
        }
        entry.command.push_back(line);
    }
    if (!nextLine(line) || !line.empty()) {
        error = path + ": no empty line before the message";
        return std::nullopt;
    }
    entry.message = text.substr(at);
    return entry;
}

bool Spool::Remove(const std::string& name) const
{
    const bool removed = ::unlink((folder_ + "/" + name).c_str()) == 0 || errno == ENOENT;
    SyncFolder(folder_);
    return removed;
}

void Spool::SetAside(const std::string& name) const
{
    if (::rename((folder_ + "/" + name).c_str(), (folder_ + "/bad-" + name).c_str()) != 0)
        LogLine(LogErrors, "spool file %s cannot be set aside: %s", name.c_str(), std::strerror(errno));
}

bool Spool::TryLock()
{
    if (locked_)
        return true;
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0)
        locked_ = true;
    return locked_;
}

void Spool::Unlock()
{
    if (!locked_)
        return;
    ::flock(lockFd_, LOCK_UN);
    locked_ = false;
}

}  // namespace varno::agentq5
