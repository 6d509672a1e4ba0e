// The parts of a message that untrusted text from the PBX passes through.
#include "agentq5/MessageFormat.h"
#include "agentq5/CommandWords.h"
#include "agentq5/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace varno::agentq5::test {
namespace {

std::string DecodeBase64(const std::string& text)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const size_t value = alphabet.find(c);
        if (value == std::string::npos)
            continue;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xff);
        }
    }
    return out;
}

// The text of a subject made of encoded words, and the longest encoded word.
std::string DecodeSubject(const std::string& subject, size_t& longestWord)
{
    std::string text;
    longestWord = 0;
    for (size_t at = subject.find("=?UTF-8?B?"); at != std::string::npos; at = subject.find("=?UTF-8?B?", at)) {
        const size_t end = subject.find("?=", at + 10);
        longestWord = std::max(longestWord, end + 2 - at);
        text += DecodeBase64(subject.substr(at + 10, end - at - 10));
        at = end + 2;
    }
    return text;
}

TEST(Agentq5MessageFormat, SubjectIsEncodedWhenNotPlainAsciiAndNeverSpansLines)
{
    struct Case {
        std::string subject;
        bool encoded;
        std::string text;  // what it reads as
    };
    const std::vector<Case> cases = {
        {"Linka 201 nedostupna", false, "Linka 201 nedostupna"},
        {"Ústředna: výpadek spojení", true, "Ústředna: výpadek spojení"},
        {"looks =?like?= a word", true, "looks =?like?= a word"},
        {"bad \xff byte", true, "bad \xef\xbf\xbd byte"},
        {"line\r\nBcc: evil@example.com", false, "line  Bcc: evil@example.com"},
        {std::string(300, 'x') + "ř" + std::string(300, 'y'), true,
         std::string(300, 'x') + "ř" + std::string(300, 'y')},
    };
    for (const Case& c : cases) {
        const std::string subject = EncodeSubject(c.subject);
        size_t longest = 0;
        if (c.encoded) {
            EXPECT_EQ(DecodeSubject(subject, longest), c.text) << c.subject;
            EXPECT_LE(longest, 75U);
        } else {
            EXPECT_EQ(subject, c.text);
        }
        // Folded lines only: every line break is followed by a blank.
        for (size_t at = subject.find('\n'); at != std::string::npos; at = subject.find('\n', at + 1))
            EXPECT_EQ(subject[at + 1], ' ');
        EXPECT_EQ(subject.find('\r'), std::string::npos);
    }
}

TEST(Agentq5MessageFormat, BodyIsValidUtf8WithShortLines)
{
    EXPECT_EQ(FormatBody("a\r\nb\rc\n\xc3\x28\x01\td"), "a\nbc\n\xef\xbf\xbd(\xef\xbf\xbd\td\n");
    const std::string body = FormatBody(std::string(2500, 'z'));
    EXPECT_EQ(body, std::string(998, 'z') + "\n" + std::string(998, 'z') + "\n" + std::string(504, 'z') + "\n");
    EXPECT_TRUE(IsValidUtf8(FormatBody(std::string(1000, '\xc5'))));
    EXPECT_EQ(FormatBody(""), "\n");
}

TEST(Agentq5MessageFormat, MessageHeaderHoldsNoInjectedFieldAndAnEnglishDate)
{
    MessageInput input;
    input.from = "agent@pbx.example";
    input.to = "someone@example.net\nBcc: x@y";
    input.subject = "hi\nBcc: evil@example.com";
    input.text = "body";
    input.flag = '1';
    const std::string message = FormatMessage(input, 0, "<id@host>");
    const std::string header = message.substr(0, message.find("\n\n"));
    EXPECT_EQ(header.find("\nBcc:"), std::string::npos);
    EXPECT_NE((header + "\n").find("\nX-Varno-Origin: pbx\n"), std::string::npos);
    EXPECT_NE(header.find("\nMessage-ID: <id@host>\n"), std::string::npos);
    EXPECT_EQ(message.substr(message.find("\n\n")), "\n\nbody\n");
    // Thursday 1 January 1970, whatever the time zone made of it.
    const std::string date = MailDate(12 * 3600);
    EXPECT_EQ(date.substr(0, 16), "Thu, 01 Jan 1970") << date;
}

TEST(Agentq5MessageFormat, FieldsAreCutAtCharacterBoundaries)
{
    char field[8];
    std::memset(field, 'X', sizeof field);
    CopyField(field, "abcdeéé");  // é is two bytes: 5 + 2 fits 7, the next would not
    EXPECT_STREQ(field, "abcdeé");
    CopyField(field, "abc");
    EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
    char small[4];
    CopyField(small, "€€");  // three bytes each
    EXPECT_STREQ(small, "€");
    EXPECT_EQ(Utf8CutLength("\x80\x80\x80\x80\x80", 3), 0U);  // no character start within reach
}

TEST(Agentq5MessageFormat, CommandsSplitIntoWordsWithTheAddressInsideOneWord)
{
    using Words = std::vector<std::string>;
    EXPECT_EQ(SplitCommand("/usr/sbin/sendmail -t -i"), (Words{"/usr/sbin/sendmail", "-t", "-i"}));
    EXPECT_EQ(SplitCommand("  \"/opt/sms gate/send\"  --to=%s  \"%s\"", "x; rm -rf / \"a b\""),
              (Words{"/opt/sms gate/send", "--to=x; rm -rf / \"a b\"", "x; rm -rf / \"a b\""}));
    EXPECT_EQ(SplitCommand("send \"\" %s%s", "$(id)"), (Words{"send", "", "$(id)$(id)"}));
    EXPECT_TRUE(SplitCommand("   ").empty());
    EXPECT_EQ(FillTemplate("%s@sms.example.net", "+420 777"), "+420 777@sms.example.net");
}

}  // namespace
}  // namespace varno::agentq5::test
