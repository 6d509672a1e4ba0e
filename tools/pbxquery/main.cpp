// pbxquery: sends one PBX request to the agent's TCP/IP gateway and prints
// the reply, both as hexadecimal bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Query.h"
#include "tools/common/HexText.h"

namespace varno::pbxquery {
namespace {

constexpr int kExitAnswered = 0;
constexpr int kExitNoReply = 1;
constexpr int kExitNotConnected = 2;
constexpr int kExitUsage = 64;

void Usage(std::FILE* to)
{
    std::fputs("Usage: pbxquery [--host H] [--port P] [--timeout MS] HEXBYTES...\n"
               "Sends one PBX request to the Varno Agent's TCP/IP gateway and prints the reply.\n"
               "\n"
               "  HEXBYTES      the request, command byte first, in hexadecimal:\n"
               "                \"00 16 00\", 00 16 00 or 001600 (item 22: line states)\n"
               "  --host H      the agent's host (default 127.0.0.1)\n"
               "  --port P      the gateway's port, IPPort of the agent (default 1234)\n"
               "  --timeout MS  how long to wait for connecting and for the reply (default 2000)\n"
               "  --help        this text\n"
               "\n"
               "The reply is printed as one line of hexadecimal bytes. Exit status: 0 reply\n"
               "printed, 1 no reply in time (or the connection closed without one), 2 cannot\n"
               "connect or send, 64 wrong arguments.\n",
               to);
}

bool ParseNumber(const std::string& text, long min, long max, long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < min || v > max)
        return false;
    *value = v;
    return true;
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "pbxquery: %s\n", message.c_str());
    std::fputs("Try 'pbxquery --help'.\n", stderr);
    return kExitUsage;
}

int Run(int argc, char** argv)
{
    std::string host = "127.0.0.1";
    long port = 1234, timeout = 2000;
    std::vector<std::string> hex;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            hex.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return kExitAnswered;
        }
        std::string name = arg, value;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (name == "--host" || name == "--port" || name == "--timeout") {
            if (i + 1 >= argc)
                return UsageError(name + " needs a value");
            value = argv[++i];
        }
        if (name == "--host") {
            if (value.empty())
                return UsageError("--host needs a value");
            host = value;
        } else if (name == "--port") {
            if (!ParseNumber(value, 1, 65535, &port))
                return UsageError("--port must be a number from 1 to 65535, not '" + value + "'");
        } else if (name == "--timeout") {
            if (!ParseNumber(value, 1, 3600000, &timeout))
                return UsageError("--timeout must be a number of milliseconds from 1 to 3600000, not '" + value + "'");
        } else {
            return UsageError("unknown option " + name);
        }
    }

    std::string why;
    const auto request = hextext::ParseBytes(hex, &why);
    if (!request)
        return UsageError(why);
    if (request->empty())
        return UsageError("no request bytes given");
    if (request->size() > 256)
        std::fprintf(stderr, "pbxquery: warning: the agent takes requests of at most 256 bytes, this one has %zu\n",
                     request->size());

    const QueryResult result = Query(host, static_cast<uint16_t>(port), *request, static_cast<int>(timeout));
    switch (result.Outcome) {
    case QueryResult::Answered:
        std::printf("%s\n", hextext::FormatBytes(result.Reply, hextext::TLetterCase::Upper).c_str());
        return kExitAnswered;
    case QueryResult::NoReply:
    case QueryResult::Closed: std::fprintf(stderr, "pbxquery: %s\n", result.Error.c_str()); return kExitNoReply;
    case QueryResult::NotConnected:
    case QueryResult::SendFailed: break;
    }
    std::fprintf(stderr, "pbxquery: %s\n", result.Error.c_str());
    return kExitNotConnected;
}

}  // namespace
}  // namespace varno::pbxquery

int main(int argc, char** argv) { return varno::pbxquery::Run(argc, argv); }
