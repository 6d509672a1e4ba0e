// qlinmon - lists the PBX lines, follows the states of one line and sends commands for it,
// through the agent's line interface. A small example of a client of libQLIN2.so.
#include "qlin2/qlin2.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <getopt.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>

namespace varno::qlinmon {
namespace {

const char kUsage[] = "Usage: qlinmon [OPTIONS] COMMAND [ARGUMENTS]\n"
                      "Follows and operates PBX lines through the agent's line interface (libQLIN2.so).\n"
                      "\n"
                      "Commands:\n"
                      "  lines                  list the lines the agent has published\n"
                      "  watch LINE             print each state record of LINE as it arrives (until Ctrl-C):\n"
                      "                         time, line index and name, state code, text\n"
                      "  speaker LINE           switch the speaker of LINE on or off\n"
                      "  mic LINE               switch the microphone of LINE on or off\n"
                      "  volup LINE             raise the volume of LINE\n"
                      "  voldown LINE           lower the volume of LINE\n"
                      "  dial LINE DIGITS       dial DIGITS (at most 30 of " QLIN_DIAL_CHARACTERS ") on LINE\n"
                      "LINE is a line name as listed by \"lines\"; only its first 4 characters count.\n"
                      "\n"
                      "Options:\n"
                      "  -c, --capacity N       watch: ring size in records, 1 to 30 (default 30)\n"
                      "  -n, --count N          watch: stop after N records\n"
                      "  -i, --interval MS      watch: read the ring every MS milliseconds (default 100)\n"
                      "  -l, --linger MS        commands: keep the slot MS milliseconds after sending, so that\n"
                      "                         the agent can take the command (default 1000)\n"
                      "  -h, --help             show this help\n"
                      "\n"
                      "Environment: QLIN2_SHM_NAME selects another shared block than /dllmemfilemap.\n"
                      "Exit status: 0 done, 1 refused by the line interface, 2 wrong usage.\n";

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

struct Options {
    int Capacity = QLIN_MAX_CAPACITY;
    long Count = -1;
    int IntervalMs = 100;
    int LingerMs = 1000;
};

int UsageError(const char* message)
{
    std::fprintf(stderr, "qlinmon: %s (see qlinmon --help)\n", message);
    return 2;
}

bool ParseNumber(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

const char* OpenError(int result)
{
    switch (result) {
    case QLIN_ERR_NO_SLOT: return "all five client slots are in use";
    case QLIN_ERR_AGENT_INACTIVE: return "the agent is not active";
    case QLIN_ERR_NO_LINE: return "the agent has published no line of that name";
    case QLIN_ERR_CAPACITY: return "the capacity must lie in 1...30";
    case QLIN_ERR_NO_BLOCK: return "the shared block is not available";
    default: return "unknown refusal";
    }
}

int OpenSlot(const char* line, int capacity)
{
    const int slot = QLIN_Open(line, capacity);
    if (slot < 0)
        std::fprintf(stderr, "qlinmon: cannot open line %s: %s (%d)\n", line, OpenError(slot), slot);
    return slot;
}

std::string LineName(int index)
{
    char names[QLIN_LINE_NAMES_SIZE];
    const int count = QLIN_GetLines(names);
    if (index < 0 || index >= count)
        return "?";
    return std::string(names + QLIN_LINE_NAME_SIZE * index,
                       strnlen(names + QLIN_LINE_NAME_SIZE * index, QLIN_LINE_NAME_SIZE));
}

// A text from the block, with anything unprintable shown as \xNN.
std::string Printable(const char* text, size_t size)
{
    std::string result;
    for (size_t i = 0; i < size && text[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            result += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            result += escaped;
        }
    }
    return result;
}

std::string TimeOfDay()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                  long(now.tv_usec / 1000));
    return text;
}

int ListLines()
{
    char names[QLIN_LINE_NAMES_SIZE];
    const int count = QLIN_GetLines(names);
    if (count == 0)
        std::printf("no lines published (is the agent running?)\n");
    for (int i = 0; i < count; ++i)
        std::printf("%2d %s\n", i, Printable(names + QLIN_LINE_NAME_SIZE * i, QLIN_LINE_NAME_SIZE).c_str());
    return 0;
}

int WatchLine(const char* line, const Options& options)
{
    const int slot = OpenSlot(line, options.Capacity);
    if (slot < 0)
        return 1;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::fprintf(stderr, "qlinmon: watching line %s in slot %d\n", line, slot);
    TStates records[QLIN_MAX_CAPACITY];
    long printed = 0;
    while (!stopRequested && printed != options.Count) {
        const int n = QLIN_GetStates(slot, records);
        if (n == options.Capacity)
            std::fprintf(stderr, "qlinmon: the ring was full; older records may be lost\n");
        for (int i = 0; i < n && printed != options.Count; ++i, ++printed) {
            const TStates& r = records[i];
            std::printf("%s line %d [%s] state %d text \"%s\"\n", TimeOfDay().c_str(), r.Line,
                        Printable(LineName(r.Line).c_str(), QLIN_LINE_NAME_SIZE).c_str(), r.State,
                        Printable(r.Text, sizeof r.Text).c_str());
        }
        std::fflush(stdout);
        if (n == 0)
            usleep(static_cast<useconds_t>(options.IntervalMs) * 1000);
    }
    QLIN_Close(slot);
    return 0;
}

int SendCommand(const char* line, int code, const char* digits, const Options& options)
{
    TStates command{};
    command.Line = -1;  // the line of our slot
    command.State = code;
    if (digits != nullptr) {
        const size_t length = std::strlen(digits);
        if (length == 0 || length > QLIN_DIAL_DIGITS_MAX)
            return UsageError("DIGITS must be 1 to 30 characters");
        if (std::strspn(digits, QLIN_DIAL_CHARACTERS) != length)
            return UsageError("DIGITS may only hold " QLIN_DIAL_CHARACTERS);
        std::memcpy(command.Text, digits, length);
    }
    const int slot = OpenSlot(line, 1);
    if (slot < 0)
        return 1;
    const int sent = QLIN_PutCommand(slot, &command);
    if (sent == 1) {
        std::printf("command %d sent for line %d [%s]\n", code, command.Line,
                    Printable(LineName(command.Line).c_str(), QLIN_LINE_NAME_SIZE).c_str());
        std::fflush(stdout);
        // Commands of a closed slot are not delivered: give the agent time to take it.
        usleep(static_cast<useconds_t>(options.LingerMs) * 1000);
    } else {
        std::fprintf(stderr, "qlinmon: the command was not taken (queue full or agent not reachable)\n");
    }
    QLIN_Close(slot);
    return sent == 1 ? 0 : 1;
}

int Run(int argc, char** argv)
{
    static const option longOptions[] = {
        {"capacity", required_argument, nullptr, 'c'}, {"count", required_argument, nullptr, 'n'},
        {"interval", required_argument, nullptr, 'i'}, {"linger", required_argument, nullptr, 'l'},
        {"help", no_argument, nullptr, 'h'},           {nullptr, 0, nullptr, 0},
    };
    Options options;
    int option;
    long value = 0;
    while ((option = getopt_long(argc, argv, "+c:n:i:l:h", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'c':
            if (!ParseNumber(optarg, 1, QLIN_MAX_CAPACITY, value))
                return UsageError("the capacity must be a number from 1 to 30");
            options.Capacity = int(value);
            break;
        case 'n':
            if (!ParseNumber(optarg, 1, 1000000000L, value))
                return UsageError("the count must be a positive number");
            options.Count = value;
            break;
        case 'i':
        case 'l':
            if (!ParseNumber(optarg, 0, 60000, value))
                return UsageError("milliseconds must be a number from 0 to 60000");
            (option == 'i' ? options.IntervalMs : options.LingerMs) = int(value);
            break;
        case 'h': std::fputs(kUsage, stdout); return 0;
        default: return UsageError("unknown option");
        }
    }
    const int left = argc - optind;
    if (left < 1)
        return UsageError("no command given");
    const std::string command = argv[optind];
    const char* line = left >= 2 ? argv[optind + 1] : nullptr;

    if (command == "lines" && left == 1)
        return ListLines();
    if (command == "watch" && left == 2)
        return WatchLine(line, options);
    if (command == "dial" && left == 3)
        return SendCommand(line, QLIN_CMD_DIAL, argv[optind + 2], options);
    const struct {
        const char* Name;
        int Code;
    } simpleCommands[] = {
        {"speaker", QLIN_CMD_SPEAKER},
        {"mic", QLIN_CMD_MICROPHONE},
        {"volup", QLIN_CMD_VOLUME_UP},
        {"voldown", QLIN_CMD_VOLUME_DOWN},
    };
    for (const auto& simple : simpleCommands) {
        if (command == simple.Name && left == 2)
            return SendCommand(line, simple.Code, nullptr, options);
    }
    return UsageError(("wrong command or arguments: " + command).c_str());
}

}  // namespace
}  // namespace varno::qlinmon

int main(int argc, char** argv) { return varno::qlinmon::Run(argc, argv); }
