// The baseline for forwarded requests: the round trip of one request over
// the pseudo-terminal to the PBX simulator and back, with nothing between,
// one request at a time, for a fixed time.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "agent/serial/CommPax.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_ptyroundtrip DEVICE SECONDS [HEX-COMMAND]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const uint8_t command = argc > 3 ? static_cast<uint8_t>(std::strtol(argv[3], nullptr, 16)) : 2;
    varno::TCommPax port;
    port.MaxPacketSize = 512;
    port.SetDeviceName(QString::fromLocal8Bit(argv[1]));
    port.Open();
    bool answered = false;
    uint8_t seq = 1;
    port.OnRxPacket = [&](varno::TCommPax*, int count, const uint8_t* data) {
        if (count > 0 && data[0] == seq)
            answered = true;
    };
    std::vector<double> us;
    QElapsedTimer total, one;
    total.start();
    while (total.elapsed() < seconds * 1000) {
        answered = false;
        one.start();
        port.WritePacket(seq, &command, 1);
        while (!answered && one.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (answered)
            us.push_back(static_cast<double>(one.nsecsElapsed()) / 1000.0);
        seq = static_cast<uint8_t>(seq + 1);
    }
    std::sort(us.begin(), us.end());
    auto pct = [&](double p) { return us.empty() ? 0.0 : us[std::min(us.size() - 1, size_t(p * us.size()))]; };
    std::printf("pty-roundtrip requests=%zu rps=%.0f p50_us=%.0f p99_us=%.0f\n", us.size(),
                us.size() / (total.elapsed() / 1000.0), pct(0.5), pct(0.99));
    return 0;
}
