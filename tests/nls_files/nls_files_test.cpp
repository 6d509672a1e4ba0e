// The three language files as the agent reads them: every text it asks for is
// there in every language, and texts that the agent joins with a value or with
// another text carry the blank that keeps the two apart.

#include "tests/nls_files/LanguageFileReader.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

// Every key the agent reads, by section.
std::set<int> commonKeys()
{
    return {0,    1,    100,  101,  102,  103,  1000, 1001, 1002, 2000, 3000, 3100, 3101, 3102,
            3103, 3200, 3201, 3202, 3203, 3204, 3205, 3300, 3301, 4000, 4001, 4002, 4003, 4004,
            4005, 5000, 5001, 5002, 5003, 5004, 5005, 5006, 5007, 5008, 6000, 6001};
}

std::set<int> menuKeys()
{
    return {100, 101, 102, 103, 200, 201, 202, 203, 204, 205, 206, 210, 211, 212, 300, 301, 302, 303, 304, 400, 401};
}

// PBX command codes and item numbers whose meaning is known; their names are
// texts 1000 + code and 2000 + item.
const std::vector<int> NamedCommands = {0, 1, 2, 4, 5, 13, 14, 18};
const std::vector<int> NamedItems = {1, 14, 17, 22, 47};

std::set<int> textyKeys()
{
    std::set<int> keys;
    for (int number = 100; number <= 146; ++number) {
        if (number != 118)  // never asked for
            keys.insert(number);
    }
    keys.insert(200);
    for (int code : NamedCommands)
        keys.insert(1000 + code);
    for (int item : NamedItems)
        keys.insert(2000 + item);
    return keys;
}

// Block texts: the trap dialog's address types, the default trap messages and
// the mailbox-check reports.
std::set<int> textKeys() { return {100, 101, 102, 103, 199, 200, 299, 300, 301, 399}; }

struct Language {
    const char* code;
    // Letters without which the language is not written properly; their absence
    // means the file lost its accents (or was saved in another encoding).
    std::vector<QString> ownLetters;
};

// Names the parameter in test output.
void PrintTo(const Language& language, std::ostream* out) { *out << language.code; }

const Language Languages[] = {
    {"Cz", {QStringLiteral("č"), QStringLiteral("ř"), QStringLiteral("ž"), QStringLiteral("ů"), QStringLiteral("ě")}},
    {"De", {QStringLiteral("ä"), QStringLiteral("ö"), QStringLiteral("ü"), QStringLiteral("Ü")}},
    {"Eng", {}},
};

QString sourcePath(const char* code)
{
    return QStringLiteral(VARNO_SOURCE_DIR "/lang/Language.") + QLatin1String(code);
}

qsizetype characters(const QString& text) { return text.toUcs4().size(); }

std::string show(const QString& text) { return "\"" + text.toStdString() + "\""; }

class LanguageFileTest : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override
    {
        file = LanguageFile::read(sourcePath(GetParam().code));
        ASSERT_TRUE(file.errors.isEmpty()) << file.errors.join(u'\n').toStdString();
    }

    LanguageFile file;
};

TEST_P(LanguageFileTest, IsWrittenInItsOwnLetters)
{
    QString all;
    for (const auto& [section, entries] : file.sections) {
        for (const auto& entry : entries)
            all += entry.value;
    }
    for (const QString& letter : GetParam().ownLetters)
        EXPECT_TRUE(all.contains(letter)) << "no " << letter.toStdString() << " anywhere in the file";
}

TEST_P(LanguageFileTest, HoldsExactlyTheTextsTheAgentReads)
{
    const std::pair<const char*, std::set<int>> required[] = {
        {"Common", commonKeys()},
        {"Menu", menuKeys()},
        {"Texty", textyKeys()},
        {"Text", textKeys()},
    };
    std::set<QString> knownSections;
    for (const auto& [section, wanted] : required) {
        knownSections.insert(QString::fromLatin1(section).toLower());
        const std::vector<int> present = file.keys(QString::fromLatin1(section));
        const std::set<int> have(present.begin(), present.end());
        for (int key : wanted) {
            const QString text = file.value(QString::fromLatin1(section), key);
            EXPECT_FALSE(text.isEmpty()) << "[" << section << "] " << key << " is missing or empty";
        }
        for (int key : have)
            EXPECT_TRUE(wanted.count(key)) << "[" << section << "] " << key << " is not a text the agent reads";
    }
    for (const auto& [section, entries] : file.sections)
        EXPECT_TRUE(knownSections.count(section)) << "unknown section [" << section.toStdString() << "]";
}

// Texts that the agent follows directly by a number, a port string, an error
// message or a version: they must end in a blank (kept by quoting the value).
TEST_P(LanguageFileTest, TextsFollowedByAValueEndInABlank)
{
    const struct {
        const char* section;
        int key;
        const char* followedBy;
    } joined[] = {
        {"Texty", 105, "the line-list status"},
        {"Texty", 112, "the message-slot status"},
        {"Texty", 120, "the server's error message"},
        {"Texty", 124, "the port settings string"},
        {"Texty", 125, "the port settings string"},
        {"Texty", 131, "the counters status"},
        {"Texty", 138, "the PBX error status"},
        {"Texty", 139, "the agent's version"},
        {"Texty", 140, "the PBX version"},
        {"Text", 301, "the gateway's result"},
        {"Text", 399, "the gateway's result"},
    };
    for (const auto& item : joined) {
        const QString text = file.value(QString::fromLatin1(item.section), item.key);
        EXPECT_TRUE(text.endsWith(u' ')) << "[" << item.section << "] " << item.key << " " << show(text)
                                         << " is followed by " << item.followedBy << " and must end in a blank";
    }
}

// The identity notes 142 and 144 are appended straight to text 101.
TEST_P(LanguageFileTest, NotesAppendedToAnotherTextStartWithABlank)
{
    for (int key : {142, 144}) {
        const QString text = file.value(QStringLiteral("Texty"), key);
        EXPECT_TRUE(text.startsWith(u' '))
            << "[Texty] " << key << " " << show(text) << " follows text 101 directly and must start with a blank";
    }
}

TEST_P(LanguageFileTest, TextsFitTheFieldsThatHoldThem)
{
    // The default trap messages go into 100-character settings fields.
    for (int key : {200, 299}) {
        const QString text = file.value(QStringLiteral("Text"), key);
        EXPECT_LE(characters(text), 100) << "[Text] " << key << " " << show(text);
    }
    // The packet renderer formats a name with "[index]" (up to 5 more
    // characters) into 63 characters.
    for (int code : NamedCommands) {
        const QString text = file.value(QStringLiteral("Texty"), 1000 + code);
        EXPECT_LE(characters(text), 58) << "[Texty] " << 1000 + code << " " << show(text);
    }
    for (int item : NamedItems) {
        const QString text = file.value(QStringLiteral("Texty"), 2000 + item);
        EXPECT_LE(characters(text), 58) << "[Texty] " << 2000 + item << " " << show(text);
    }
}

// The access key of a caption: the character after a single '&' ("&&" is a
// literal ampersand). Returns a null QChar when there is none; counts keys.
QChar accessKey(const QString& caption, int* count)
{
    QChar key;
    *count = 0;
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&')
            continue;
        if (caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        ++*count;
        key = caption[i + 1].toLower();
    }
    return key;
}

TEST_P(LanguageFileTest, AccessKeysAreUniqueWithinEachMenu)
{
    struct Caption {
        const char* section;
        int key;
    };
    // Items that are shown together; the stop item shows 103 at first and then
    // 135 or 136, so both alternatives are checked against its neighbours.
    const std::vector<std::vector<Caption>> menus = {
        {{"Menu", 100}, {"Menu", 200}, {"Menu", 300}},
        {{"Menu", 101}, {"Menu", 102}, {"Menu", 103}},
        {{"Menu", 101}, {"Menu", 102}, {"Texty", 135}},
        {{"Menu", 101}, {"Menu", 102}, {"Texty", 136}},
        {{"Menu", 201},
         {"Menu", 202},
         {"Menu", 203},
         {"Menu", 204},
         {"Menu", 205},
         {"Menu", 206},
         {"Menu", 210},
         {"Menu", 212}},
        {{"Menu", 211}},
        {{"Menu", 301}, {"Menu", 302}, {"Menu", 303}, {"Menu", 304}},
        {{"Menu", 400}, {"Menu", 401}},
    };
    for (const auto& menu : menus) {
        std::map<QChar, int> used;
        for (const Caption& caption : menu) {
            const QString text = file.value(QString::fromLatin1(caption.section), caption.key);
            int count = 0;
            const QChar key = accessKey(text, &count);
            EXPECT_LE(count, 1) << "[" << caption.section << "] " << caption.key << " " << show(text)
                                << " has more than one access key";
            if (key.isNull())
                continue;
            const auto [it, fresh] = used.emplace(key, caption.key);
            EXPECT_TRUE(fresh) << "[" << caption.section << "] " << caption.key << " " << show(text)
                               << " shares its access key with item " << it->second;
        }
    }
}

// Menu 103 is the stop item's caption while the tick runs; after the user
// stops and resumes it shows text 136, which must read the same.
TEST_P(LanguageFileTest, StopItemReadsTheSameBeforeAndAfterResuming)
{
    EXPECT_EQ(file.value(QStringLiteral("Menu"), 103), file.value(QStringLiteral("Texty"), 136));
    EXPECT_NE(file.value(QStringLiteral("Texty"), 135), file.value(QStringLiteral("Texty"), 136));
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageFileTest, ::testing::ValuesIn(Languages),
                         [](const ::testing::TestParamInfo<Language>& info) { return std::string(info.param.code); });

// The agent finds its language files beside the program.
TEST(LanguageFilesInBinFolder, AreCopiesOfTheSources)
{
    for (const Language& language : Languages) {
        QFile source(sourcePath(language.code));
        QFile copy(QStringLiteral(VARNO_BIN_DIR "/Language.") + QLatin1String(language.code));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << source.fileName().toStdString();
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << copy.fileName().toStdString() << " was not copied";
        EXPECT_EQ(source.readAll(), copy.readAll()) << copy.fileName().toStdString() << " is out of date";
    }
}

}  // namespace
