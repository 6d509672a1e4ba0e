#pragma once
#include "tools/pbxsim/StatementInterpreter.h"

#include <string>

namespace varno::pbxsim {

// Carries out a scenario file, one statement per line, at scenario time 0.
// Stops at the first statement that is refused; error then tells the file,
// the line number and why ("demo.ini:12: unknown statement \"lien\"").
bool LoadScenario(const std::string& path, StatementInterpreter& interpreter, std::string& error);

}  // namespace varno::pbxsim
