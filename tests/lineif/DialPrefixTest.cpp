#include <gtest/gtest.h>

#include "agent/lineif/DialPrefix.h"

using varno::ApplyDialPrefix;

TEST(DialPrefix, FirstMatchingEntryInFileOrderWins)
{
    struct Case {
        QStringList prefixes;
        const char* dial;
        const char* expected;
    };
    const Case cases[] = {
        {{"0=9", "01=8"}, "0123", "9123"},  // the shorter entry comes first and wins
        {{"01=8", "0=9"}, "0123", "823"},
        {{"0=9"}, "123", "123"},  // no match: unchanged
        {{"00=+"}, "0", "0"},     // a prefix longer than the text cannot match
        {{"a=9"}, "A12", "A12"},  // case-sensitive
        {{"5=5555"}, "51", "55551"},
        {{"0=9"}, "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApplyDialPrefix(c.prefixes, c.dial), QByteArray(c.expected)) << c.dial;
}
