// The binding's answers to what the real gateway cannot be made to do on
// demand: a failed read, a failed re-read, a message the binding never
// counted, a folder that mixes categories. The gateway here is the scripted
// stand-in (ScriptedGateway.h), loaded by the binding as the real one is.
#include <gtest/gtest.h>

#include <deque>
#include <dlfcn.h>

#include "MailWorld.h"
#include "ScriptedGateway.h"

using namespace varno;

namespace {

using Counts = std::tuple<int, int, int>;

// Gateway records built by the test; deques keep them in place.
struct Records {
    AQ5_Mailbox* Box(const char* phone, AQ5_Mailbox* after = nullptr, int event = 0)
    {
        AQ5_Mailbox& box = boxes.emplace_back();
        box = AQ5_Mailbox{};
        std::snprintf(box.Owner, sizeof box.Owner, "Owner of %s", phone);
        std::snprintf(box.Phone, sizeof box.Phone, "%s", phone);
        box.Event = event;
        if (after)
            after->Next = &box;
        return &box;
    }
    // Messages as (identifier, flags).
    void Folder(AQ5_Mailbox* box, char category, uint16_t count, const std::vector<std::pair<uint32_t, uint32_t>>& ids)
    {
        AQ5_Folder& folder = folders.emplace_back();
        folder = AQ5_Folder{};
        folder.Category = category;
        folder.Count = count;
        // Member by member: the records are packed, so no pointer to a link may be taken.
        AQ5_Message* last = nullptr;
        for (const auto& [id, flags] : ids) {
            AQ5_Message& m = messages.emplace_back();
            m = AQ5_Message{};
            m.Id = id;
            m.Flags = flags;
            if (last)
                last->Next = &m;
            else
                folder.First = &m;
            last = &m;
        }
        if (!box->First) {
            box->First = &folder;
            return;
        }
        AQ5_Folder* tail = box->First;
        while (tail->Next)
            tail = tail->Next;
        tail->Next = &folder;
    }
    std::deque<AQ5_Mailbox> boxes;
    std::deque<AQ5_Folder> folders;
    std::deque<AQ5_Message> messages;
};

// The binding over the stand-in, started, and the stand-in's script.
struct Scripted {
    Scripted()
    {
        mail = world.Make("", SCRIPTED_GATEWAY_DIR);
        // The same file, so the same loaded library as the binding's.
        handle = dlopen(SCRIPTED_GATEWAY_DIR "/libagentq5.so", RTLD_NOW);
        auto* get = handle ? reinterpret_cast<ScriptedGatewayScript* (*)()>(dlsym(handle, "ScriptedGateway")) : nullptr;
        if (!get)
            throw std::runtime_error("scripted gateway not loaded");
        script = get();
        *script = ScriptedGatewayScript{};
        mail->StartGateway();
    }
    ~Scripted()
    {
        mail.reset();
        dlclose(handle);
    }
    MailWorld world;
    std::unique_ptr<TMail602> mail;
    void* handle = nullptr;
    ScriptedGatewayScript* script = nullptr;
};

}  // namespace

TEST(Mail602Scripted, FailedReadIsSaidAndTheNextCheckReadsEverything)
{
    Scripted s;
    ASSERT_TRUE(s.mail->GatewayActive);
    Records full;
    AQ5_Mailbox* anna = full.Box("101");
    // A full read takes the folder's count, not the number of its records.
    full.Folder(anna, 'S', 5, {{1, 0}});
    s.script->List = anna;
    ASSERT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.script->LastReadMode, AQ5_MODE_ALL);
    EXPECT_EQ(s.world.Counters("101"), Counts(5, 0, 0));

    s.script->ReadResult = 12;
    EXPECT_TRUE(s.mail->CheckMailboxes());  // the counters go out as they are
    EXPECT_EQ(s.script->LastReadMode, AQ5_MODE_CHANGES);
    EXPECT_TRUE(s.world.Logged("!Err", "Mailboxes not read, error 12"));
    EXPECT_TRUE(s.mail->ReloadAll);
    EXPECT_EQ(s.world.Counters("101"), Counts(5, 0, 0));
    EXPECT_EQ(s.script->ListConfirms, 1);  // a failed read is not confirmed

    // The next check reads everything, whatever the fast test says.
    s.script->ReadResult = 0;
    s.script->FastTest = 0;
    EXPECT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.script->LastReadMode, AQ5_MODE_ALL);
    EXPECT_EQ(s.script->Reads, 3);
    EXPECT_FALSE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.script->Reads, 3);
}

TEST(Mail602Scripted, ChangesCountEachMessageUnderItsOwnCategory)
{
    Scripted s;
    s.world.config.Log.Extent = true;
    Records full;
    AQ5_Mailbox* anna = full.Box("101");
    full.Folder(anna, 'F', 1, {{7, 0}});
    full.Folder(anna, 'S', 1, {{8, 0}});
    s.script->List = anna;
    ASSERT_TRUE(s.mail->CheckMailboxes());
    ASSERT_EQ(s.world.Counters("101"), Counts(1, 1, 0));

    // One folder record with two new texts, the counted fax gone, a message
    // never counted gone, a counted text reported new again; and a mailbox
    // whose owner has no line.
    Records change;
    AQ5_Mailbox* box = change.Box("101");
    change.Folder(box, 'S', 5, {{100, 0}, {7, AQ5_MSG_GONE}, {101, 0}, {999, AQ5_MSG_SEEN}, {8, 0}});
    AQ5_Mailbox* stranger = change.Box("555", box);
    change.Folder(stranger, 'S', 1, {{200, 0}});
    s.script->List = box;
    s.world.Log.clear();
    ASSERT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.world.Counters("101"), Counts(3, 0, 0));
    EXPECT_EQ(s.world.Counters("102"), Counts(0, 0, 0));
    EXPECT_TRUE(s.world.Logged("Name:Owner of 101", "Tel:101 sms:2,fax:-1,hlas:0"));
    EXPECT_TRUE(s.world.Logged("Name:Owner of 555", "Tel:555 sms:1,fax:0,hlas:0"));
    EXPECT_EQ(s.mail->MessageList.size(), 4);  // 8, 100, 101 and 200
    EXPECT_FALSE(s.mail->MessageList.contains(7));

    // A full read starts the list afresh.
    s.script->List = anna;
    s.mail->ReloadAll = true;
    ASSERT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.mail->MessageList.size(), 2);
    EXPECT_EQ(s.world.Counters("101"), Counts(1, 1, 0));
}

TEST(Mail602Scripted, AFailedReReadUpdatesNoLineAndTheOthersGoOn)
{
    Scripted s;
    Records full;
    AQ5_Mailbox* anna = full.Box("101");
    full.Folder(anna, 'S', 1, {{1, 0}});
    AQ5_Mailbox* karel = full.Box("102", anna);
    full.Folder(karel, 'S', 1, {{2, 0}});
    s.script->List = anna;
    ASSERT_TRUE(s.mail->CheckMailboxes());

    // Anna's mailbox must be read again, but cannot be; Karel's has a new text.
    Records change;
    AQ5_Mailbox* annaAgain = change.Box("101", nullptr, AQ5_EVENT_RELOAD);
    AQ5_Mailbox* karelChange = change.Box("102", annaAgain);
    change.Folder(karelChange, 'S', 1, {{3, 0}});
    s.script->List = annaAgain;
    s.script->ReReadResult = 14;
    s.script->ReRead = nullptr;
    ASSERT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.script->ReReads, 1);
    EXPECT_EQ(s.script->ReReadMode, AQ5_MODE_ALL);
    EXPECT_EQ(s.script->ReReadOf, annaAgain);
    EXPECT_TRUE(s.world.Logged("!Err", "Mailbox not read again, error 14"));
    EXPECT_FALSE(s.world.Logged("!Err", "Mailbox changed, read again")) << "said only with Extent";
    EXPECT_EQ(s.world.Counters("101"), Counts(1, 0, 0));
    EXPECT_EQ(s.world.Counters("102"), Counts(2, 0, 0)) << "the mailbox after it is added to, in the check's mode";
    EXPECT_EQ(s.script->MailboxConfirms, 1);
    EXPECT_EQ(s.script->ListConfirms, 2);

    // Read again successfully: the fresh record's counts are set.
    Records fresh;
    AQ5_Mailbox* annaFresh = fresh.Box("101");
    fresh.Folder(annaFresh, 'H', 3, {{10, 0}, {11, 0}, {12, 0}});
    s.script->ReReadResult = 0;
    s.script->ReRead = annaFresh;
    karelChange->First = nullptr;
    ASSERT_TRUE(s.mail->CheckMailboxes());
    EXPECT_EQ(s.world.Counters("101"), Counts(0, 0, 3));
    EXPECT_EQ(s.world.Counters("102"), Counts(2, 0, 0));
    EXPECT_EQ(s.script->MailboxConfirms, 2);
}
