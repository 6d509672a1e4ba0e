// The settings of sections M602 and Trapy: defaults, cutting, the scrambled
// password, and what the dialogs' OK writes.
#include <gtest/gtest.h>

#include <QDir>

#include "MailWorld.h"
#include "agent/core/IniWriter.h"
#include "agent/notify/PasswordScrambler.h"

using namespace varno;

TEST(Mail602Settings, DefaultsWithEmptySections)
{
    MailWorld w;
    auto mail = w.Make("[M602]\nCestaKeKonfiguraciMail602=\n");
    EXPECT_EQ(mail->ConfigPath, "");
    EXPECT_EQ(mail->UserName, "");
    EXPECT_EQ(mail->Password, "");
    EXPECT_EQ(mail->WorkDir, QDir::tempPath());
    EXPECT_FALSE(mail->WorkDir.endsWith('/'));
    EXPECT_EQ(mail->DebugLevel, 0u);
    EXPECT_EQ(mail->TrapAddress, "");
    EXPECT_EQ(mail->TrapAddressType, 0);
    EXPECT_EQ(mail->TrapTextOn, "PBX answers again");
    EXPECT_EQ(mail->TrapTextOff, "PBX line failed");
    EXPECT_FALSE(w.nls.LanguageFileOpen());
    EXPECT_TRUE(w.Log.empty());
}

TEST(Mail602Settings, ValuesAreReadAndCutToTheirFields)
{
    MailWorld w;
    const QString longPath = "/" + QString(120, QChar(u'ž'));
    auto mail = w.Make("[M602]\nCestaKeKonfiguraciMail602=" + longPath.toUtf8() +
                       "\nUzivatel=agent\nHeslo=" + PasswordScrambler::Scramble("tajné heslo, velmi dlouhé").toUtf8() +
                       "\nDebug=1f\n[Trapy]\nAdresaPrijemce=ops@example.net\nTypAdresyPrijemce=Quick\n"
                       "Subject=PBX\nZpravaComOff=" +
                       QByteArray(250, 'x') + "\nZpravaComOn=\n");
    EXPECT_EQ(mail->ConfigPath, longPath.left(100));
    EXPECT_EQ(mail->UserName, "agent");
    EXPECT_EQ(mail->Password, QString("tajné heslo, velmi dlouhé").left(20));
    EXPECT_EQ(mail->DebugLevel, 0x1fu);
    EXPECT_EQ(mail->TrapAddress, "ops@example.net");
    EXPECT_EQ(mail->TrapAddressType, 'Q');
    EXPECT_EQ(mail->TrapSubject, "PBX");
    EXPECT_EQ(mail->TrapTextOff, QString(201, 'x'));
    EXPECT_EQ(mail->TrapTextOn, "");  // present and empty: that trap is off
    // Each cut is said once.
    EXPECT_TRUE(w.Logged("!Err", "Setting CestaKeKonfiguraciMail602 longer than 100 characters: cut"));
    EXPECT_TRUE(w.Logged("!Err", "Setting Heslo longer than 20 characters: cut"));
    EXPECT_TRUE(w.Logged("!Err", "Setting ZpravaComOff longer than 201 characters: cut"));
    EXPECT_EQ(w.Log.size(), 3u);
}

TEST(Mail602Settings, BadDebugValueIsZeroAndSaid)
{
    MailWorld w;
    auto mail = w.Make("[M602]\nCestaKeKonfiguraciMail602=x\nDebug=zz\n");
    EXPECT_EQ(mail->DebugLevel, 0u);
    ASSERT_EQ(w.Log.size(), 1u);
    EXPECT_TRUE(w.Log[0].second.contains("Debug"));
}

TEST(Mail602Settings, DialogsWriteTheirSectionsAndThePasswordReadsBackPlain)
{
    MailWorld w;
    auto mail = w.Make("[M602]\nCestaKeKonfiguraciMail602=old\n[Trapy]\nTypAdresyPrijemce=I\n");
    mail->ConfigPath = "/etc/varno-agent/mail.ini";
    mail->WorkDir = "/var/lib/varno-agent";
    mail->UserName = "agent";
    mail->Password = "Žluťoučký kůň 7";
    mail->TrapAddress = "ops@example.net";
    mail->TrapAddressType = 0;
    mail->TrapSubject = "PBX";
    mail->TrapTextOn = "back";
    mail->TrapTextOff = "down";
    const QString path = w.dir.filePath("saved.INI");
    const TIniWriter writer(path, w.log);
    mail->SaveSettings(writer);
    mail->SaveTrapSettings(writer);

    const TIniFile ini(path);
    const QString stored = ini.ReadString("M602", "Heslo", "");
    EXPECT_NE(stored, mail->Password);
    EXPECT_EQ(stored, PasswordScrambler::Scramble(mail->Password));
    EXPECT_EQ(mail->Password, "Žluťoučký kůň 7");  // the one in memory stays plain
    EXPECT_EQ(ini.ReadString("Trapy", "TypAdresyPrijemce", "unset"), "");

    // What the next start reads.
    auto again = w.Make("[M602]\nCestaKeKonfiguraciMail602=\n");
    again->ReadSettings(ini);
    EXPECT_EQ(again->ConfigPath, "/etc/varno-agent/mail.ini");
    EXPECT_EQ(again->WorkDir, "/var/lib/varno-agent");
    EXPECT_EQ(again->Password, "Žluťoučký kůň 7");
    EXPECT_EQ(again->TrapAddress, "ops@example.net");
    EXPECT_EQ(again->TrapAddressType, 0);
    EXPECT_EQ(again->TrapTextOn, "back");
    EXPECT_EQ(again->TrapTextOff, "down");

    // The keys in the order the dialogs write them.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    const QStringList order = {"CestaKeKonfiguraciMail602",
                               "CestaKPracovnimuAdresari",
                               "Uzivatel",
                               "Heslo",
                               "AdresaPrijemce",
                               "TypAdresyPrijemce",
                               "Subject",
                               "ZpravaComOn",
                               "ZpravaComOff"};
    qsizetype at = -1;
    for (const QString& key : order) {
        const qsizetype next = text.indexOf(key + "=");
        EXPECT_GT(next, at) << key.toStdString();
        at = next;
    }
}
