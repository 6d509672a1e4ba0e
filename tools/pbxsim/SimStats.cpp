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
    add("requests", Requests);
    add("replies", Replies);
    add("silent", Silent);
    add("late", Late);
    add("twice", Twice);
    add("crc", BadCrc);
    add("e0", E0);
    add("noise", Noise);
    add("stray", Stray);
    add("empty", Empty);
    add("unasked", Unasked);
    for (int i = 0; i < RequestKindCount; ++i)
        add(KindName(static_cast<RequestKind>(i)), ByKind[i]);
    return out;
}

}  // namespace varno::pbxsim
