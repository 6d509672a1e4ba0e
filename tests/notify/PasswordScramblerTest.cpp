#include <gtest/gtest.h>

#include <QSet>

#include "agent/notify/PasswordScrambler.h"

using namespace varno;

TEST(PasswordScrambler, TablesAreOnePermutationOf118Characters)
{
    const QString& plain = PasswordScrambler::Plain;
    const QString& shuffled = PasswordScrambler::Shuffled;
    ASSERT_EQ(plain.size(), 118);
    ASSERT_EQ(shuffled.size(), 118);
    const QSet<QChar> a(plain.begin(), plain.end()), b(shuffled.begin(), shuffled.end());
    EXPECT_EQ(a.size(), 118);
    EXPECT_EQ(a, b);
    int fixed = 0;
    for (qsizetype i = 0; i < plain.size(); ++i)
        fixed += plain[i] == shuffled[i];
    EXPECT_LT(fixed, 5) << "a permutation that hardly moves anything hides nothing";
}

TEST(PasswordScrambler, RoundTripsAndKeepsForeignCharacters)
{
    // Every table character, then characters outside the tables: a blank,
    // '|', '~', a Polish letter and a character beyond the basic plane.
    const QString outside = QStringLiteral(" |~ł\U0001F600");
    const QString plain = PasswordScrambler::Plain + outside;
    const QString stored = PasswordScrambler::Scramble(plain);
    EXPECT_NE(stored.left(118), PasswordScrambler::Plain);
    EXPECT_TRUE(stored.endsWith(outside));
    EXPECT_EQ(PasswordScrambler::Unscramble(stored), plain);
    EXPECT_EQ(PasswordScrambler::Scramble(PasswordScrambler::Unscramble(plain)), plain);
    // The stored form of a known password, so that a changed table shows:
    // files written by an earlier version must still read back.
    EXPECT_EQ(PasswordScrambler::Scramble(QStringLiteral("Heslo1Žluť")), QStringLiteral("üóčR@4ŽRČ("));
    EXPECT_EQ(PasswordScrambler::Unscramble(QStringLiteral("üóčR@4ŽRČ(")), QStringLiteral("Heslo1Žluť"));
}
