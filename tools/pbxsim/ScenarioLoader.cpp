#include "tools/pbxsim/ScenarioLoader.h"

#include <fstream>

namespace varno::pbxsim {

bool LoadScenario(const std::string& path, StatementInterpreter& interpreter, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto outcome = interpreter.Execute(line, 0);
        if (!outcome.Ok) {
            // The reply reads "ERR <why>".
            error = path + ":" + std::to_string(number) + ": " + outcome.Reply.substr(4);
            return false;
        }
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

}  // namespace varno::pbxsim
