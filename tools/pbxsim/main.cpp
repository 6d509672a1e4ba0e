#include "platform/signals/TerminationSignals.h"
#include "tools/pbxsim/PbxSimulator.h"
#include "tools/pbxsim/SimOptions.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using varno::pbxsim::PbxSimulator;
using varno::pbxsim::SimOptions;

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::fprintf(stderr, "pbxsim: %s\n%s", error.c_str(), SimOptions::Usage());
        return 2;
    }
    if (options.Help) {
        std::fputs(SimOptions::Usage(), stdout);
        return 0;
    }
    // Started in the background of a terminal, reading standard input must
    // end the control channel, not stop the process.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    varno::TerminationSignals termination([](int) { QCoreApplication::quit(); });
    PbxSimulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "pbxsim: %s\n", error.c_str());
        return 2;
    }
    const int result = QCoreApplication::exec();
    simulator.Finish();
    return result;
}
