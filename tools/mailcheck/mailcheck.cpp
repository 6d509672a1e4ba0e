// mailcheck CONFIG [--user U] [--password P] [--workdir DIR] [--debug N]
//           [--send TYPE ADDRESS SUBJECT TEXT]
// Initialises the mail gateway as the agent does, reads every mailbox once and prints one line
// each; with --send it also sends one message and waits until the spool has handed it on.
#include "agentq5/agentq5.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char* InitMeaning(int result)
{
    switch (result) {
    case AQ5_INIT_CONFIG_UNREADABLE: return "the configuration file cannot be read";
    case AQ5_INIT_MAILDIR_MISSING: return "a [Mailbox] section lacks Maildir=";
    case AQ5_INIT_USER_DIFFERS: return "the user name differs from [Gateway] User=";
    case AQ5_INIT_PASSWORD_WRONG: return "the password does not verify against PasswordHash=";
    case AQ5_INIT_SPOOL_UNUSABLE: return "the spool folder in the working directory cannot be made";
    case AQ5_INIT_ALREADY: return "initialised already";
    default: return "unknown result";
    }
}

const char* SendMeaning(int result)
{
    switch (result) {
    case AQ5_SEND_NOT_INITIALISED: return "the gateway is not initialised";
    case AQ5_SEND_NO_ADDRESS: return "the address is empty or unusable";
    case AQ5_SEND_NO_ROUTE: return "no [Routes] entry (or no command) for the type";
    case AQ5_SEND_NO_MAILBOX: return "no mailbox has that Phone= or Owner=";
    case AQ5_SEND_SPOOL_FAILED: return "the message could not be written";
    case AQ5_SEND_UNKNOWN_TYPE: return "unknown address type";
    default: return "unknown result";
    }
}

std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The [Gateway] User= and Timeout= of the configuration, as the library reads them.
void GatewayValues(const std::string& path, std::string& user, int& timeout)
{
    std::ifstream file(path);
    std::string line;
    bool inGateway = false;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inGateway = Lower(Trim(line.substr(1, line.size() > 1 ? line.size() - 2 : 0))) == "gateway";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inGateway || equals == std::string::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        if (key == "user")
            user = Trim(line.substr(equals + 1));
        else if (key == "timeout")
            timeout = std::atoi(Trim(line.substr(equals + 1)).c_str());
    }
}

size_t SpoolWaiting(const std::string& workDir)
{
    size_t waiting = 0;
    DIR* dir = ::opendir((workDir + "/agentq5-spool").c_str());
    if (dir == nullptr)
        return 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == 'm')
            ++waiting;
    }
    ::closedir(dir);
    return waiting;
}

int Usage()
{
    std::fprintf(stderr, "usage: mailcheck CONFIG [--user U] [--password P] [--workdir DIR] [--debug N]\n"
                         "                 [--send TYPE ADDRESS SUBJECT TEXT]\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string config = argv[1];
    std::string user;
    bool userGiven = false;
    std::string password;
    std::string workDir;
    unsigned long debug = 1;
    bool send = false;
    char sendType = 'I';
    std::string address;
    std::string subject;
    std::string text;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&](int count) { return i + count < argc; };
        if (option == "--user" && value(1)) {
            user = argv[++i];
            userGiven = true;
        } else if (option == "--password" && value(1)) {
            password = argv[++i];
        } else if (option == "--workdir" && value(1)) {
            workDir = argv[++i];
        } else if (option == "--debug" && value(1)) {
            debug = std::strtoul(argv[++i], nullptr, 10);
        } else if (option == "--send" && value(4)) {
            send = true;
            const std::string type = argv[++i];
            sendType = type == "0" ? '\0' : type[0];
            if (type.size() > 1)
                return Usage();
            address = argv[++i];
            subject = argv[++i];
            text = argv[++i];
        } else {
            return Usage();
        }
    }
    int timeout = 60;
    std::string configUser;
    GatewayValues(config, configUser, timeout);
    if (!userGiven)
        user = configUser;
    bool ownWorkDir = false;
    if (workDir.empty()) {
        char made[] = "/tmp/mailcheck.XXXXXX";
        if (::mkdtemp(made) == nullptr) {
            std::fprintf(stderr, "mailcheck: no working directory: %s\n", std::strerror(errno));
            return 2;
        }
        workDir = made;
        ownWorkDir = true;
    }

    SetDebugLevel(static_cast<uint32_t>(debug));
    const int init = InicializaceQ5Komunikace(config.c_str(), user.c_str(), workDir.c_str(), password.c_str());
    // A working directory made for this run goes again unless a message is left in its spool.
    const auto cleanUp = [&] {
        if (!ownWorkDir || SpoolWaiting(workDir) > 0)
            return;
        const std::string spool = workDir + "/agentq5-spool";
        ::unlink((spool + "/lock").c_str());
        ::rmdir((spool + "/tmp").c_str());
        ::rmdir(spool.c_str());
        ::rmdir(workDir.c_str());
    };
    if (init != AQ5_OK) {
        std::fprintf(stderr, "mailcheck: initialisation failed with %d: %s\n", init, InitMeaning(init));
        cleanUp();
        return 2;
    }
    int exitCode = 0;
    AQ5_Params params{};
    params.Mode = AQ5_MODE_ALL;
    AQ5_Mailbox* first = nullptr;
    const int read = NactiZmenyVeSchrankach(&first, &params);
    if (read != AQ5_OK) {
        std::fprintf(stderr, "mailcheck: reading the mailboxes failed with %d\n", read);
        exitCode = 3;
    } else {
        for (const AQ5_Mailbox* mailbox = first; mailbox != nullptr; mailbox = mailbox->Next) {
            if (mailbox->Readable == 0) {
                std::printf("%s: owner \"%s\", phone \"%s\": unreadable\n", mailbox->Label, mailbox->Owner,
                            mailbox->Phone);
                continue;
            }
            std::printf("%s: owner \"%s\", phone \"%s\": %u texts, %u faxes, %u voice\n", mailbox->Label,
                        mailbox->Owner, mailbox->Phone, mailbox->Texts, mailbox->Faxes, mailbox->Voice);
        }
        PotvrdPreneseniZmenVeSchrankach(&first);
    }
    if (send && exitCode == 0) {
        const int sent = PosliStavovouZpravu(address.c_str(), sendType, subject.c_str(), text.c_str(), 1);
        if (sent != AQ5_OK) {
            std::fprintf(stderr, "mailcheck: message not taken over (%d): %s\n", sent, SendMeaning(sent));
            exitCode = 4;
        } else if (sendType == 'L') {
            std::printf("message delivered into the mailbox of %s\n", address.c_str());
        } else {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout + 5);
            while (SpoolWaiting(workDir) > 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (SpoolWaiting(workDir) == 0) {
                std::printf("message to %s handed on\n", address.c_str());
            } else {
                std::fprintf(stderr, "mailcheck: the message is still in the spool %s/agentq5-spool\n",
                             workDir.c_str());
                exitCode = 4;
            }
        }
    }
    DeInicializaceQ5Komunikace();
    cleanUp();
    return exitCode;
}
