#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "agent/nls/Nls.h"

using varno::TNLS;

namespace {

void writeLanguage(const QTemporaryDir& dir, const QString& code, const QByteArray& contents)
{
    QFile f(dir.filePath("Language." + code));
    f.open(QIODevice::WriteOnly);
    f.write(contents);
}

}  // namespace

TEST(Nls, MissingFileGivesEmptyTexts)
{
    QTemporaryDir dir;
    TNLS nls(dir.path());
    EXPECT_EQ(nls.Language(), "Cz");
    nls.SetLanguage("Eng");
    nls.LoadTexts();
    nls.CloseLanguageFile();
    EXPECT_EQ(nls.GetText(116), "");
    EXPECT_EQ(nls.GetBlockText(200), "");
    EXPECT_EQ(nls.GetBlockText(299), "");
    EXPECT_FALSE(nls.LanguageFileOpen());
}

TEST(Nls, TextsMergeAcrossSwitch)
{
    QTemporaryDir dir;
    writeLanguage(dir, "Eng", "[Texty]\n116=Line failed\n146=Only in English\n137=Error\n0100=not a key\n");
    writeLanguage(dir, "De", "[texty]\n116=Leitung ausgefallen\n137=\n");
    TNLS nls(dir.path());

    nls.SetLanguage("Eng");
    nls.LoadTexts();
    nls.CloseLanguageFile();
    EXPECT_EQ(nls.GetText(116), "Line failed");
    EXPECT_EQ(nls.GetText(100), "");  // "0100" is not the key of 100

    nls.SetLanguage("De");
    nls.LoadTexts();
    nls.CloseLanguageFile();
    EXPECT_EQ(nls.GetText(116), "Leitung ausgefallen");
    EXPECT_EQ(nls.GetText(146), "Only in English");  // kept from the language before
    EXPECT_EQ(nls.GetText(137), "");                 // an empty value removes the entry
    EXPECT_EQ(nls.GetText(999), "");                 // a missing key
}

TEST(Nls, GetTextNeverTouchesTheFile)
{
    QTemporaryDir dir;
    writeLanguage(dir, "Eng", "[Texty]\n122=No configuration file\n");
    TNLS nls(dir.path());
    nls.SetLanguage("Eng");
    nls.LoadTexts();
    nls.CloseLanguageFile();
    QFile::remove(dir.filePath("Language.Eng"));
    EXPECT_EQ(nls.GetText(122), "No configuration file");
}

TEST(Nls, BlockTextsOpenAndCloseAtTheBoundaries)
{
    QTemporaryDir dir;
    writeLanguage(dir, "Eng", "[Text]\n100=Mail\n101=SMS\n199=Voice\n200=Line is back\n299=Line failed\n");
    TNLS nls(dir.path());
    nls.SetLanguage("Eng");
    nls.CloseLanguageFile();

    EXPECT_EQ(nls.GetBlockText(100), "Mail");
    EXPECT_TRUE(nls.LanguageFileOpen());
    EXPECT_EQ(nls.GetBlockText(101), "SMS");
    EXPECT_EQ(nls.GetBlockText(102), "");
    EXPECT_EQ(nls.GetBlockText(199), "Voice");
    EXPECT_FALSE(nls.LanguageFileOpen());
    EXPECT_EQ(nls.GetBlockText(200), "Line is back");
    EXPECT_EQ(nls.GetBlockText(299), "Line failed");
    EXPECT_FALSE(nls.LanguageFileOpen());
}

TEST(Nls, CodeInOtherCaseFindsItsFile)
{
    QTemporaryDir dir;
    writeLanguage(dir, "Eng", "[Texty]\n119=Server open\n[Common]\n1001=Varno Agent\n[Menu]\n102=E&xit\n");
    TNLS nls(dir.path());
    nls.SetLanguage("eng");
    nls.LoadTexts();
    EXPECT_EQ(nls.MenuText(102, "&Ukončit"), "E&xit");
    EXPECT_EQ(nls.CommonText(1001, "x"), "Varno Agent");
    EXPECT_EQ(nls.CommonText(5000, "Nastavení Logu"), "Nastavení Logu");
    nls.CloseLanguageFile();
    EXPECT_EQ(nls.GetText(119), "Server open");
    EXPECT_EQ(nls.Language(), "eng");
    EXPECT_EQ(nls.MenuText(102, "&Ukončit"), "&Ukončit");  // closed file: the current caption stays
}
