// The gateway's configuration file: [Gateway], one [Mailbox <label>] per mailbox, [Routes].
#ifndef VARNO_AGENTQ5_GATEWAYCONFIG_H
#define VARNO_AGENTQ5_GATEWAYCONFIG_H

#include <map>
#include <string>
#include <vector>

namespace varno::agentq5 {

struct MailboxConfig {
    std::string label;
    std::string owner;
    std::string phone;
    std::string maildir;
    std::string faxFolder = ".Fax";
    std::string voiceFolder = ".Voice";
};

struct GatewayConfig {
    std::string user;
    std::string passwordHash;
    std::string sendmail = "/usr/sbin/sendmail -t -i";
    std::string from;  // empty: "varno-agent@" and the host name
    int timeoutSeconds = 60;
    int retrySeconds = 5;
    std::vector<MailboxConfig> mailboxes;
    std::map<char, std::string> routes;  // 'Q', 'V', 'F', 'Z'
};

enum class ConfigError { None, Unreadable, MaildirMissing };

struct ConfigLoad {
    ConfigError error = ConfigError::None;
    std::string detail;  // for the log: which file or section
    GatewayConfig config;
};

// Reads and checks the file. Lines it cannot use (unknown sections or keys, values out of range)
// are logged and skipped; only an unreadable file and a mailbox without Maildir= fail.
ConfigLoad LoadGatewayConfig(const std::string& path);
// Parses configuration text (what LoadGatewayConfig does after reading the file).
ConfigLoad ParseGatewayConfig(const std::string& text);

}  // namespace varno::agentq5

#endif
