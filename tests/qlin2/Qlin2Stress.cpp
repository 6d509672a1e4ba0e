// The processes of the stress run, one program with two roles.
//
//   qlin2_stress agent WINDOW RECORDS LINES
//     Binds the endpoint, publishes lines "L0"... and prints "ready"; on "go" writes RECORDS
//     records round-robin over the lines (State = the record's number within its line, Text
//     derived from line and number) and prints "written PER_LINE", taking every announced
//     command meanwhile. On "stop" takes what is left and prints
//     "commands C0 C1 C2 C3 C4 errors E [first error]". A record or command whose call gave up
//     on the block's lock (a reader descheduled while holding it) is tried again.
//
//   qlin2_stress reader LINE CAPACITY COMMANDS
//     Opens a slot for "L<LINE>" and prints "slot N"; then drains its ring and sends COMMANDS
//     commands (State = n % 5, Text "c<slot>-<n>"), retrying each that is refused. On
//     "stop LAST" it finishes its commands, drains the ring and prints
//     "received R lost G errors E [first error]"; it keeps its slot until its input ends.
//
// A reader checks every record in full and that the numbers of a line come in order. A record
// may only be missing where the ring overflowed: a run of missing numbers must directly precede
// a read that returned a full ring (Capacity records), and no number may come twice or late.
#include "qlin2/qlin2.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Errors {
    long count = 0;
    std::string first;
    void add(const std::string& what)
    {
        if (count++ == 0)
            first = what;
    }
    std::string text() const { return "errors " + std::to_string(count) + (count ? " " + first : ""); }
};

TStates expectedRecord(int32_t line, int32_t number)
{
    TStates record{};
    record.Line = line;
    record.State = number;
    int length = std::snprintf(record.Text, sizeof record.Text, "%08x:%02d:", unsigned(number), line);
    for (int i = length; i < QLIN_TEXT_SIZE - 1; ++i)
        record.Text[i] = char('a' + (number + i) % 26);
    return record;
}

// A line of standard input if one is waiting (or, with wait, when it comes); "" otherwise.
std::string inputLine(bool wait)
{
    static std::string pending;
    for (;;) {
        const size_t end = pending.find('\n');
        if (end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, wait ? -1 : 0) <= 0)
            return "";
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return "<eof>";
        pending.append(buffer, size_t(n));
    }
}

int bindEndpoint(uint32_t window)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = QLIN2_EndpointName(address.sun_path + 1, sizeof address.sun_path - 1, window);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (length == 0 || fd == -1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&address), socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length)) != 0)
        return -1;
    return fd;
}

// Tries a call that gave up on the lock so often before the run counts it as failed.
constexpr int kAttempts = 100000;

// QLIN_PutStates, tried again while it gives up on the lock (see StressAgent::takeCommand).
bool putStates(const TStates& record)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (QLIN_PutStates(&record))
            return true;
        usleep(100);
    }
    return false;
}

class StressAgent {
public:
    explicit StressAgent(int endpoint) : endpoint_(endpoint) {}

    // Takes every command whose notification is waiting.
    void takeCommands()
    {
        uint32_t words[4];
        ssize_t size;
        while ((size = recv(endpoint_, words, sizeof words, 0)) >= 0) {
            if (size != 12) {
                errors.add("datagram of " + std::to_string(size) + " bytes");
                continue;
            }
            const int32_t slot = int32_t(words[2]);
            TStates command{};
            if (words[0] != QLIN_AGENT_MESSAGE || slot < 0 || slot >= QLIN_SLOT_COUNT) {
                errors.add("bad notification " + std::to_string(words[0]) + "/" + std::to_string(slot));
                continue;
            }
            if (!takeCommand(slot, command)) {
                errors.add("no command behind a notification for slot " + std::to_string(slot));
                continue;
            }
            const long n = counts[slot];
            const std::string text = "c" + std::to_string(slot) + "-" + std::to_string(n);
            if (command.Line != int32_t(words[1]) || command.State != n % 5 ||
                strnlen(command.Text, sizeof command.Text) >= sizeof command.Text || text != command.Text)
                errors.add("slot " + std::to_string(slot) + " expected command " + text + " got " +
                           std::string(command.Text, strnlen(command.Text, sizeof command.Text)));
            ++counts[slot];
        }
    }

    long counts[QLIN_SLOT_COUNT] = {};
    Errors errors;

private:
    // A reader may be descheduled while it holds the block's lock for longer than the agent's
    // calls wait; such a call is tried again, so that nothing is lost to the time-out.
    static bool takeCommand(int32_t slot, TStates& command)
    {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            if (QLIN_GetCommand(slot, &command))
                return true;
            if (errno != ETIMEDOUT)
                return false;
            usleep(100);
        }
        return false;
    }

    int endpoint_;
};

int runAgent(uint32_t window, long records, int lines)
{
    const int endpoint = bindEndpoint(window);
    if (endpoint == -1) {
        std::cout << "cannot bind the endpoint" << std::endl;
        return 1;
    }
    QLIN_Init(window, QLIN_AGENT_MESSAGE);
    for (int line = 0; line < lines; ++line)
        QLIN_Line(line, ("L" + std::to_string(line)).c_str());
    std::cout << "ready" << std::endl;
    if (inputLine(true) != "go")
        return 1;

    StressAgent agent(endpoint);
    for (long k = 0; k < records; ++k) {
        const TStates record = expectedRecord(int32_t(k % lines), int32_t(k / lines));
        if (!putStates(record))
            agent.errors.add("QLIN_PutStates failed");
        if (k % 64 == 0)
            agent.takeCommands();
        // Bursts with short pauses, so that the larger rings mostly keep up and the small ones
        // overflow.
        if (k % 32 == 31)
            usleep(20);
    }
    std::cout << "written " << records / lines << std::endl;

    for (;;) {
        pollfd p[2] = {{endpoint, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(p, 2, -1);
        agent.takeCommands();
        if (p[1].revents != 0) {
            const std::string line = inputLine(false);
            if (line == "stop" || line == "<eof>")
                break;
        }
    }
    agent.takeCommands();
    QLIN_DeInit();
    std::cout << "commands";
    for (long count : agent.counts)
        std::cout << " " << count;
    std::cout << " " << agent.errors.text() << std::endl;
    return 0;
}

class StressReader {
public:
    StressReader(int slot, int32_t line, int capacity) : slot_(slot), line_(line), capacity_(capacity) {}

    // One read of the ring; returns the number of records read.
    int drain()
    {
        TStates buffer[QLIN_MAX_CAPACITY];
        const int n = QLIN_GetStates(slot_, buffer);
        if (n < 0 || n > capacity_) {
            errors.add("read returned " + std::to_string(n));
            return 0;
        }
        for (int i = 0; i < n; ++i)
            check(buffer[i], i, n);
        received += n;
        return n;
    }

    // Sends the next command unless all are sent; a refused one is sent again next time.
    void sendCommand(long total)
    {
        if (sent >= total)
            return;
        TStates command{};
        command.Line = -1;
        command.State = int32_t(sent % 5);
        std::snprintf(command.Text, sizeof command.Text, "c%d-%ld", slot_, sent);
        if (QLIN_PutCommand(slot_, &command) == 1)
            ++sent;
        if (command.Line != line_)
            errors.add("command line not replaced: " + std::to_string(command.Line));
    }

    long received = 0;
    long lost = 0;
    long sent = 0;
    int32_t last = -1;
    Errors errors;

private:
    void check(const TStates& record, int position, int batch)
    {
        const TStates expected = expectedRecord(line_, record.State);
        if (std::memcmp(&record, &expected, sizeof record) != 0) {
            errors.add("damaged record " + std::to_string(record.Line) + ":" + std::to_string(record.State));
            return;
        }
        if (record.State <= last) {
            errors.add("record " + std::to_string(record.State) + " after " + std::to_string(last));
            return;
        }
        if (record.State != last + 1) {
            if (position != 0 || batch != capacity_)
                errors.add("records " + std::to_string(last + 1) + ".." + std::to_string(record.State - 1) +
                           " missing without an overflowed ring");
            lost += record.State - last - 1;
        }
        last = record.State;
    }

    int slot_;
    int32_t line_;
    int capacity_;
};

int runReader(int32_t line, int capacity, long commands)
{
    const int slot = QLIN_Open(("L" + std::to_string(line)).c_str(), capacity);
    std::cout << "slot " << slot << std::endl;
    if (slot < 0)
        return 1;
    StressReader reader(slot, line, capacity);
    std::string request;
    for (;;) {
        if (reader.drain() == 0)
            usleep(50);
        reader.sendCommand(commands);
        request = inputLine(false);
        if (request.rfind("stop", 0) == 0 || request == "<eof>")
            break;
    }
    while (reader.sent < commands) {
        reader.sendCommand(commands);
        usleep(100);
    }
    while (reader.drain() != 0) {
    }
    const long last = std::atol(request.substr(request.find(' ') + 1).c_str());
    if (reader.last != last)
        reader.errors.add("last record " + std::to_string(reader.last) + " instead of " + std::to_string(last));
    std::cout << "received " << reader.received << " lost " << reader.lost << " " << reader.errors.text() << std::endl;
    while (inputLine(true) != "<eof>") {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "agent" && argc == 5)
        return runAgent(uint32_t(std::stoul(argv[2])), std::stol(argv[3]), std::stoi(argv[4]));
    if (role == "reader" && argc == 5)
        return runReader(std::stoi(argv[2]), std::stoi(argv[3]), std::stol(argv[4]));
    std::cerr << "usage: qlin2_stress agent WINDOW RECORDS LINES | reader LINE CAPACITY COMMANDS\n";
    return 2;
}
