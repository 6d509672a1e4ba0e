#include "tools/pbxsim/PbxSimulator.h"

#include "tools/pbxsim/ByteText.h"
#include "tools/pbxsim/ScenarioLoader.h"

#include <QCoreApplication>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::pbxsim {
namespace {

void PrintLine(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string SeqKindBytes(uint8_t sequence, std::string_view kind, const uint8_t* data, size_t length)
{
    std::string text = std::to_string(sequence) + " " + std::string(kind);
    if (length > 0)
        text += " " + HexBytes(data, length);
    return text;
}

}  // namespace

PbxSimulator::PbxSimulator(SimOptions options, QObject* parent) : QObject(parent), options_(std::move(options))
{
    sinceStart_.start();
    timelineTimer_.setSingleShot(true);
    connect(&timelineTimer_, &QTimer::timeout, this, [this] { RunTimeline(); });
    control_.OnLine = [this](const std::string& line) { ControlLine(line); };
    control_.OnProblem = [this](const std::string& problem) { Log("ERR", problem); };
}

PbxSimulator::~PbxSimulator() { Finish(); }

bool PbxSimulator::Start(std::string& error)
{
    if (options_.Quiet)
        log_.Disable();
    else if (!options_.Log.empty() && !log_.OpenFile(options_.Log)) {
        error = options_.Log + ": cannot be written: " + std::strerror(errno);
        return false;
    }
    if (!options_.Scenario.empty() && !LoadScenario(options_.Scenario, interpreter_, error))
        return false;
    for (const std::string& statement : options_.Statements) {
        const auto outcome = interpreter_.Execute(statement, 0);
        if (!outcome.Ok) {
            error = "\"" + statement + "\": " + outcome.Reply.substr(4);
            return false;
        }
    }
    try {
        OpenLine();
    } catch (const ECommError& e) {
        error = e.FullMessage().toStdString();
        return false;
    }
    const std::string path = options_.Device.empty() ? pty_->SlavePath().toStdString() : options_.Device;
    if (!options_.Link.empty()) {
        struct stat info {};
        if (::lstat(options_.Link.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) {
                error = options_.Link + ": exists and is not a symbolic link";
                return false;
            }
            ::unlink(options_.Link.c_str());
        }
        if (::symlink(path.c_str(), options_.Link.c_str()) != 0) {
            error = options_.Link + ": cannot make the link: " + std::strerror(errno);
            return false;
        }
        linkMade_ = true;
    }
    if (options_.Control == "-") {
        control_.OpenStdin(error);
    } else if (options_.Control != "none" && !control_.OpenFifo(options_.Control, error)) {
        return false;
    }
    if (!options_.ClockOnFirstRequest)
        clockStartMs_ = sinceStart_.elapsed();
    PrintLine((options_.Device.empty() ? "PTY " : "DEVICE ") + path);
    announced_ = true;
    Log("START", (options_.Device.empty() ? "pty " : "device ") + path);
    RunTimeline();
    return true;
}

void PbxSimulator::OpenLine()
{
    // Clients may send requests of any length the framing allows.
    port_.MaxPacketSize = TPacketReceiver::LargestMaxPacketSize;
    // A far end that stops reading must not hold the simulator for long.
    port_.WriteTimeout = 200;
    port_.OnRxPacket = [this](TCommPax*, int count, const uint8_t* data) { PacketReceived(count, data); };
    port_.OnRxChr = [this](TCommPax*, uint8_t b) { ByteReceived(b); };
    port_.OnCommError = [this](TComm*, const QString& message) { Log("ERR", message.toStdString()); };
    if (options_.Device.empty()) {
        pty_.emplace();
        port_.OpenFd(pty_->MasterFd(), false);
        return;
    }
    QString problems;
    if (!port_.Set(QStringLiteral("COM1:") + QString::fromStdString(options_.PortMode), &problems))
        throw ECommError(CommErrorText::ControlBlock, EINVAL,
                         QStringLiteral("bad --mode ") + QString::fromStdString(options_.PortMode));
    if (!problems.isEmpty())
        Log("ERR", "--mode: " + problems.toStdString());
    port_.SetDeviceName(QString::fromStdString(options_.Device));
    port_.Open();
}

void PbxSimulator::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    timelineTimer_.stop();
    if (options_.Stats && announced_)
        PrintLine(stats_.Line());
    if (announced_)
        Log("STOP", "");
    if (linkMade_)
        ::unlink(options_.Link.c_str());
    linkMade_ = false;
    port_.Close();
    pty_.reset();
}

double PbxSimulator::ScenarioNow() const
{
    if (!clockStartMs_)
        return 0;
    return double(sinceStart_.elapsed() - *clockStartMs_) / 1000.0;
}

void PbxSimulator::RunTimeline()
{
    if (!clockStartMs_)
        return;
    interpreter_.RunDue(ScenarioNow());
    ArmTimeline();
}

void PbxSimulator::ArmTimeline()
{
    const auto next = timeline_.NextTime();
    if (!clockStartMs_ || !next || finished_) {
        timelineTimer_.stop();
        return;
    }
    const double ms = std::ceil((*next - ScenarioNow()) * 1000.0);
    timelineTimer_.start(int(std::clamp(ms, 0.0, 3600000.0)));
}

void PbxSimulator::PacketReceived(int count, const uint8_t* data)
{
    if (count <= 0) {
        ++stats_.Empty;
        Log("ERR", "packet without a sequence number dropped");
        return;
    }
    if (!clockStartMs_)
        clockStartMs_ = sinceStart_.elapsed();
    // The state a request sees includes every change due by now.
    RunTimeline();

    const uint8_t sequence = data[0];
    const uint8_t* payload = data + 1;
    const size_t length = size_t(count - 1);
    const RequestKind kind = ClassifyRequest(payload, length);
    const std::string_view kindName = KindName(kind);
    ++stats_.Requests;
    ++stats_.ByKind[static_cast<int>(kind)];
    Log("RX", SeqKindBytes(sequence, kindName, payload, length));

    const FaultEffects effects = faults_.Apply(kind);
    if (effects.Any()) {
        std::string applied;
        for (const std::string& a : effects.Applied)
            applied += " " + a;
        Log("FAULT", std::to_string(sequence) + " " + std::string(kindName) + applied);
    }
    // A silent PBX has not taken the request in: nothing of it is done, so
    // that a repeated request finds the state as it was.
    if (effects.Silent) {
        ++stats_.Silent;
        return;
    }
    PbxAnswer answer = responder_.Answer(payload, length);
    if (!answer.Note.empty())
        Log("INFO", std::to_string(sequence) + " " + std::string(kindName) + " " + answer.Note);
    if (effects.DelayMs > 0) {
        ++stats_.Late;
        QTimer::singleShot(effects.DelayMs, this, [this, sequence, k = answer.Kind, reply = answer.Reply, effects] {
            if (!finished_)
                Deliver(sequence, k, reply, effects);
        });
        return;
    }
    Deliver(sequence, answer.Kind, answer.Reply, effects);
}

void PbxSimulator::Deliver(uint8_t sequence, RequestKind kind, const std::vector<uint8_t>& reply,
                           const FaultEffects& effects)
{
    if (!effects.Noise.empty())
        SendRaw(effects.Noise);
    if (effects.E0Before || effects.E0Instead)
        SendRaw({0xE0});
    if (effects.E0Instead)
        return;
    WriteReply(sequence, kind, reply, effects.CorruptCrc);
    if (effects.Twice) {
        ++stats_.Twice;
        WriteReply(sequence, kind, reply, effects.CorruptCrc);
    }
}

void PbxSimulator::WriteReply(uint8_t sequence, RequestKind kind, const std::vector<uint8_t>& reply, bool corruptCrc)
{
    Log("TX", SeqKindBytes(sequence, KindName(kind), reply.data(), reply.size()));
    ++stats_.Replies;
    WriteFrame(sequence, reply, corruptCrc);
}

void PbxSimulator::SendPacket(uint8_t sequence, const std::vector<uint8_t>& payload, bool corruptCrc)
{
    Log("TX", SeqKindBytes(sequence, "unasked", payload.data(), payload.size()));
    ++stats_.Unasked;
    WriteFrame(sequence, payload, corruptCrc);
}

void PbxSimulator::WriteFrame(uint8_t sequence, const std::vector<uint8_t>& payload, bool corruptCrc)
{
    if (!port_.Enabled()) {
        Log("ERR", "the line is closed; nothing written");
        return;
    }
    try {
        if (!corruptCrc) {
            port_.WritePacket(sequence, payload.data(), int(payload.size()));
            return;
        }
        // The packet component writes only good frames. A frame that fails
        // its check is the same frame with its CRC turned over, written
        // through the component's own byte writer and CRC step.
        ++stats_.BadCrc;
        port_.WriteChar(TPacketReceiver::StartMark1, false);
        port_.WriteChar(TPacketReceiver::StartMark2, false);
        const size_t length = payload.size() + 1;
        port_.WriteChar(uint8_t(length & 0xFF), true);
        port_.WriteChar(uint8_t((length >> 8) & 0xFF), true);
        port_.WriteChar(sequence, true);
        uint32_t crc = TPacketComm::Update_CRC32(0xFFFFFFFF, sequence);
        for (const uint8_t b : payload) {
            port_.WriteChar(b, true);
            crc = TPacketComm::Update_CRC32(crc, b);
        }
        crc = ~(crc ^ 0xFFFFFFFF);  // the good CRC, every bit inverted
        for (int i = 0; i < 4; ++i)
            port_.WriteChar(uint8_t(crc >> (8 * i)), true);
    } catch (const ECommError& e) {
        Log("ERR", e.FullMessage().toStdString());
    }
}

void PbxSimulator::SendRaw(const std::vector<uint8_t>& bytes)
{
    Log("OUT", HexBytes(bytes));
    for (const uint8_t b : bytes)
        ++(b == 0xE0 ? stats_.E0 : stats_.Noise);
    if (!port_.Enabled()) {
        Log("ERR", "the line is closed; nothing written");
        return;
    }
    try {
        port_.Write(bytes.data(), int(bytes.size()));
    } catch (const ECommError& e) {
        Log("ERR", e.FullMessage().toStdString());
    }
}

void PbxSimulator::ByteReceived(uint8_t b)
{
    ++stats_.Stray;
    Log("CHR", HexBytes(&b, 1));
}

void PbxSimulator::ControlLine(const std::string& line)
{
    if (line.find_first_not_of(" \t\r") == std::string::npos)
        return;
    Log("CMD", line);
    const auto outcome = interpreter_.Execute(line, ScenarioNow());
    if (!outcome.Ok)
        Log("ERR", outcome.Reply.substr(4));
    PrintLine(outcome.Reply);
    ArmTimeline();
}

void PbxSimulator::Log(std::string_view tag, std::string_view text)
{
    log_.Write(double(sinceStart_.nsecsElapsed()) / 1e9, tag, text);
}

void PbxSimulator::Quit()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace varno::pbxsim
