#include "tools/pbxsim/SimOptions.h"

#include <string_view>

namespace varno::pbxsim {

bool SimOptions::Parse(int argc, char** argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--scenario") {
            if (!value(Scenario))
                return false;
        } else if (arg == "--device") {
            if (!value(Device))
                return false;
        } else if (arg == "--mode") {
            if (!value(PortMode))
                return false;
        } else if (arg == "--link") {
            if (!value(Link))
                return false;
        } else if (arg == "--log") {
            if (!value(Log))
                return false;
        } else if (arg == "--control") {
            if (!value(Control))
                return false;
        } else if (arg == "--exec" || arg == "-e") {
            if (!value(text))
                return false;
            Statements.push_back(text);
        } else if (arg == "--fault") {
            if (!value(text))
                return false;
            Statements.push_back("fault " + text);
        } else if (arg == "--quiet") {
            Quiet = true;
        } else if (arg == "--stats") {
            Stats = true;
        } else if (arg == "--clock-on-request") {
            ClockOnFirstRequest = true;
        } else if (arg == "--help" || arg == "-h") {
            Help = true;
        } else {
            error = "unknown option " + std::string(arg);
            return false;
        }
    }
    if (!Device.empty() && !Link.empty()) {
        error = "--link names a pty's slave; it does not go with --device";
        return false;
    }
    return true;
}

const char* SimOptions::Usage()
{
    return "usage: pbxsim [options]\n"
           "  --scenario FILE     statements to start from (see README.md)\n"
           "  --device PATH       use this serial line instead of a new pty pair\n"
           "  --mode MODE         line settings for --device (default 19200,N,8,1)\n"
           "  --link PATH         make PATH a symlink to the pty's slave\n"
           "  --log FILE          log to FILE instead of standard error\n"
           "  --quiet             no log\n"
           "  --stats             print the STATS line on standard output at exit\n"
           "  --control -|FIFO|none  where statements are read while running (default: standard input)\n"
           "  --clock-on-request  start the scenario clock at the first request, not at start-up\n"
           "  --exec STATEMENT    carry out a statement after the scenario (repeatable)\n"
           "  --fault FAULT       the same as --exec \"fault FAULT\" (repeatable)\n"
           "The first line on standard output is \"PTY <slave path>\" (or \"DEVICE <path>\").\n";
}

}  // namespace varno::pbxsim
