#pragma once
#include <string>
#include <vector>

namespace varno::pbxsim {

// The simulator's command line.
struct SimOptions {
    std::string Scenario;                  // --scenario FILE
    std::string Device;                    // --device PATH: a real line instead of a pty pair
    std::string PortMode = "19200,N,8,1";  // --mode MODE: the line settings of --device
    std::string Link;                      // --link PATH: symlink to the pty's slave
    std::string Log;                       // --log FILE; empty: standard error
    bool Quiet = false;                    // --quiet: no log at all
    bool Stats = false;                    // --stats: statistics line on standard output at exit
    std::string Control = "-";             // --control -|FIFO|none
    bool ClockOnFirstRequest = false;      // --clock-on-request
    std::vector<std::string> Statements;   // --exec STATEMENT and --fault FAULT, in order
    bool Help = false;

    // Reads argv; false with error set for an unknown option or a missing value.
    bool Parse(int argc, char** argv, std::string& error);
    static const char* Usage();
};

}  // namespace varno::pbxsim
