// Forwarding the PBX's text messages and the local traps, through the real
// gateway library to a sendmail stand-in (a script that files each message).
#include <gtest/gtest.h>

#include <QFile>

#include "MailWorld.h"

using namespace varno;
using varno::test::Maildirs;

namespace {

int messagesIn(const QString& outbox) { return int(Maildirs::Read(outbox).count("\n----\n")); }

}  // namespace

TEST(LocalTraps, FailureAndRecoveryTrapsAndTheirSwitch)
{
    MailWorld w;
    // ZpravaComOff empty switches the failure trap off; ZpravaComOn missing
    // gives the language's text.
    auto mail = w.Make("[Trapy]\nAdresaPrijemce=ops@example.net\nTypAdresyPrijemce=I\nSubject=PBX\nZpravaComOff=\n");
    mail->StartGateway();
    ASSERT_TRUE(mail->GatewayActive) << mail->Problem().toStdString();
    mail->SendTrap(1);
    mail->SendTrap(3);
    EXPECT_TRUE(w.Log.empty());
    mail->SendTrap(2);
    EXPECT_TRUE(w.Logged("Mail", "ops@example.net > PBX answers again"));
    ASSERT_TRUE(MailWorld::WaitUntil([&] { return messagesIn(w.outbox) == 1; }));
    const QByteArray sent = Maildirs::Read(w.outbox);
    EXPECT_TRUE(sent.contains("To: ops@example.net"));
    EXPECT_TRUE(sent.contains("Subject: PBX"));
    EXPECT_TRUE(sent.contains("PBX answers again"));

    // With a text, the failure trap goes too.
    mail->TrapTextOff = "PBX line failed at the desk";
    mail->SendTrap(1);
    EXPECT_TRUE(w.Logged("Mail", "ops@example.net > PBX line failed at the desk"));
    ASSERT_TRUE(MailWorld::WaitUntil([&] { return messagesIn(w.outbox) == 2; }));
    EXPECT_TRUE(Maildirs::Read(w.outbox).contains("PBX line failed at the desk"));
    mail->StopGateway();
}

TEST(LocalTraps, RefusedTrapIsNotLogged)
{
    MailWorld w;
    // Type 'V' has no route in the gateway's configuration.
    auto mail = w.Make("[Trapy]\nAdresaPrijemce=777123456\nTypAdresyPrijemce=V\nZpravaComOn=back\n");
    mail->StartGateway();
    ASSERT_TRUE(mail->GatewayActive) << mail->Problem().toStdString();
    mail->SendTrap(2);
    EXPECT_TRUE(w.Log.empty());
    mail->StopGateway();
}

TEST(Mail602Forward, SlotMessagesLeaveByTheirType)
{
    MailWorld w;
    auto mail = w.Make();
    mail->StartGateway();
    ASSERT_TRUE(mail->GatewayActive) << mail->Problem().toStdString();
    ASSERT_TRUE(mail->CheckMailboxes());
    ASSERT_EQ(w.Counters("101"), std::make_tuple(0, 0, 0));

    // A local message for the owner of line 101 lands in her Maildir and
    // shows on her telephone at the next check.
    mail->ForwardMessage("101", 'L', "Call back", "Mr Dvorak, 602 123 456", '1');
    const QStringList delivered = Maildirs::NewFiles(w.anna);
    ASSERT_EQ(delivered.size(), 1);
    EXPECT_TRUE(Maildirs::Read(w.anna + "/new/" + delivered[0]).contains("Mr Dvorak, 602 123 456"));
    EXPECT_TRUE(mail->CheckMailboxes());
    EXPECT_EQ(w.Counters("101"), std::make_tuple(1, 0, 0));

    // An internet mail and an SMS by its route.
    mail->ForwardMessage("boss@example.net", 'I', "Meeting", "at ten", '1');
    mail->ForwardMessage("777123456", 'Q', "Hi", "SMS text", '1');
    ASSERT_TRUE(MailWorld::WaitUntil([&] { return messagesIn(w.outbox) == 2; }));
    const QByteArray sent = Maildirs::Read(w.outbox);
    EXPECT_TRUE(sent.contains("To: boss@example.net"));
    EXPECT_TRUE(sent.contains("Subject: Meeting"));
    EXPECT_TRUE(sent.contains("at ten"));
    EXPECT_TRUE(sent.contains("To: 777123456@sms.example.net"));
    EXPECT_TRUE(w.Log.empty());

    // A message the gateway refuses is said, so that it is not lost unseen.
    mail->ForwardMessage("777123456", 'V', "Voice", "text", '1');
    mail->ForwardMessage("", 'I', "No one", "text", '1');
    EXPECT_TRUE(w.Logged("!Err", "Mail not taken over (error 22): Voice to 777123456"));
    EXPECT_TRUE(w.Logged("!Err", "Mail not taken over (error 21): No one to "));
    mail->StopGateway();
}
