#include "agentq5/GatewayConfig.h"

#include "agentq5/DebugLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace varno::agentq5 {
namespace {

constexpr std::string_view blanks = " \t\r\n";

std::string Trim(std::string_view text)
{
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos)
        return {};
    const size_t end = text.find_last_not_of(blanks);
    return std::string(text.substr(begin, end - begin + 1));
}

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

enum class Section { None, Gateway, Mailbox, Routes, Unknown };

// Seconds within [low, high]; anything else keeps the default with a log line.
void SetSeconds(int& target, const std::string& value, int low, int high, const char* key, int lineNumber)
{
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
        LogLine(LogErrors, "configuration line %d: %s=%s is no number of seconds from %d to %d, %d kept", lineNumber,
                key, value.c_str(), low, high, target);
        return;
    }
    target = static_cast<int>(parsed);
}

}  // namespace

ConfigLoad ParseGatewayConfig(const std::string& text)
{
    ConfigLoad load;
    GatewayConfig& config = load.config;
    Section section = Section::None;
    std::istringstream lines(text);
    std::string raw;
    int lineNumber = 0;
    while (std::getline(lines, raw)) {
        ++lineNumber;
        if (lineNumber == 1 && raw.rfind("\xef\xbb\xbf", 0) == 0)
            raw.erase(0, 3);
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                LogLine(LogErrors, "configuration line %d: section without ']' skipped", lineNumber);
                section = Section::Unknown;
                continue;
            }
            const std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
            const std::string lower = Lower(name);
            if (lower == "gateway") {
                section = Section::Gateway;
            } else if (lower == "routes") {
                section = Section::Routes;
            } else if (lower == "mailbox" || lower.rfind("mailbox ", 0) == 0 || lower.rfind("mailbox\t", 0) == 0) {
                section = Section::Mailbox;
                MailboxConfig mailbox;
                mailbox.label = Trim(std::string_view(name).substr(7));
                config.mailboxes.push_back(std::move(mailbox));
            } else {
                LogLine(LogErrors, "configuration line %d: unknown section [%s] skipped", lineNumber, name.c_str());
                section = Section::Unknown;
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            LogLine(LogErrors, "configuration line %d: no key=value, skipped", lineNumber);
            continue;
        }
        const std::string key = Lower(Trim(std::string_view(line).substr(0, equals)));
        const std::string value = Trim(std::string_view(line).substr(equals + 1));
        bool known = true;
        switch (section) {
        case Section::Gateway:
            if (key == "user")
                config.user = value;
            else if (key == "passwordhash")
                config.passwordHash = value;
            else if (key == "sendmail")
                config.sendmail = value;
            else if (key == "from")
                config.from = value;
            else if (key == "timeout")
                SetSeconds(config.timeoutSeconds, value, 1, 86400, "Timeout", lineNumber);
            else if (key == "retry")
                SetSeconds(config.retrySeconds, value, 1, 600, "Retry", lineNumber);
            else
                known = false;
            break;
        case Section::Mailbox: {
            MailboxConfig& mailbox = config.mailboxes.back();
            if (key == "owner")
                mailbox.owner = value;
            else if (key == "phone")
                mailbox.phone = value;
            else if (key == "maildir")
                mailbox.maildir = value;
            else if (key == "fax")
                mailbox.faxFolder = value;
            else if (key == "voice")
                mailbox.voiceFolder = value;
            else
                known = false;
            break;
        }
        case Section::Routes:
            if (key.size() == 1 && (key[0] == 'q' || key[0] == 'v' || key[0] == 'f' || key[0] == 'z'))
                config.routes[static_cast<char>(key[0] - 'a' + 'A')] = value;
            else
                known = false;
            break;
        case Section::None:
        case Section::Unknown:
            known = section == Section::Unknown;  // the unknown section was logged once already
            break;
        }
        if (!known)
            LogLine(LogErrors, "configuration line %d: unknown key %s skipped", lineNumber, key.c_str());
    }
    for (MailboxConfig& mailbox : config.mailboxes) {
        if (mailbox.maildir.empty()) {
            load.error = ConfigError::MaildirMissing;
            load.detail = "[Mailbox " + mailbox.label + "]";
            return load;
        }
        // "folder/" and "folder" name the same Maildir; the trailing slash would only double in paths.
        while (mailbox.maildir.size() > 1 && mailbox.maildir.back() == '/')
            mailbox.maildir.pop_back();
    }
    return load;
}

ConfigLoad LoadGatewayConfig(const std::string& path)
{
    ConfigLoad failed;
    failed.error = ConfigError::Unreadable;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failed.detail = path + ": " + std::strerror(errno);
        return failed;
    }
    // A configuration is a few kilobytes; a device or a runaway file is no configuration.
    constexpr size_t maxSize = 1 << 20;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failed.detail = path + ": " + std::strerror(errno);
            ::close(fd);
            return failed;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > maxSize) {
            failed.detail = path + ": larger than 1 MiB";
            ::close(fd);
            return failed;
        }
    }
    ::close(fd);
    return ParseGatewayConfig(text);
}

}  // namespace varno::agentq5
