#pragma once
#include "agent/serial/CommPax.h"
#include "platform/serial/PtyPair.h"
#include "tools/pbxsim/ControlChannel.h"
#include "tools/pbxsim/FaultSet.h"
#include "tools/pbxsim/PbxResponder.h"
#include "tools/pbxsim/PbxState.h"
#include "tools/pbxsim/SimLog.h"
#include "tools/pbxsim/SimOptions.h"
#include "tools/pbxsim/SimStats.h"
#include "tools/pbxsim/SimulatorHost.h"
#include "tools/pbxsim/StatementInterpreter.h"
#include "tools/pbxsim/Timeline.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

namespace varno::pbxsim {

// The running simulator: the PBX's end of the serial line. Requests arrive
// as packets through TCommPax, are answered from the state as the faults in
// force allow, and everything is logged; statements arrive from the scenario,
// the timeline and the control channel.
class PbxSimulator : public QObject, public SimulatorHost {
public:
    explicit PbxSimulator(SimOptions options, QObject* parent = nullptr);
    ~PbxSimulator() override;

    // Loads the scenario, runs the statements of the command line, opens the
    // line and announces it on standard output. False with error set when
    // any of it fails.
    bool Start(std::string& error);
    // Writes the statistics (with --stats), removes the link and closes the
    // line. Called once, when the event loop has ended.
    void Finish();

    // SimulatorHost
    void SendRaw(const std::vector<uint8_t>& bytes) override;
    void SendPacket(uint8_t sequence, const std::vector<uint8_t>& payload, bool corruptCrc) override;
    void Log(std::string_view tag, std::string_view text) override;
    std::string StatsLine() const override { return stats_.Line(); }
    void Quit() override;

private:
    void OpenLine();
    void PacketReceived(int count, const uint8_t* data);
    void ByteReceived(uint8_t b);
    void ControlLine(const std::string& line);
    void Deliver(uint8_t sequence, RequestKind kind, const std::vector<uint8_t>& reply, const FaultEffects& effects);
    void WriteReply(uint8_t sequence, RequestKind kind, const std::vector<uint8_t>& reply, bool corruptCrc);
    void WriteFrame(uint8_t sequence, const std::vector<uint8_t>& payload, bool corruptCrc);
    // Scenario seconds; 0 while the clock waits for the first request.
    double ScenarioNow() const;
    void RunTimeline();
    void ArmTimeline();

    SimOptions options_;
    PbxState state_;
    FaultSet faults_;
    Timeline timeline_;
    PbxResponder responder_{state_};
    StatementInterpreter interpreter_{state_, faults_, timeline_, *this};
    SimStats stats_;
    SimLog log_;

    TCommPax port_;
    std::optional<PtyPair> pty_;
    bool linkMade_ = false;
    ControlChannel control_;
    QElapsedTimer sinceStart_;
    std::optional<qint64> clockStartMs_;
    QTimer timelineTimer_;
    bool announced_ = false;  // the line's path is out: statistics are worth printing
    bool finished_ = false;
};

}  // namespace varno::pbxsim
