// Commands of the configuration (Sendmail=, "|" routes) as program and arguments: no shell ever
// sees them, so an address from the PBX can only ever be one argument.
#ifndef VARNO_AGENTQ5_COMMANDWORDS_H
#define VARNO_AGENTQ5_COMMANDWORDS_H

#include <string>
#include <string_view>
#include <vector>

namespace varno::agentq5 {

// Splits at blanks; double quotes group words ("a b" is one word, the quotes dropped). Every "%s"
// inside a word is replaced by address after the split, so blanks or quotes in the address never
// make further words. Empty when the command holds no word.
std::vector<std::string> SplitCommand(std::string_view command, std::string_view address = {});

// "%s" replaced by address in a route template that gives a mail address.
std::string FillTemplate(std::string_view pattern, std::string_view address);

}  // namespace varno::agentq5

#endif
