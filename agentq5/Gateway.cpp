#include "agentq5/Gateway.h"

#include "agentq5/CommandWords.h"
#include "agentq5/DebugLog.h"
#include "agentq5/LocalDelivery.h"
#include "agentq5/MessageFormat.h"
#include "agentq5/Utf8Text.h"
#include "agentq5/agentq5.h"

#include <crypt.h>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace varno::agentq5 {
namespace {

std::string TextOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

bool InotifyRefused()
{
    const char* value = std::getenv("AGENTQ5_NO_INOTIFY");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// An address from the PBX becomes a header value and a command argument: nothing that could end
// a header line, nothing a command would take for an option, nothing that is no text.
bool UsableAddress(const std::string& address)
{
    return !address.empty() && !HasControlCharacter(address) && address[0] != '-' && IsValidUtf8(address);
}

}  // namespace

bool PasswordMatches(const std::string& hash, const char* password)
{
    const std::string given = TextOf(password);
    if (hash.empty())
        return given.empty();
    auto data = std::make_unique<crypt_data>();
    const char* computed = ::crypt_rn(given.c_str(), hash.c_str(), data.get(), static_cast<int>(sizeof(crypt_data)));
    if (computed == nullptr || computed[0] == '*') {
        LogLine(LogErrors, "PasswordHash= is no hash this system's crypt knows");
        return false;
    }
    const size_t length = std::strlen(computed);
    if (length != hash.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < length; ++i)
        difference |= static_cast<unsigned char>(computed[i] ^ hash[i]);
    return difference == 0;
}

int Gateway::Start(const char* configPath, const char* user, const char* workDir, const char* password,
                   std::unique_ptr<Gateway>& gateway)
{
    ConfigLoad load = LoadGatewayConfig(TextOf(configPath));
    if (load.error == ConfigError::Unreadable) {
        LogLine(LogErrors, "configuration cannot be read: %s", load.detail.c_str());
        return AQ5_INIT_CONFIG_UNREADABLE;
    }
    if (load.error == ConfigError::MaildirMissing) {
        LogLine(LogErrors, "configuration: %s has no Maildir=", load.detail.c_str());
        return AQ5_INIT_MAILDIR_MISSING;
    }
    if (TextOf(user) != load.config.user) {
        LogLine(LogErrors, "user %s is not the configuration's User=", TextOf(user).c_str());
        return AQ5_INIT_USER_DIFFERS;
    }
    if (!PasswordMatches(load.config.passwordHash, password)) {
        LogLine(LogErrors, "the password does not verify against PasswordHash=");
        return AQ5_INIT_PASSWORD_WRONG;
    }
    std::string error;
    std::unique_ptr<Spool> spool = Spool::Open(TextOf(workDir), error);
    if (!spool) {
        LogLine(LogErrors, "spool cannot be made: %s", error.c_str());
        return AQ5_INIT_SPOOL_UNUSABLE;
    }
    std::unique_ptr<Gateway> made(new Gateway());
    made->config_ = std::move(load.config);
    made->host_ = HostName();
    made->from_ = made->config_.from.empty() ? "varno-agent@" + made->host_ : made->config_.from;
    made->reader_ = std::make_unique<MailboxReader>(made->config_.mailboxes, !InotifyRefused());
    made->spool_ = std::move(spool);
    made->sender_ = std::make_unique<Sender>(*made->spool_, made->config_.timeoutSeconds, made->config_.retrySeconds);
    if (!made->sender_->Start())
        return AQ5_INIT_SPOOL_UNUSABLE;
    LogLine(LogEvents, "initialised: %zu mailboxes, spool %s", made->config_.mailboxes.size(),
            made->spool_->Folder().c_str());
    gateway = std::move(made);
    return AQ5_OK;
}

Gateway::~Gateway()
{
    if (sender_)
        sender_->Join();
}

void Gateway::StopActions()
{
    sender_->Stop();
    LogLine(LogEvents, "sending stopped for this run; the spool is kept");
}

int Gateway::Send(const char* addressText, char type, const char* subjectText, const char* text, char flag)
{
    if (type == 0)
        type = 'I';
    if (type != 'I' && type != 'L' && type != 'Q' && type != 'V' && type != 'F' && type != 'Z') {
        LogLine(LogErrors, "message of unknown address type %d refused", static_cast<unsigned char>(type));
        return AQ5_SEND_UNKNOWN_TYPE;
    }
    const std::string address = TextOf(addressText);
    if (!UsableAddress(address)) {
        LogLine(LogErrors, "message of type %c refused: the address \"%s\" is empty or unusable", type,
                address.c_str());
        return AQ5_SEND_NO_ADDRESS;
    }
    MessageInput input;
    input.from = from_;
    input.to = address;
    input.subject = subjectText == nullptr ? std::string_view() : std::string_view(subjectText);
    input.text = text == nullptr ? std::string_view() : std::string_view(text);
    input.flag = flag;

    if (type == 'L') {
        for (const MailboxConfig& mailbox : config_.mailboxes) {
            if ((mailbox.phone.empty() || mailbox.phone != address) &&
                (mailbox.owner.empty() || mailbox.owner != address))
                continue;
            std::string error;
            const std::string message = FormatMessage(input, ::time(nullptr), NewMessageId(host_));
            if (!DeliverToMaildir(mailbox.maildir, message, error)) {
                LogLine(LogErrors, "message to %s not delivered: %s", address.c_str(), error.c_str());
                return AQ5_SEND_SPOOL_FAILED;
            }
            LogLine(LogEvents, "message to %s delivered into mailbox %s", address.c_str(), mailbox.label.c_str());
            return AQ5_OK;
        }
        LogLine(LogErrors, "message to %s refused: no mailbox has that Phone= or Owner=", address.c_str());
        return AQ5_SEND_NO_MAILBOX;
    }

    SpoolEntry entry;
    entry.type = type;
    entry.address = address;
    if (type == 'I') {
        entry.command = SplitCommand(config_.sendmail);
    } else {
        const auto route = config_.routes.find(type);
        if (route == config_.routes.end() || route->second.empty() || route->second == "|") {
            LogLine(LogErrors, "message of type %c to %s refused: no route in [Routes]", type, address.c_str());
            return AQ5_SEND_NO_ROUTE;
        }
        if (route->second[0] == '|') {
            entry.command = SplitCommand(std::string_view(route->second).substr(1), address);
        } else {
            input.to = FillTemplate(route->second, address);
            entry.command = SplitCommand(config_.sendmail);
        }
    }
    if (entry.command.empty()) {
        LogLine(LogErrors, "message of type %c to %s refused: the command is empty", type, address.c_str());
        return AQ5_SEND_NO_ROUTE;
    }
    entry.message = FormatMessage(input, ::time(nullptr), NewMessageId(host_));
    std::string error;
    if (!spool_->Add(entry, error)) {
        LogLine(LogErrors, "message to %s not spooled: %s", address.c_str(), error.c_str());
        return AQ5_SEND_SPOOL_FAILED;
    }
    LogLine(LogEvents, "message %s (type %c) to %s spooled", entry.name.c_str(), type, address.c_str());
    sender_->Wake();
    return AQ5_OK;
}

}  // namespace varno::agentq5
