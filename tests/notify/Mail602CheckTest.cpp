// The mailbox check: the gateway library on real Maildirs, the counters of
// the data model, and a gateway that is off for each of its reasons.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "MailWorld.h"

using namespace varno;
using varno::test::Maildirs;

namespace {

using Counts = std::tuple<int, int, int>;

}  // namespace

TEST(Mail602Check, GatewayOffForEachReasonDoesNothing)
{
    struct Case {
        const char* name;
        QByteArray ini;
        bool loaded;
        const char* problem;
    };
    MailWorld probe;
    // A library of another kind under the gateway's name: loaded, but incomplete.
    QTemporaryDir foreign;
    QFile::copy(NOT_A_GATEWAY_PATH, foreign.filePath("libagentq5.so"));
    QTemporaryDir empty;
    const std::vector<Case> cases = {
        {"no library", "", false, "libagentq5.so not loaded"},
        {"incomplete library", "", false, "entry point NactiZmenyVeSchrance missing"},
        {"wrong password",
         "[M602]\nCestaKeKonfiguraciMail602=" + probe.dir.filePath("gateway.ini").toUtf8() +
             "\nUzivatel=agent\nHeslo=x\n",
         true, "the password does not verify"},
        {"other user",
         "[M602]\nCestaKeKonfiguraciMail602=" + probe.dir.filePath("gateway.ini").toUtf8() + "\nUzivatel=root\n", true,
         "the user differs"},
        {"no configuration", "[M602]\nCestaKeKonfiguraciMail602=/nonexistent/gateway.ini\n", true, "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailWorld w;
        const QString libraryDir = std::string_view(c.name) == "no library"           ? empty.path()
                                   : std::string_view(c.name) == "incomplete library" ? foreign.path()
                                                                                      : QString(VARNO_BIN_DIR);
        Maildirs::Deliver(w.anna, "", "1.waiting");
        auto mail = w.Make(c.ini, libraryDir);
        mail->TrapAddress = "ops@example.net";
        mail->StartGateway();
        EXPECT_FALSE(mail->GatewayActive);
        EXPECT_TRUE(mail->Problem().contains(c.problem)) << mail->Problem().toStdString();
        EXPECT_FALSE(mail->CheckMailboxes());
        EXPECT_EQ(w.Counters("101"), Counts(0, 0, 0));
        mail->SendTrap(1);
        mail->ForwardMessage("ops@example.net", 'I', "subject", "text", '1');
        mail->StopGateway();
        mail->AbortGateway();
        EXPECT_TRUE(w.Log.empty());
        EXPECT_FALSE(QFile::exists(w.outbox));
    }
}

TEST(Mail602Check, FirstCheckSetsEverythingThenChangesAreAdded)
{
    MailWorld w;
    // Anna: texts in new/ and an unseen one in cur/ (a seen and a trashed one
    // do not count), a fax and a voice message. Karel: a text in a folder of
    // his own.
    Maildirs::Deliver(w.anna, "", "1.text");
    const QString moving = Maildirs::Deliver(w.anna, "", "2.text");
    Maildirs::Deliver(w.anna, "", "3.text", "");
    Maildirs::Deliver(w.anna, "", "4.seen", "S");
    Maildirs::Deliver(w.anna, "", "5.trashed", "T");
    const QString fax = Maildirs::Deliver(w.anna, ".Fax", "6.fax");
    Maildirs::Deliver(w.anna, ".Voice", "7.voice", "F");
    Maildirs::Deliver(w.karel, ".Archive", "8.text");
    // Line 200 has no mailbox: the full read clears what it held.
    w.data.SetCounters("200", 5, 5, 5, 0);

    auto mail = w.Make();
    mail->StartGateway();
    ASSERT_TRUE(mail->GatewayActive) << mail->Problem().toStdString();
    EXPECT_TRUE(mail->ReloadAll);
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_FALSE(mail->ReloadAll);
    EXPECT_EQ(w.Counters("101"), Counts(3, 1, 1));
    EXPECT_EQ(w.Counters("102"), Counts(1, 0, 0));
    EXPECT_EQ(w.Counters("200"), Counts(0, 0, 0));
    EXPECT_EQ(mail->MessageList.size(), 6);
    EXPECT_TRUE(w.Log.empty()) << "a successful check logs nothing without Extent";

    // Nothing changed: nothing is read.
    EXPECT_FALSE(mail->CheckMailboxes());

    // Two new texts, the fax gone, a text seen: +2 and -1 texts, -1 fax.
    Maildirs::Deliver(w.anna, "", "9.text");
    Maildirs::Deliver(w.anna, ".Drafts", "10.text");
    ASSERT_TRUE(QFile::remove(fax));
    ASSERT_TRUE(QFile::rename(moving, w.anna + "/cur/2.text:2,S"));
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_EQ(w.Counters("101"), Counts(4, 0, 1));
    EXPECT_EQ(w.Counters("102"), Counts(1, 0, 0));

    // Read by a mail program: moved from new/ to cur/ without flags, still waiting.
    ASSERT_TRUE(QFile::rename(w.anna + "/new/9.text", w.anna + "/cur/9.text:2,"));
    mail->CheckMailboxes();
    EXPECT_EQ(w.Counters("101"), Counts(4, 0, 1));
    EXPECT_TRUE(w.Log.empty());
    mail->StopGateway();
}

TEST(Mail602Check, AMailboxThatComesBackIsSetWhileTheOthersAreAdded)
{
    MailWorld w;
    w.config.Log.Extent = true;
    Maildirs::Deliver(w.anna, "", "1.text");
    Maildirs::Deliver(w.anna, ".Fax", "2.fax");
    Maildirs::Deliver(w.karel, "", "3.text");
    auto mail = w.Make();
    mail->StartGateway();
    ASSERT_TRUE(mail->GatewayActive) << mail->Problem().toStdString();
    ASSERT_TRUE(mail->CheckMailboxes());
    EXPECT_TRUE(w.Logged("Name:Anna Nováková", "Tel:101 sms:1,fax:1,hlas:0"));
    EXPECT_TRUE(w.Logged("Name:Karel", "Tel:102 sms:1,fax:0,hlas:0"));
    w.Log.clear();

    // Anna's Maildir goes away: her messages no longer wait.
    ASSERT_TRUE(QDir(w.anna).removeRecursively());
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_EQ(w.Counters("101"), Counts(0, 0, 0));

    // It comes back with other messages, while Karel gets one more. The
    // counter of Anna's line has drifted meanwhile: the re-read sets it.
    Maildirs::Make(w.anna);
    Maildirs::Deliver(w.anna, "", "4.text");
    Maildirs::Deliver(w.anna, ".Voice", "5.voice");
    Maildirs::Deliver(w.karel, "", "6.text");
    w.data.SetCounters("101", 77, 77, 77, 0);
    w.data.SetCounters("102", 10, 0, 0, 0);
    w.Log.clear();
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_EQ(w.Counters("101"), Counts(1, 0, 1));
    EXPECT_EQ(w.Counters("102"), Counts(11, 0, 0));
    EXPECT_TRUE(w.Logged("!Err", "Mailbox changed, read again"));
    EXPECT_TRUE(w.Logged("Name:Anna Nováková", "Tel:101 sms:1,fax:0,hlas:1"));
    EXPECT_TRUE(w.Logged("Name:Karel", "Tel:102 sms:1,fax:0,hlas:0"));

    // The re-read messages are known: their going lowers the counters.
    ASSERT_TRUE(QFile::remove(w.anna + "/new/4.text"));
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_EQ(w.Counters("101"), Counts(0, 0, 1));
    mail->StopGateway();
}
