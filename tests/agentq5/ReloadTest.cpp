// A Maildir that goes away and comes back: its messages are reported gone, and when it can be
// read again it comes with the reload event and is read again in full.
#include "tests/agentq5/GatewayFixture.h"

#include <cstdio>

namespace varno::agentq5::test {
namespace {

class Agentq5Reload : public GatewayTest {
protected:
    // Re-reads the mailbox of the reload event in mode 1; the fresh record's view.
    MailboxView ReadAgain(const MailboxView& listed, AQ5_Mailbox** fresh)
    {
        AQ5_Params params{};
        params.Mode = AQ5_MODE_ALL;
        *fresh = const_cast<AQ5_Mailbox*>(listed.record);
        EXPECT_EQ(NactiZmenyVeSchrance(fresh, &params, const_cast<AQ5_Mailbox*>(listed.record)), 0);
        EXPECT_NE(*fresh, nullptr);
        const std::vector<MailboxView> view = ViewOf(*fresh);
        EXPECT_EQ(view.size(), 1U);
        return view.empty() ? MailboxView{} : view[0];
    }
};

TEST_F(Agentq5Reload, MaildirRenamedAwayIsGoneAndComesBackWithTheReloadEvent)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    AddMailbox("bruno", "Bruno", "202");
    Deliver(box, "1.a");
    Deliver(box, "2.b");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const MailboxView full = Read(AQ5_MODE_ALL).at(0);
    ConfirmAll();

    ASSERT_EQ(std::rename(box.c_str(), (box + ".away").c_str()), 0);
    EXPECT_EQ(FastTest(), 1);
    std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_FALSE(read[0].readable);
    EXPECT_EQ(read[0].With(AQ5_MSG_GONE), (std::vector<std::string>{"/1.a", "/2.b"}));
    EXPECT_EQ(read[0].IdOf("1.a"), full.IdOf("1.a"));
    EXPECT_EQ(read[0].texts, 0U);
    ConfirmAll();
    EXPECT_EQ(FastTest(), 0);  // still away: nothing more to say

    Deliver(box + ".away", "3.c");
    ASSERT_EQ(std::rename((box + ".away").c_str(), box.c_str()), 0);
    EXPECT_EQ(FastTest(), 1);
    read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].event, AQ5_EVENT_RELOAD);
    EXPECT_TRUE(read[0].folders.empty());

    AQ5_Mailbox* fresh = nullptr;
    const MailboxView again = ReadAgain(read[0], &fresh);
    EXPECT_EQ(again.event, 0);
    EXPECT_EQ(again.texts, 3U);
    EXPECT_EQ(again.With(0), (std::vector<std::string>{"/1.a", "/2.b", "/3.c"}));
    EXPECT_EQ(PotvrdPreneseniZmenVeSchrance(&fresh), 0);
    EXPECT_EQ(PotvrdPreneseniZmenVeSchrance(&fresh), AQ5_READ_UNKNOWN_MAILBOX);  // confirmed already
    ConfirmAll();
    EXPECT_EQ(FastTest(), 0);

    // From here on it is an ordinary mailbox again.
    RemoveMessage(box, "3.c");
    read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].With(AQ5_MSG_GONE), std::vector<std::string>{"/3.c"});
    EXPECT_EQ(read[0].IdOf("3.c"), again.IdOf("3.c"));
    ConfirmAll();
}

TEST_F(Agentq5Reload, MaildirRemovedAndMadeAgainReportsTheOldMessagesGoneThenReloads)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    Deliver(box, "1.a");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();

    RemoveTree(box);
    MakeMaildir(box);
    Deliver(box, "2.restored");
    EXPECT_EQ(FastTest(), 1);
    std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].event, 0);
    EXPECT_EQ(read[0].With(AQ5_MSG_GONE), std::vector<std::string>{"/1.a"});
    EXPECT_TRUE(read[0].With(0).empty());
    ConfirmAll();

    EXPECT_EQ(FastTest(), 1);
    read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].event, AQ5_EVENT_RELOAD);
    AQ5_Mailbox* fresh = nullptr;
    EXPECT_EQ(ReadAgain(read[0], &fresh).With(0), std::vector<std::string>{"/2.restored"});
    EXPECT_EQ(PotvrdPreneseniZmenVeSchrance(&fresh), 0);
    ConfirmAll();
    EXPECT_EQ(FastTest(), 0);
}

TEST_F(Agentq5Reload, ReloadWithoutItsConfirmationIsAnnouncedAgain)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    ASSERT_EQ(std::rename(box.c_str(), (box + ".away").c_str()), 0);
    EXPECT_FALSE(Read(AQ5_MODE_ALL).at(0).readable);
    ConfirmAll();
    ASSERT_EQ(std::rename((box + ".away").c_str(), box.c_str()), 0);
    std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].event, AQ5_EVENT_RELOAD);
    AQ5_Mailbox* fresh = nullptr;
    ReadAgain(read[0], &fresh);
    ConfirmAll();  // the re-read itself is never confirmed
    EXPECT_EQ(FastTest(), 1);
    read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].event, AQ5_EVENT_RELOAD);
    ConfirmAll();
}

TEST_F(Agentq5Reload, ReadOfOneMailboxRefusesWhatItCannotRead)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const std::vector<MailboxView> read = Read(AQ5_MODE_ALL);
    ConfirmAll();
    AQ5_Params params{};
    params.Mode = AQ5_MODE_ALL;
    AQ5_Mailbox stranger{};
    AQ5_Mailbox* current = &stranger;
    EXPECT_EQ(NactiZmenyVeSchrance(&current, &params, &stranger), AQ5_READ_UNKNOWN_MAILBOX);
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(NactiZmenyVeSchrance(nullptr, &params, const_cast<AQ5_Mailbox*>(read[0].record)), AQ5_READ_BAD_ARGUMENT);
    params.Mode = 7;
    EXPECT_EQ(NactiZmenyVeSchrance(&current, &params, const_cast<AQ5_Mailbox*>(read[0].record)), AQ5_READ_BAD_MODE);
    params.Mode = AQ5_MODE_ALL;
    RemoveTree(box);
    EXPECT_EQ(NactiZmenyVeSchrance(&current, &params, const_cast<AQ5_Mailbox*>(read[0].record)),
              AQ5_READ_MAILDIR_UNREADABLE);
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(PotvrdPreneseniZmenVeSchrance(&current), AQ5_READ_UNKNOWN_MAILBOX);
}

}  // namespace
}  // namespace varno::agentq5::test
