#pragma once
#include <QString>

namespace varno {

// The mail gateway's password is kept in the configuration file in a
// scrambled form, so that it cannot be read over a shoulder. Two tables of
// 118 characters: the plain alphabet and a fixed permutation of it.
// Characters outside the tables stay as they are.
namespace PasswordScrambler {

// The plain alphabet: digits, capital and small letters, 28 accented letters
// of Central European languages and 28 punctuation characters.
extern const QString Plain;
// The same characters in a fixed shuffled order.
extern const QString Shuffled;

// Stored form to plain: a character of Plain becomes the one at its place in Shuffled.
QString Unscramble(const QString& stored);
// Plain to stored form: the inverse of Unscramble.
QString Scramble(const QString& plain);

}  // namespace PasswordScrambler
}  // namespace varno
