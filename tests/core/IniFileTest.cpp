#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/profile/IniFile.h"

using varno::TIniFile;

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& contents)
{
    const QString path = dir.filePath("t.INI");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(contents);
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

}  // namespace

TEST(IniFile, NamesIgnoreCaseValuesLoseBlanksAndQuotes)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "; comment\r\n"
                                        "[set]\r\n"
                                        "  PORT =  COM3:9600,N,8,1  \r\n"
                                        "Quoted=\"  spaced  \"\r\n"
                                        "Single='x'\r\n"
                                        "Half=\"open\r\n"
                                        "Empty=\r\n"
                                        "port=second occurrence\r\n"
                                        "[Other]\r\n"
                                        "Port=wrong section\r\n"
                                        "[SET]\r\n"
                                        "Late=later section of the same name\r\n");
    const TIniFile ini(path);
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadString("Set", "Port", "d"), "COM3:9600,N,8,1");
    EXPECT_EQ(ini.ReadString("SET", "quoted", "d"), "  spaced  ");
    EXPECT_EQ(ini.ReadString("Set", "Single", "d"), "x");
    EXPECT_EQ(ini.ReadString("Set", "Half", "d"), "\"open");
    EXPECT_EQ(ini.ReadString("Set", "Empty", "d"), "");
    EXPECT_EQ(ini.ReadString("Set", "Missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("Nowhere", "Port", "d"), "d");
    EXPECT_EQ(ini.ReadString("Set", "Late", "d"), "d");  // only the first [Set] counts
}

TEST(IniFile, IntegersDecimalAndHexadecimal)
{
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, "[T]\nDec=1234\nNeg=-5\nHex1=0x1F\nHex2=0X1f\nHex3=$FF\nAll=$FFFFFFFF\nBad=12a\nBadHex=0x\n"
                       "Blank=\nFloat=1.5\nHuge=99999999999\nLongHex=$123456789\nBool0=0\nBoolHex=$10\n");
    const TIniFile ini(path);
    struct Case {
        const char* key;
        int expected;
    } cases[] = {{"Dec", 1234}, {"Neg", -5},     {"Hex1", 31},   {"Hex2", 31},  {"Hex3", 255},
                 {"All", -1},   {"Bad", 77},     {"BadHex", 77}, {"Blank", 77}, {"Float", 77},
                 {"Huge", 77},  {"LongHex", 77}, {"Missing", 77}};
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadInteger("T", c.key, 77), c.expected) << c.key;
    EXPECT_FALSE(ini.ReadBool("T", "Bool0", true));
    EXPECT_TRUE(ini.ReadBool("T", "BoolHex", false));
    EXPECT_TRUE(ini.ReadBool("T", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("T", "Bad", false));
}

TEST(IniFile, LongValueIsCut)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "[S]\nK=" + QByteArray(3000, 'a') + "\n");
    EXPECT_EQ(TIniFile(path).ReadString("S", "K", "").size(), TIniFile::MaxValueLength);
}

TEST(IniFile, SectionInFileOrderFirstValueWins)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "[Prefix]\nb=2\na=1\nB=3\n;c=4\nnoequals\nd=\n[X]\ne=5\n");
    const auto entries = TIniFile(path).ReadSection("prefix");
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0], qMakePair(QString("b"), QString("2")));
    EXPECT_EQ(entries[1], qMakePair(QString("a"), QString("1")));
    EXPECT_EQ(entries[2], qMakePair(QString("d"), QString("")));
}

TEST(IniFile, WriteKeepsEveryOtherLine)
{
    QTemporaryDir dir;
    const QByteArray before =
        "; settings of the agent\r\n[Set]\r\nLang=Cz\r\nPort=COM1:9600,N,8,1\r\n\r\n[Log]\r\nCom_In=0\r\n";
    const QString path = writeFile(dir, before);

    ASSERT_TRUE(TIniFile::WriteProfileString(path, "set", "PORT", "COM3:19200,N,8,1"));
    EXPECT_EQ(readFile(path),
              "; settings of the agent\r\n[Set]\r\nLang=Cz\r\nPORT=COM3:19200,N,8,1\r\n\r\n[Log]\r\nCom_In=0\r\n");

    // A new key goes to the end of its section, before the blank line.
    ASSERT_TRUE(TIniFile::WriteProfileString(path, "Set", "QLIN", "1"));
    EXPECT_EQ(readFile(path), "; settings of the agent\r\n[Set]\r\nLang=Cz\r\nPORT=COM3:19200,N,8,1\r\nQLIN=1\r\n"
                              "\r\n[Log]\r\nCom_In=0\r\n");

    // A new section is appended.
    ASSERT_TRUE(TIniFile::WriteProfileString(path, "Trapy", "Subject", "PBX"));
    EXPECT_TRUE(readFile(path).endsWith("Com_In=0\r\n[Trapy]\r\nSubject=PBX\r\n"));
}

TEST(IniFile, WriteCreatesMissingFileAndObjectSeesIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("new.INI");
    TIniFile ini(path);
    EXPECT_FALSE(ini.Exists());
    ASSERT_TRUE(ini.WriteString("Set", "Lang", "De"));
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadString("Set", "Lang", ""), "De");
    EXPECT_EQ(readFile(path), "[Set]\nLang=De\n");
}

TEST(IniFile, WriteIntoUnwritableFolderFails)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing-folder/agent.INI");
    QString error;
    EXPECT_FALSE(TIniFile::WriteProfileString(path, "Set", "Lang", "De", &error));
    EXPECT_FALSE(error.isEmpty());
}
