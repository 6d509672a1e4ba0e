// One initialised gateway: the configuration, the mailbox reader, the spool and its sender.
#ifndef VARNO_AGENTQ5_GATEWAY_H
#define VARNO_AGENTQ5_GATEWAY_H

#include "agentq5/GatewayConfig.h"
#include "agentq5/MailboxReader.h"
#include "agentq5/Sender.h"
#include "agentq5/Spool.h"

#include <memory>
#include <string>

namespace varno::agentq5 {

class Gateway {
public:
    // 0 with the gateway in gateway, or an AQ5_INIT_ number (and a log line saying why).
    static int Start(const char* configPath, const char* user, const char* workDir, const char* password,
                     std::unique_ptr<Gateway>& gateway);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    MailboxReader& Reader() { return *reader_; }
    int Send(const char* address, char type, const char* subject, const char* text, char flag);
    void StopActions();

private:
    Gateway() = default;

    GatewayConfig config_;
    std::string host_;
    std::string from_;
    std::unique_ptr<MailboxReader> reader_;
    std::unique_ptr<Spool> spool_;
    std::unique_ptr<Sender> sender_;
};

// Whether password verifies against a crypt(3) hash; an empty hash takes only an empty password.
bool PasswordMatches(const std::string& hash, const char* password);

}  // namespace varno::agentq5

#endif
