#include "tools/pbxsim/SimStats.h"

namespace varno::pbxsim {

std::string SimStats::Line() const
{
    std::string out = "STATS";
    const auto add = [&out](std::string_view name, unsigned long value) {
        out += ' ';
        out += name;
        out += '=';
        out += std::to_string(value);
    };
    add("requests", requests);
    add("replies", replies);
    add("silent", silent);
    add("late", late);
    add("twice", twice);
    add("crc", badCrc);
    add("e0", e0);
    add("noise", noise);
    add("stray", stray);
    add("empty", empty);
    add("unasked", unasked);
    for (int i = 0; i < RequestKindCount; ++i)
        add(KindName(static_cast<RequestKind>(i)), byKind[i]);
    return out;
}

}  // namespace varno::pbxsim
