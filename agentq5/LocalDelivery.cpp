#include "agentq5/LocalDelivery.h"

#include "agentq5/DurableFile.h"
#include "agentq5/MessageFormat.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::agentq5 {

std::string MaildirUniqueName()
{
    static std::atomic<uint32_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // '/' and ':' cannot stand in a unique name; the Maildir convention writes them in octal.
    std::string host;
    for (const char c : HostName()) {
        if (c == '/')
            host += "\\057";
        else if (c == ':')
            host += "\\072";
        else
            host += c;
    }
    char name[96];
    std::snprintf(name, sizeof name, "%lld.M%06ldP%ldQ%u.", static_cast<long long>(now.tv_sec),
                  static_cast<long>(now.tv_nsec / 1000), static_cast<long>(::getpid()), counter.fetch_add(1) + 1);
    return name + host;
}

bool DeliverToMaildir(const std::string& maildir, const std::string& message, std::string& error)
{
    const std::string unique = MaildirUniqueName();
    const std::string tmp = maildir + "/tmp/" + unique;
    const std::string target = maildir + "/new/" + unique;
    if (!WriteNewFile(tmp, message, error))
        return false;
    // A link never replaces a message already in new/; where the file system has no links, the
    // unique name makes a rename as safe.
    if (::link(tmp.c_str(), target.c_str()) == 0) {
        ::unlink(tmp.c_str());
        return true;
    }
    if ((errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP) && ::rename(tmp.c_str(), target.c_str()) == 0)
        return true;
    error = target + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
}

}  // namespace varno::agentq5
