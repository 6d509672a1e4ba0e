// The mail gateway's reads against many mailboxes: a full read, the fast test with nothing
// changed and a change read after one new message, each repeated and reported as its median,
// for 1,000 and for 100 messages per mailbox, with inotify and with change times.
//
//   bench_mailboxscan [--mailboxes N] [--repeat R] [--keep]
#include "agentq5/agentq5.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void MakeMaildir(const std::string& path)
{
    ::mkdir(path.c_str(), 0700);
    for (const char* sub : {"/cur", "/new", "/tmp"})
        ::mkdir((path + sub).c_str(), 0700);
}

// Empty files are enough: the gateway never opens a message.
bool Touch(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Half in new/, half in cur/ of which every fourth is seen.
bool FillMailbox(const std::string& maildir, int messages)
{
    char name[128];
    for (int i = 0; i < messages; ++i) {
        if (i % 2 == 0)
            std::snprintf(name, sizeof name, "%s/new/17%08d.M%dP1.bench", maildir.c_str(), i, i);
        else
            std::snprintf(name, sizeof name, "%s/cur/17%08d.M%dP1.bench:2,%s", maildir.c_str(), i, i,
                          i % 4 == 1 ? "S" : "");
        if (!Touch(name))
            return false;
    }
    return true;
}

void RemoveTree(const std::string& path)
{
    ::nftw(
        path.c_str(),
        [](const char* file, const struct stat*, int, FTW*) {
            ::remove(file);
            return 0;
        },
        64, FTW_DEPTH | FTW_PHYS);
}

struct Figures {
    double fullRead = 0;
    double fastTest = 0;
    double changeRead = 0;
    unsigned waiting = 0;
};

int Read(int32_t mode, AQ5_Mailbox** first)
{
    AQ5_Params params{};
    params.Mode = mode;
    const int result = NactiZmenyVeSchrankach(first, &params);
    if (result != 0)
        std::fprintf(stderr, "bench: read failed with %d\n", result);
    return result;
}

bool Measure(const std::string& config, const std::string& work, const std::vector<std::string>& maildirs, int repeat,
             Figures& figures)
{
    if (InicializaceQ5Komunikace(config.c_str(), "bench", work.c_str(), "") != 0) {
        std::fprintf(stderr, "bench: initialisation failed\n");
        return false;
    }
    std::vector<double> full;
    AQ5_Mailbox* first = nullptr;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        if (Read(AQ5_MODE_ALL, &first) != 0)
            return false;
        PotvrdPreneseniZmenVeSchrankach(&first);
        full.push_back(Milliseconds(Clock::now() - start));
    }
    figures.waiting = 0;
    for (const AQ5_Mailbox* mailbox = first; mailbox != nullptr; mailbox = mailbox->Next)
        figures.waiting += mailbox->Texts;
    // Change times of folders changed a moment ago are not trusted yet: let them age.
    ::usleep(300 * 1000);
    Read(AQ5_MODE_CHANGES, &first);
    PotvrdPreneseniZmenVeSchrankach(&first);

    std::vector<double> fast;
    for (int i = 0; i < repeat * 10; ++i) {
        const auto start = Clock::now();
        const int changed = RychlyTestZmenVeSchrankach();
        fast.push_back(Milliseconds(Clock::now() - start));
        if (changed != 0) {
            std::fprintf(stderr, "bench: the fast test saw a change where there was none\n");
            return false;
        }
    }

    std::vector<double> change;
    static int delivered = 0;
    for (int i = 0; i < repeat * 4; ++i) {
        const std::string& maildir = maildirs[static_cast<size_t>(i * 37) % maildirs.size()];
        Touch(maildir + "/new/18" + std::to_string(delivered++) + ".M1P2.bench-new");
        if (RychlyTestZmenVeSchrankach() == 0) {
            std::fprintf(stderr, "bench: the fast test missed a new message\n");
            return false;
        }
        const auto start = Clock::now();
        if (Read(AQ5_MODE_CHANGES, &first) != 0)
            return false;
        PotvrdPreneseniZmenVeSchrankach(&first);
        change.push_back(Milliseconds(Clock::now() - start));
        if (first == nullptr) {
            std::fprintf(stderr, "bench: the change read missed a new message\n");
            return false;
        }
    }
    DeInicializaceQ5Komunikace();
    figures.fullRead = Median(full);
    figures.fastTest = Median(fast);
    figures.changeRead = Median(change);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int mailboxes = 200;
    int repeat = 5;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mailboxes") == 0 && i + 1 < argc)
            mailboxes = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else {
            std::fprintf(stderr, "usage: bench_mailboxscan [--mailboxes N] [--repeat R] [--keep]\n");
            return 1;
        }
    }
    char pattern[] = "/tmp/aq5bench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 1;
    const std::string root = pattern;
    std::printf("# %d mailboxes in %s; medians of %d full reads, %d fast tests, %d change reads\n", mailboxes,
                root.c_str(), repeat, repeat * 10, repeat * 4);
    std::printf("%-9s %-12s %9s %12s %14s %15s\n", "messages", "watch", "waiting", "full read", "fast test",
                "change read");
    bool ok = true;
    for (const int messages : {1000, 100}) {
        const std::string set = root + "/m" + std::to_string(messages);
        ::mkdir(set.c_str(), 0700);
        const std::string work = set + "/work";
        ::mkdir(work.c_str(), 0700);
        std::string config = "[Gateway]\nUser=bench\n";
        std::vector<std::string> maildirs;
        const auto made = Clock::now();
        for (int m = 0; m < mailboxes && ok; ++m) {
            const std::string maildir = set + "/box" + std::to_string(m);
            MakeMaildir(maildir);
            ok = FillMailbox(maildir, messages);
            maildirs.push_back(maildir);
            config += "[Mailbox box" + std::to_string(m) + "]\nPhone=" + std::to_string(200 + m) +
                      "\nMaildir=" + maildir + "\n";
        }
        std::fprintf(stderr, "# %d x %d messages made in %.0f ms\n", mailboxes, messages,
                     Milliseconds(Clock::now() - made));
        const std::string configPath = set + "/gateway.ini";
        FILE* file = std::fopen(configPath.c_str(), "w");
        if (file == nullptr)
            return 1;
        std::fputs(config.c_str(), file);
        std::fclose(file);
        for (const bool inotify : {true, false}) {
            if (inotify)
                ::unsetenv("AGENTQ5_NO_INOTIFY");
            else
                ::setenv("AGENTQ5_NO_INOTIFY", "1", 1);
            Figures figures;
            if (!ok || !Measure(configPath, work, maildirs, repeat, figures)) {
                ok = false;
                break;
            }
            std::printf("%-9d %-12s %9u %9.1f ms %11.3f ms %12.2f ms\n", messages, inotify ? "inotify" : "change times",
                        figures.waiting, figures.fullRead, figures.fastTest, figures.changeRead);
            std::fflush(stdout);
        }
    }
    if (!keep)
        RemoveTree(root);
    return ok ? 0 : 1;
}
