// The spool: messages taken over but not yet handed on, one file each in <workdir>/agentq5-spool.
// A file is written in tmp/ and renamed into place, so the sender never sees half a message; it
// stays until its command ended with status 0, across restarts. Names sort in the order the
// messages came.
//
// File: "varno-agentq5-spool 1", "type <c>", "to <address>", "argv <n>", the n words one a line,
// an empty line, then the message.
#ifndef VARNO_AGENTQ5_SPOOL_H
#define VARNO_AGENTQ5_SPOOL_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varno::agentq5 {

struct SpoolEntry {
    std::string name;  // the file's name in the spool
    char type = 'I';
    std::string address;
    std::vector<std::string> command;  // program and arguments
    std::string message;
};

class Spool {
public:
    // Makes the folders; nullptr (with the reason in error) when they cannot be made or used.
    static std::unique_ptr<Spool> Open(const std::string& workDir, std::string& error);
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    const std::string& Folder() const { return folder_; }
    // Writes the entry (its name is given here); false with the reason when it could not.
    bool Add(SpoolEntry& entry, std::string& error);
    // Names of the waiting messages, oldest first.
    std::vector<std::string> List() const;
    std::optional<SpoolEntry> Load(const std::string& name, std::string& error) const;
    bool Remove(const std::string& name) const;
    // A file that is no spool entry is kept for the administrator under "bad-<name>".
    void SetAside(const std::string& name) const;

    // The lock that keeps two processes on one working directory from sending the same message:
    // only the holder sends.
    bool TryLock();
    void Unlock();

private:
    explicit Spool(std::string folder, int lockFd) : folder_(std::move(folder)), lockFd_(lockFd) {}

    std::string folder_;
    int lockFd_ = -1;
    bool locked_ = false;
};

}  // namespace varno::agentq5

#endif
