// Initialisation: each refusal with its number, the password against a real crypt hash, and a
// configuration that is odd but usable.
#include "agentq5/GatewayConfig.h"
#include "tests/agentq5/GatewayFixture.h"

#include <crypt.h>
#include <memory>

namespace varno::agentq5::test {
namespace {

class Agentq5Init : public GatewayTest {};

std::string Sha512Hash(const std::string& password)
{
    auto data = std::make_unique<crypt_data>();
    const char* hash = ::crypt_r(password.c_str(), "$6$VarnoSalt0123$", data.get());
    return hash == nullptr ? std::string() : std::string(hash);
}

TEST_F(Agentq5Init, EachRefusalHasItsNumber)
{
    const std::string hash = Sha512Hash("Tajne heslo 1");
    ASSERT_EQ(hash.rfind("$6$", 0), 0U);
    AddMailbox("anna", "Anna", "201");
    WriteFile(work_ + "/plain-file", "x");
    struct Case {
        const char* what;
        std::string config;
        std::string user;
        std::string password;
        std::string workDir;
        int result;
    };
    const std::string good = "[Gateway]\nUser=agent\nPasswordHash=" + hash + "\n" + mailboxSections_;
    const std::vector<Case> cases = {
        {"no such file", "", "agent", "Tajne heslo 1", work_, AQ5_INIT_CONFIG_UNREADABLE},
        {"mailbox without Maildir", "[Gateway]\nUser=agent\n[Mailbox x]\nOwner=X\n", "agent", "", work_,
         AQ5_INIT_MAILDIR_MISSING},
        {"other user", good, "intruder", "Tajne heslo 1", work_, AQ5_INIT_USER_DIFFERS},
        {"user differs in case", good, "Agent", "Tajne heslo 1", work_, AQ5_INIT_USER_DIFFERS},
        {"wrong password", good, "agent", "tajne heslo 1", work_, AQ5_INIT_PASSWORD_WRONG},
        {"empty password", good, "agent", "", work_, AQ5_INIT_PASSWORD_WRONG},
        {"no hash, a password", "[Gateway]\nUser=agent\n", "agent", "x", work_, AQ5_INIT_PASSWORD_WRONG},
        {"hash of no known kind", "[Gateway]\nUser=agent\nPasswordHash=$99$nonsense\n", "agent", "x", work_,
         AQ5_INIT_PASSWORD_WRONG},
        {"working directory is a file", good, "agent", "Tajne heslo 1", work_ + "/plain-file", AQ5_INIT_SPOOL_UNUSABLE},
        {"no working directory", good, "agent", "Tajne heslo 1", "", AQ5_INIT_SPOOL_UNUSABLE},
        {"all right", good, "agent", "Tajne heslo 1", work_, AQ5_OK},
        {"no hash, no password", "[Gateway]\nUser=agent\n", "agent", "", work_, AQ5_OK},
    };
    for (const Case& c : cases) {
        const std::string path = c.config.empty() ? root_ + "/missing.ini" : config_;
        if (!c.config.empty())
            WriteFile(config_, c.config);
        EXPECT_EQ(InicializaceQ5Komunikace(path.c_str(), c.user.c_str(), c.workDir.c_str(), c.password.c_str()),
                  c.result)
            << c.what;
        DeInicializaceQ5Komunikace();
    }
    EXPECT_EQ(InicializaceQ5Komunikace(nullptr, nullptr, nullptr, nullptr), AQ5_INIT_CONFIG_UNREADABLE);
}

TEST_F(Agentq5Init, SecondInitialisationIsRefusedUntilDeinitialised)
{
    AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    EXPECT_EQ(Init(), AQ5_INIT_ALREADY);
    EXPECT_EQ(DeInicializaceQ5Komunikace(), 0);
    EXPECT_EQ(DeInicializaceQ5Komunikace(), 0);
    EXPECT_EQ(Init(), 0);
}

TEST_F(Agentq5Init, OddButUsableConfigurationIsRead)
{
    const ConfigLoad load = ParseGatewayConfig("\xef\xbb\xbf# comment\r\n"
                                               "  [ GATEWAY ]  \r\n"
                                               " USER = agent \r\n"
                                               "timeout = 7\n"
                                               "Retry=not a number\n"
                                               "Unknown=1\n"
                                               "garbage line\n"
                                               "[Elsewhere]\nKey=1\n"
                                               "[mailbox  Anna Nová ]\n"
                                               "maildir=/srv/mail/anna///\n"
                                               "FAX=.Faxy\n"
                                               "[Routes]\nq=%s@sms.example.net\nV=|/usr/bin/say %s\nX=nothing\n");
    EXPECT_EQ(load.error, ConfigError::None);
    EXPECT_EQ(load.config.user, "agent");
    EXPECT_EQ(load.config.timeoutSeconds, 7);
    EXPECT_EQ(load.config.retrySeconds, 5);
    ASSERT_EQ(load.config.mailboxes.size(), 1U);
    EXPECT_EQ(load.config.mailboxes[0].label, "Anna Nová");
    EXPECT_EQ(load.config.mailboxes[0].maildir, "/srv/mail/anna");
    EXPECT_EQ(load.config.mailboxes[0].faxFolder, ".Faxy");
    EXPECT_EQ(load.config.mailboxes[0].voiceFolder, ".Voice");
    EXPECT_EQ(load.config.routes.size(), 2U);
    EXPECT_EQ(load.config.routes.at('Q'), "%s@sms.example.net");
    EXPECT_EQ(load.config.sendmail, "/usr/sbin/sendmail -t -i");
}

}  // namespace
}  // namespace varno::agentq5::test
