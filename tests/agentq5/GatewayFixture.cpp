#include "tests/agentq5/GatewayFixture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varno::agentq5::test {

TempDir::TempDir()
{
    char pattern[] = "/tmp/aq5test.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() { RemoveTree(path_); }

void WriteFile(const std::string& path, const std::string& content, unsigned mode)
{
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << content;
        if (!file)
            throw std::runtime_error("cannot write " + path);
    }
    ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void MakeMaildir(const std::string& path)
{
    ::mkdir(path.c_str(), 0700);
    for (const char* sub : {"/cur", "/new", "/tmp"})
        ::mkdir((path + sub).c_str(), 0700);
}

void RemoveTree(const std::string& path)
{
    ::nftw(
        path.c_str(),
        [](const char* file, const struct stat*, int, FTW*) {
            ::remove(file);
            return 0;
        },
        32, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr)
        return names;
    while (const dirent* entry = ::readdir(handle)) {
        if (entry->d_name[0] != '.' && entry->d_type == DT_REG)
            names.emplace_back(entry->d_name);
    }
    ::closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> MailboxView::With(uint32_t flags) const
{
    std::vector<std::string> found;
    for (const FolderView& folder : folders) {
        for (const MessageView& message : folder.messages) {
            if (message.flags == flags)
                found.push_back(folder.name + "/" + message.unique);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

uint32_t MailboxView::IdOf(const std::string& unique) const
{
    for (const FolderView& folder : folders) {
        for (const MessageView& message : folder.messages) {
            if (message.unique == unique)
                return message.id;
        }
    }
    ADD_FAILURE() << "no message " << unique << " in mailbox " << label;
    return 0;
}

std::vector<MailboxView> ViewOf(const AQ5_Mailbox* first)
{
    std::vector<MailboxView> views;
    for (const AQ5_Mailbox* mailbox = first; mailbox != nullptr; mailbox = mailbox->Next) {
        MailboxView view;
        view.record = mailbox;
        view.index = mailbox->Index;
        view.readable = mailbox->Readable != 0;
        view.owner = std::string(mailbox->Owner, strnlen(mailbox->Owner, sizeof mailbox->Owner));
        view.phone = std::string(mailbox->Phone, strnlen(mailbox->Phone, sizeof mailbox->Phone));
        view.label = std::string(mailbox->Label, strnlen(mailbox->Label, sizeof mailbox->Label));
        view.event = mailbox->Event;
        view.texts = mailbox->Texts;
        view.faxes = mailbox->Faxes;
        view.voice = mailbox->Voice;
        for (const AQ5_Folder* folder = mailbox->First; folder != nullptr; folder = folder->Next) {
            FolderView folderView;
            folderView.category = folder->Category;
            folderView.count = folder->Count;
            folderView.name = std::string(folder->Name, strnlen(folder->Name, sizeof folder->Name));
            for (const AQ5_Message* message = folder->First; message != nullptr; message = message->Next) {
                MessageView messageView;
                messageView.index = message->Index;
                messageView.flags = message->Flags;
                messageView.id = message->Id;
                messageView.unique = std::string(message->Unique, strnlen(message->Unique, sizeof message->Unique));
                folderView.messages.push_back(messageView);
            }
            view.folders.push_back(folderView);
        }
        views.push_back(view);
    }
    return views;
}

const MailboxView* Find(const std::vector<MailboxView>& read, const std::string& label)
{
    for (const MailboxView& view : read) {
        if (view.label == label)
            return &view;
    }
    return nullptr;
}

std::string SentMessage::Header(const std::string& name) const
{
    const size_t end = message.find("\n\n");
    std::istringstream lines(message.substr(0, end));
    std::string line;
    std::string value;
    bool inField = false;
    while (std::getline(lines, line)) {
        if (inField && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            value += line;
            continue;
        }
        if (inField)
            return value;
        if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 && line[name.size()] == ':') {
            value = line.substr(name.size() + 2);
            inField = true;
        }
    }
    return inField ? value : std::string("<none>");
}

std::string SentMessage::Body() const
{
    const size_t end = message.find("\n\n");
    return end == std::string::npos ? std::string() : message.substr(end + 2);
}

void GatewayTest::SetUp()
{
    root_ = temp_.Path();
    work_ = root_ + "/work";
    config_ = root_ + "/gateway.ini";
    ::mkdir(work_.c_str(), 0700);
    ::mkdir((root_ + "/sent").c_str(), 0700);
    // Behaviour switched by marker files: fail (always), fail-once, hang-once, hang.
    sendmail_ = root_ + "/sendmail.sh";
    WriteFile(sendmail_,
              "#!/bin/sh\n"
              "dir='" +
                  root_ +
                  "'\n"
                  "if [ -e \"$dir/fail\" ]; then echo 'mail system down' >&2; exit 1; fi\n"
                  "if [ -e \"$dir/fail-once\" ]; then rm -f \"$dir/fail-once\"; exit 1; fi\n"
                  "if [ -e \"$dir/hang-once\" ]; then rm -f \"$dir/hang-once\"; touch \"$dir/hanging\"; sleep 30; fi\n"
                  "if [ -e \"$dir/hang\" ]; then touch \"$dir/hanging\"; sleep 30; fi\n"
                  "out=\"$dir/sent/$(date +%s%N)\"\n"
                  "{ for a in \"$@\"; do printf '[%s]' \"$a\"; done; printf '\\n'; cat; } > \"$out.tmp\"\n"
                  "mv \"$out.tmp\" \"$out.msg\"\n",
              0755);
    SetDebugLevel(::getenv("AGENTQ5_TEST_DEBUG") != nullptr ? 2 : 0);
}

void GatewayTest::TearDown()
{
    DeInicializaceQ5Komunikace();
    ::unsetenv("AGENTQ5_NO_INOTIFY");
}

std::string GatewayTest::AddMailbox(const std::string& label, const std::string& owner, const std::string& phone,
                                    bool folders)
{
    ::mkdir((root_ + "/mail").c_str(), 0700);
    std::string maildir = root_ + "/mail/" + label;
    MakeMaildir(maildir);
    if (folders) {
        MakeMaildir(maildir + "/.Fax");
        MakeMaildir(maildir + "/.Voice");
    }
    mailboxSections_ += "[Mailbox " + label + "]\nOwner=" + owner + "\nPhone=" + phone + "\nMaildir=" + maildir + "\n";
    return maildir;
}

void GatewayTest::WriteConfig(const std::string& gatewayExtra, const std::string& tail)
{
    WriteFile(config_, "; test gateway\n[Gateway]\nUser=agent\nSendmail=" + sendmail_ + " -t -i\nTimeout=1\nRetry=1\n" +
                           gatewayExtra + "\n" + mailboxSections_ + tail);
}

int GatewayTest::Init(const std::string& user, const std::string& password)
{
    return InicializaceQ5Komunikace(config_.c_str(), user.c_str(), work_.c_str(), password.c_str());
}

std::vector<MailboxView> GatewayTest::Read(int32_t mode)
{
    AQ5_Params params{};
    params.Mode = mode;
    first_ = nullptr;
    EXPECT_EQ(NactiZmenyVeSchrankach(&first_, &params), 0);
    return ViewOf(first_);
}

void GatewayTest::ConfirmAll() { EXPECT_EQ(PotvrdPreneseniZmenVeSchrankach(&first_), 0); }

bool GatewayTest::Settle()
{
    return WaitUntil(
        [this] {
            if (FastTest() == 0)
                return true;
            Read(AQ5_MODE_CHANGES);
            ConfirmAll();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return false;
        },
        10000);
}

void GatewayTest::Deliver(const std::string& maildir, const std::string& unique, const std::string& folder)
{
    const std::string base = folder.empty() ? maildir : maildir + "/" + folder;
    WriteFile(base + "/tmp/" + unique, "From: someone@example.net\nSubject: test\n\nhello\n");
    ASSERT_EQ(::rename((base + "/tmp/" + unique).c_str(), (base + "/new/" + unique).c_str()), 0) << unique;
}

namespace {

// The file of a message in new/ or cur/, found by its unique name.
std::string MessageFile(const std::string& base, const std::string& unique)
{
    for (const char* sub : {"/new/", "/cur/"}) {
        for (const std::string& name : FilesIn(base + sub)) {
            if (name == unique || name.rfind(unique + ":2,", 0) == 0)
                return base + sub + name;
        }
    }
    return {};
}

}  // namespace

void GatewayTest::MoveToCur(const std::string& maildir, const std::string& unique, const std::string& flags,
                            const std::string& folder)
{
    const std::string base = folder.empty() ? maildir : maildir + "/" + folder;
    const std::string from = MessageFile(base, unique);
    ASSERT_FALSE(from.empty()) << unique;
    ASSERT_EQ(::rename(from.c_str(), (base + "/cur/" + unique + ":2," + flags).c_str()), 0);
}

void GatewayTest::RemoveMessage(const std::string& maildir, const std::string& unique, const std::string& folder)
{
    const std::string base = folder.empty() ? maildir : maildir + "/" + folder;
    const std::string file = MessageFile(base, unique);
    ASSERT_FALSE(file.empty()) << unique;
    ASSERT_EQ(::unlink(file.c_str()), 0);
}

std::vector<SentMessage> GatewayTest::Sent() const
{
    std::vector<SentMessage> sent;
    for (const std::string& name : FilesIn(root_ + "/sent")) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".msg") != 0)
            continue;
        const std::string text = ReadFile(root_ + "/sent/" + name);
        SentMessage message;
        const size_t lineEnd = text.find('\n');
        const std::string arguments = text.substr(0, lineEnd);
        for (size_t at = 0; at < arguments.size();) {
            const size_t close = arguments.find(']', at);
            if (arguments[at] != '[' || close == std::string::npos)
                break;
            message.arguments.push_back(arguments.substr(at + 1, close - at - 1));
            at = close + 1;
        }
        message.message = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd + 1);
        sent.push_back(message);
    }
    return sent;
}

}  // namespace varno::agentq5::test
