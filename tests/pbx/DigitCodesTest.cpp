#include "agent/pbx/DigitCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using varno::DecodeDigits;
using varno::EncodeDigits;

namespace {

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> codes;
    int count;
    std::string expected;
};

TEST(DigitCodes, DecodesLineListCodes)
{
    const DecodeCase cases[] = {
        {"F P S", {13, 14, 15}, 3, "FPS"},
        {"code 20 ends the text", {1, 20, 3, 4}, 4, "1"},
        {"code 0 ends the number", {2, 0, 3, 4}, 4, "2"},
        {"four digits", {1, 2, 3, 4}, 4, "1234"},
        {"ten is zero", {2, 10}, 2, "20"},
        {"every character of the table",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
         19,
         "1234567890*#FPSABCD"},
        {"count limits the reading", {1, 2, 3, 4}, 2, "12"},
        {"code 21 ends the number", {5, 21, 6}, 3, "5"},
        {"code 255 ends the number", {7, 255, 8}, 3, "7"},
        {"first code beyond the table", {200, 1}, 2, ""},
        {"count 0", {1}, 0, ""},
        {"negative count", {1}, -1, ""},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeDigits(c.codes.data(), c.count), c.expected);
    }
}

struct EncodeCase {
    const char* name;
    std::string text;
    int count;
    std::vector<uint8_t> expected;
};

TEST(DigitCodes, EncodesDialCharacters)
{
    const EncodeCase cases[] = {
        {"comma is 14", "12,5", 8, {1, 2, 14, 5, 0, 0, 0, 0}},
        {"character outside the table is 0", "1E3", 3, {1, 0, 3}},
        {"every table character", "1234567890*#F,SABCDTW-x?P", 25, {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                                                    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 31, 32}},
        {"P is not the decoder's 14", "P", 1, {32}},
        {"letters are case-sensitive",
         "fx"
         "X",
         3,
         {0, 23, 0}},
        {"text longer than count", "123456789", 4, {1, 2, 3, 4}},
        {"zero character is not in the table",
         std::string("1\0"
                     "2",
                     3),
         3,
         {1, 0, 2}},
        {"empty text", "", 2, {0, 0}},
        {"count 0", "12", 0, {}},
        {"negative count", "12", -3, {}},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeDigits(c.text, c.count), c.expected);
    }
}

}  // namespace
