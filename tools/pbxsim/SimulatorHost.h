#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varno::pbxsim {

// What statements need of the running simulator beyond the PBX's state: the
// line, the log, the statistics and the way out.
class SimulatorHost {
public:
    virtual ~SimulatorHost() = default;
    // Bytes straight onto the line, outside any packet.
    virtual void SendRaw(const std::vector<uint8_t>& bytes) = 0;
    // One packet, unasked; with corruptCrc its CRC is wrong.
    virtual void SendPacket(uint8_t sequence, const std::vector<uint8_t>& payload, bool corruptCrc) = 0;
    // One log line with its tag ("EVENT", "ERR", ...).
    virtual void Log(std::string_view tag, std::string_view text) = 0;
    // The statistics line ("STATS ...").
    virtual std::string StatsLine() const = 0;
    // Ends the simulator once the current statement is done.
    virtual void Quit() = 0;
};

}  // namespace varno::pbxsim
