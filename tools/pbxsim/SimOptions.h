#pragma once
#include <string>
#include <vector>

namespace varno::pbxsim {

// The simulator's command line.
struct SimOptions {
    std::string scenario;            // --scenario FILE
    std::string device;              // --device PATH: a real line instead of a pty pair
    std::string portMode = "19200,N,8,1";  // --mode MODE: the line settings of --device
    std::string link;                // --link PATH: symlink to the pty's slave
    std::string log;                 // --log FILE; empty: standard error
    bool quiet = false;              // --quiet: no log at all
    bool stats = false;              // --stats: statistics line on standard output at exit
    std::string control = "-";       // --control -|FIFO|none
    bool clockOnFirstRequest = false;  // --clock-on-request
    std::vector<std::string> statements;  // --exec STATEMENT and --fault FAULT, in order
    bool help = false;

    // Reads argv; false with error set for an unknown option or a missing value.
    bool Parse(int argc, char** argv, std::string& error);
    static const char* Usage();
};

}  // namespace varno::pbxsim
