// Closed-loop TCP load: N connections, each sends one request, waits for its
// reply, and sends the next, for a fixed time. Prints the rate and the
// latency percentiles. Requests are given as hexadecimal byte strings; with
// several, each connection takes them in turn.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<unsigned char> parseHex(const std::string& text)
{
    std::vector<unsigned char> out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

struct Conn {
    int fd = -1;
    size_t next = 0;  // which request goes next
    Clock::time_point sent{};
    bool waiting = false;
};

void usage()
{
    std::fprintf(
        stderr,
        "usage: loadgen --port P [--host 127.0.0.1] --conns N --seconds S [--timeout-ms T] [--label L] HEX...\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string host = "127.0.0.1", label = "load";
    int port = 0, conns = 1, timeoutMs = 2000;
    double seconds = 3;
    std::vector<std::vector<unsigned char>> requests;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (a == "--port")
            port = std::stoi(value());
        else if (a == "--host")
            host = value();
        else if (a == "--conns")
            conns = std::stoi(value());
        else if (a == "--seconds")
            seconds = std::stod(value());
        else if (a == "--timeout-ms")
            timeoutMs = std::stoi(value());
        else if (a == "--label")
            label = value();
        else if (a == "--help")
            usage();
        else
            requests.push_back(parseHex(a));
    }
    if (port <= 0 || requests.empty() || conns < 1)
        usage();

    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &addr.sin_addr);

    const int ep = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Conn> c(static_cast<size_t>(conns));
    for (int i = 0; i < conns; ++i) {
        c[i].fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(c[i].fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(c[i].fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            std::perror("connect");
            return 1;
        }
        c[i].next = static_cast<size_t>(i) % requests.size();
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, c[i].fd, &ev);
    }

    std::vector<double> latencies;
    latencies.reserve(1 << 20);
    long timeouts = 0, errors = 0;
    auto send = [&](Conn& k) {
        const auto& r = requests[k.next];
        k.next = (k.next + 1) % requests.size();
        if (write(k.fd, r.data(), r.size()) != static_cast<ssize_t>(r.size()))
            ++errors;
        k.sent = Clock::now();
        k.waiting = true;
    };
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (auto& k : c)
        send(k);
    std::vector<epoll_event> events(1024);
    unsigned char buf[4096];
    while (Clock::now() < end) {
        const int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 10);
        const auto now = Clock::now();
        for (int i = 0; i < n; ++i) {
            Conn& k = c[events[i].data.u32];
            const ssize_t got = read(k.fd, buf, sizeof buf);
            if (got <= 0) {
                ++errors;
                continue;
            }
            if (!k.waiting)
                continue;  // a late reply to a request given up on
            latencies.push_back(std::chrono::duration<double, std::micro>(now - k.sent).count());
            k.waiting = false;
            if (now < end)
                send(k);
        }
        // A request without reply is given up after the time-out; the next one follows.
        for (auto& k : c)
            if (k.waiting && now - k.sent > std::chrono::milliseconds(timeoutMs)) {
                ++timeouts;
                send(k);
            }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
        if (latencies.empty())
            return 0.0;
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<size_t>(p * static_cast<double>(latencies.size())))];
    };
    std::printf("%s conns=%d requests=%zu rps=%.0f p50_us=%.0f p99_us=%.0f timeouts=%ld errors=%ld\n", label.c_str(),
                conns, latencies.size(), static_cast<double>(latencies.size()) / elapsed, pct(0.50), pct(0.99),
                timeouts, errors);
    for (auto& k : c)
        close(k.fd);
    return 0;
}
