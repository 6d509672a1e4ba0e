// The agent's notification endpoint as the test binds it: the abstract datagram socket named
// after an agent handle.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace varno::qlin2test {

class AgentSocket {
public:
    explicit AgentSocket(uint32_t window);
    ~AgentSocket();
    AgentSocket(const AgentSocket&) = delete;
    AgentSocket& operator=(const AgentSocket&) = delete;

    // The next datagram if one of exactly three words arrives in time.
    std::optional<std::array<uint32_t, 3>> receive(int timeoutMs = 5000);
    // Size of the next datagram, -1 when none arrives in time.
    int pendingSize(int timeoutMs);

private:
    int fd_ = -1;
};

}  // namespace varno::qlin2test
