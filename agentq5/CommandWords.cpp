#include "agentq5/CommandWords.h"

namespace varno::agentq5 {

std::string FillTemplate(std::string_view pattern, std::string_view address)
{
    std::string out;
    out.reserve(pattern.size() + address.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            out.append(address);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::vector<std::string> SplitCommand(std::string_view command, std::string_view address)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(FillTemplate(word, address));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(FillTemplate(word, address));
    return words;
}

}  // namespace varno::agentq5
