// The fast test answers without listing a mailbox, from inotify or, where that cannot be had,
// from change times; the same cases must hold both ways.
#include "tests/agentq5/GatewayFixture.h"

#include <cstdio>
#include <cstdlib>

namespace varno::agentq5::test {
namespace {

class Agentq5FastTest : public GatewayTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        GatewayTest::SetUp();
        if (!GetParam())
            ::setenv("AGENTQ5_NO_INOTIFY", "1", 1);
    }
};

TEST_P(Agentq5FastTest, QuietWithoutChangesAndSetByEachKindOfChange)
{
    const std::string box = AddMailbox("anna", "Anna", "201", true);
    AddMailbox("bruno", "Bruno", "202");
    Deliver(box, "1.a");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    EXPECT_EQ(FastTest(), 1);
    Read(AQ5_MODE_ALL);
    EXPECT_EQ(FastTest(), 1);  // not confirmed yet
    ConfirmAll();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(FastTest(), 0);
    EXPECT_EQ(FastTest(), 0);

    // A client that marks a message seen (a rename in cur/), a delivery into a folder, a removal,
    // a new folder: each one sets the fast test, and the change read then shows it.
    const std::vector<std::function<void()>> changes = {
        [&] { MoveToCur(box, "1.a", "S"); },
        [&] { Deliver(box, "2.fax", ".Fax"); },
        [&] { RemoveMessage(box, "2.fax", ".Fax"); },
        [&] {
            MakeMaildir(box + "/.New");
            Deliver(box, "3.n", ".New");
        },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        changes[i]();
        EXPECT_EQ(FastTest(), 1) << "change " << i;
        EXPECT_EQ(Read(AQ5_MODE_CHANGES).size(), 1U) << "change " << i;
        ConfirmAll();
        ASSERT_TRUE(Settle());
    }
}

TEST_P(Agentq5FastTest, ChangeDuringAnUnconfirmedReadKeepsItSet)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();
    ASSERT_TRUE(Settle());
    Deliver(box, "1.a");
    ASSERT_EQ(FastTest(), 1);
    Read(AQ5_MODE_CHANGES);
    Deliver(box, "2.b");
    ConfirmAll();
    EXPECT_EQ(FastTest(), 1);
    const std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read[0].With(0), std::vector<std::string>{"/2.b"});
    ConfirmAll();
}

INSTANTIATE_TEST_SUITE_P(Watches, Agentq5FastTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Inotify") : std::string("ChangeTimes");
                         });

class Agentq5FastTestInotify : public GatewayTest {};

TEST_F(Agentq5FastTestInotify, MailServerFilesBesideTheFoldersDoNotSetIt)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();
    ASSERT_EQ(FastTest(), 0);
    WriteFile(box + "/dovecot-uidlist.lock", "1");
    ASSERT_EQ(std::rename((box + "/dovecot-uidlist.lock").c_str(), (box + "/dovecot-uidlist").c_str()), 0);
    WriteFile(box + "/tmp/1.being-delivered", "x");
    EXPECT_EQ(FastTest(), 0);
}

}  // namespace
}  // namespace varno::agentq5::test
