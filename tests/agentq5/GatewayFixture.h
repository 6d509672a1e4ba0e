// Real Maildirs, a real configuration and a sendmail stand-in in a temporary folder, and the
// records of a read turned into plain values for the checks.
#ifndef VARNO_TESTS_AGENTQ5_GATEWAYFIXTURE_H
#define VARNO_TESTS_AGENTQ5_GATEWAYFIXTURE_H

#include "agentq5/agentq5.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace varno::agentq5::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& content, unsigned mode = 0644);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeMaildir(const std::string& path);
void RemoveTree(const std::string& path);
// Names of the regular files in dir not beginning with '.', sorted.
std::vector<std::string> FilesIn(const std::string& dir);
// Polls until done() holds or the deadline passes; the result of the last poll.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 8000);

struct MessageView {
    uint32_t index = 0;
    uint32_t flags = 0;
    uint32_t id = 0;
    std::string unique;
};

struct FolderView {
    char category = 0;
    uint16_t count = 0;
    std::string name;
    std::vector<MessageView> messages;
};

struct MailboxView {
    const AQ5_Mailbox* record = nullptr;
    uint32_t index = 0;
    bool readable = false;
    std::string owner;
    std::string phone;
    std::string label;
    int32_t event = 0;
    uint32_t texts = 0;
    uint32_t faxes = 0;
    uint32_t voice = 0;
    std::vector<FolderView> folders;

    // The messages of all folder records with these flags, as "folder/unique", sorted.
    std::vector<std::string> With(uint32_t flags) const;
    uint32_t IdOf(const std::string& unique) const;
};

std::vector<MailboxView> ViewOf(const AQ5_Mailbox* first);
const MailboxView* Find(const std::vector<MailboxView>& read, const std::string& label);

// One call of the sendmail stand-in: its arguments and the message it got on standard input.
struct SentMessage {
    std::vector<std::string> arguments;
    std::string message;
    std::string Header(const std::string& name) const;  // first field of that name, unfolded
    std::string Body() const;
};

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the Maildir (with .Fax and .Voice when folders is set) and a [Mailbox] section for it.
    std::string AddMailbox(const std::string& label, const std::string& owner, const std::string& phone,
                           bool folders = false);
    void WriteConfig(const std::string& gatewayExtra = "", const std::string& tail = "");
    int Init(const std::string& user = "agent", const std::string& password = "");
    std::vector<MailboxView> Read(int32_t mode);
    void ConfirmAll();
    int FastTest() { return RychlyTestZmenVeSchrankach(); }
    // Reads in mode 3 and confirms until the fast test is quiet (change times need a moment
    // before they can be trusted); false when it never settles.
    bool Settle();

    // Maildir operations; folder "" is the Maildir itself, else ".Name".
    void Deliver(const std::string& maildir, const std::string& unique, const std::string& folder = "");
    void MoveToCur(const std::string& maildir, const std::string& unique, const std::string& flags,
                   const std::string& folder = "");
    void RemoveMessage(const std::string& maildir, const std::string& unique, const std::string& folder = "");

    std::vector<SentMessage> Sent() const;

    TempDir temp_;
    std::string root_;
    std::string work_;
    std::string config_;
    std::string sendmail_;
    std::string mailboxSections_;
    AQ5_Mailbox* first_ = nullptr;
};

}  // namespace varno::agentq5::test

#endif
