// The mail gateway end to end: the agent and the simulator as processes, the
// gateway library on real Maildirs, its sendmail a stand-in script that
// files every message it is given.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "AgentAndSimulator.h"
#include "platform/profile/IniFile.h"
#include "tests/support/Maildirs.h"

using namespace varno;
using namespace varno::test;

namespace {

const QByteArray kPbx = "config 0 0 0 0 1 0\nidentity 3 10 64\nline 0 101\nline 1 102\nline 2 200\n";
const QByteArray kFast = "[Timer]\nInterval=20\nMaxTick=3\nMaxError=2\nMaxErrorTick=10\nTrapInterval=50\n"
                         "MSGInterval=150\n[Set]\nReadUct=0\n";

// Mailboxes of Anna (line 101) and Karel (line 102), a gateway
// configuration and the agent's settings for it.
struct MailSite {
    explicit MailSite(AgentAndSimulator& run, const QByteArray& password = "")
    {
        const QString dir = run.dir.path();
        anna = dir + "/mail/anna";
        karel = dir + "/mail/karel";
        Maildirs::Make(anna);
        Maildirs::Make(karel);
        outbox = dir + "/outbox";
        const QString sendmail = Maildirs::WriteSendmail(dir, outbox);
        QFile f(dir + "/gateway.ini");
        if (f.open(QIODevice::WriteOnly))
            f.write("[Gateway]\nUser=agent\nSendmail=" + sendmail.toUtf8() +
                    " -t -i\nFrom=agent@pbx.example.net\nTimeout=5\n[Mailbox anna]\nOwner=Anna\nPhone=101\nMaildir=" +
                    anna.toUtf8() + "\n[Mailbox karel]\nOwner=Karel\nPhone=102\nMaildir=" + karel.toUtf8() + "\n");
        f.close();
        const QString ini = run.dir.filePath("agent.INI");
        TIniFile::WriteProfileString(ini, "M602", "CestaKeKonfiguraciMail602", f.fileName());
        TIniFile::WriteProfileString(ini, "M602", "Uzivatel", "agent");
        TIniFile::WriteProfileString(ini, "M602", "Heslo", QString::fromUtf8(password));
        TIniFile::WriteProfileString(ini, "M602", "CestaKPracovnimuAdresari", dir);
        TIniFile::WriteProfileString(ini, "Trapy", "AdresaPrijemce", "ops@example.net");
        TIniFile::WriteProfileString(ini, "Trapy", "TypAdresyPrijemce", "I");
        TIniFile::WriteProfileString(ini, "Trapy", "Subject", "PBX");
    }
    QByteArray Outbox() const { return Maildirs::Read(outbox); }
    QString anna, karel, outbox;
};

// The counters of the simulator's last counter write, "0:S/V/F/R 1:...".
QString lastCounters(const AgentAndSimulator& run)
{
    QString last;
    for (const QString& line : run.SimulatorLog())
        if (line.contains(" INFO ") && line.contains(" counters "))
            last = line.section(" counters ", 1);
    return last;
}

}  // namespace

TEST(MailEndToEnd, CountersAndSlotMessagesCrossTheAgent)
{
    AgentAndSimulator run(kPbx, kFast);
    MailSite site(run);
    Maildirs::Deliver(site.anna, "", "1.text");
    const QString seen = Maildirs::Deliver(site.anna, "", "2.text");
    Maildirs::Deliver(site.anna, ".Fax", "3.fax");
    Maildirs::Deliver(site.anna, ".Voice", "4.voice");
    Maildirs::Deliver(site.karel, "", "5.text");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains("-OK- " + LanguageText(126)); }))
        << run.AgentOutput().toStdString();

    // SMS, voice, fax and reserved per line, as the telephones show them.
    ASSERT_TRUE(run.WaitUntil([&] { return lastCounters(run) == "0:2/1/1/0 1:1/0/0/0 2:0/0/0/0"; }))
        << lastCounters(run).toStdString() << run.AgentOutput().toStdString();

    // A new message for Karel, one of Anna's read.
    Maildirs::Deliver(site.karel, ".Notes", "6.text");
    ASSERT_TRUE(QFile::rename(seen, site.anna + "/cur/2.text:2,S"));
    ASSERT_TRUE(run.WaitUntil([&] { return lastCounters(run) == "0:1/1/1/0 1:2/0/0/0 2:0/0/0/0"; }))
        << lastCounters(run).toStdString();

    // An internet message in slot 2 leaves as a mail and the slot is cleared.
    ASSERT_EQ(run.Control("slot 2 I boss@example.net\\nMeeting\\nat ten in room 4"), "OK");
    ASSERT_TRUE(run.WaitUntil([&] { return site.Outbox().contains("at ten in room 4"); }, 8000));
    const QByteArray mail = site.Outbox();
    EXPECT_TRUE(mail.contains("To: boss@example.net"));
    EXPECT_TRUE(mail.contains("Subject: Meeting"));
    ASSERT_TRUE(run.WaitUntil([&] { return run.SimulatorLog().join('\n').contains("slot 2 cleared"); }));
    EXPECT_TRUE(run.AgentOutput().contains(">602 Mail: Meeting to boss@example.net"));

    // A local message for line 101 lands in Anna's Maildir and on her counter.
    ASSERT_EQ(run.Control("slot 0 L 101\\nCall back\\nMr Dvorak, 602 123 456"), "OK");
    ASSERT_TRUE(run.WaitUntil([&] { return lastCounters(run) == "0:2/1/1/0 1:2/0/0/0 2:0/0/0/0"; }))
        << lastCounters(run).toStdString();
    const QStringList delivered = Maildirs::NewFiles(site.anna);
    ASSERT_EQ(delivered.size(), 2);  // 1.text and the message
    bool found = false;
    for (const QString& name : delivered)
        found |= Maildirs::Read(site.anna + "/new/" + name).contains("Mr Dvorak, 602 123 456");
    EXPECT_TRUE(found);

    // At the end every counter goes back to 0.
    EXPECT_EQ(run.StopAgent(), 0);
    EXPECT_EQ(lastCounters(run), "0:0/0/0/0 1:0/0/0/0 2:0/0/0/0");
}

TEST(MailEndToEnd, OneFailureTrapAndOneRecoveryTrapPerOutage)
{
    struct Case {
        const char* name;
        QByteArray offText;  // ZpravaComOff; null: the language's text
        int mails;
    };
    for (const Case& c : {Case{"both traps", QByteArray(), 2}, Case{"failure trap off", QByteArray(""), 1}}) {
        SCOPED_TRACE(c.name);
        AgentAndSimulator run(kPbx, kFast);
        MailSite site(run);
        if (!c.offText.isNull())
            TIniFile::WriteProfileString(run.dir.filePath("agent.INI"), "Trapy", "ZpravaComOff", "");
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitUntil([&] { return lastCounters(run).startsWith("0:"); }))
            << run.AgentOutput().toStdString();

        // Silent through several error pauses, then back.
        ASSERT_EQ(run.Control("fault silent"), "OK");
        const QString failed = "!Err " + LanguageText(116);
        ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains(failed); }));
        const int before = static_cast<int>(run.Requests().size());
        ASSERT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= before + 6; }));
        ASSERT_EQ(run.Control("fault clear"), "OK");
        ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains("-OK- " + LanguageText(117)); }));
        ASSERT_TRUE(run.WaitUntil([&] { return site.Outbox().count("\n----\n") == c.mails; }, 8000))
            << site.Outbox().toStdString();
        EXPECT_EQ(run.StopAgent(), 0);

        const QString output = run.AgentOutput();
        const QByteArray outbox = site.Outbox();
        const QString recoveredText = LanguageBlockText(200);
        const QString failedText = LanguageBlockText(299);
        EXPECT_EQ(output.count("Mail ops@example.net > " + recoveredText), 1) << output.toStdString();
        EXPECT_EQ(outbox.count(recoveredText.toUtf8()), 1);
        EXPECT_EQ(output.count("Mail ops@example.net > " + failedText), c.mails - 1);
        EXPECT_EQ(outbox.count(failedText.toUtf8()), c.mails - 1);
        EXPECT_EQ(outbox.count("To: ops@example.net"), c.mails);
    }
}

TEST(MailEndToEnd, WrongPasswordLeavesTheGatewayOffAndItsPollsUnstarted)
{
    AgentAndSimulator run(kPbx, kFast + "[Set]\nReadUct=1\n[Timer]\nURInterval=50\nURIntervalBezDat=50\n");
    MailSite site(run, "secret");
    Maildirs::Deliver(site.anna, "", "1.text");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return run.AgentOutput().contains("!Err " + LanguageText(127)); }));
    EXPECT_TRUE(run.AgentOutput().contains("the password does not verify"));
    // The billing poll runs; the slot and counter polls never start.
    ASSERT_TRUE(run.WaitUntil([&] { return RequestKinds(run.Requests()).count("bill") >= 5; }))
        << run.AgentOutput().toStdString();
    const QStringList seen = RequestKinds(run.Requests());
    EXPECT_FALSE(seen.contains("slot"));
    EXPECT_FALSE(seen.contains("counters"));
    EXPECT_EQ(run.StopAgent(), 0);
}
