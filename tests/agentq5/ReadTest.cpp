// Mode-1 and mode-3 reads on real Maildirs: what counts as waiting, what a change read reports,
// identifiers, and the agent's counters against the truth through many changes.
#include "agentq5/MessageIds.h"
#include "tests/agentq5/AgentModel.h"
#include "tests/agentq5/GatewayFixture.h"

#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::agentq5::test {
namespace {

class Agentq5Read : public GatewayTest {};

TEST_F(Agentq5Read, FullReadCountsWaitingMessagesByFolder)
{
    const std::string box = AddMailbox("anna", "Anna", "201", true);
    AddMailbox("empty", "Bruno", "202");
    Deliver(box, "1.new-a.host");
    Deliver(box, "2.new-b.host");
    Deliver(box, "3.unseen.host");
    MoveToCur(box, "3.unseen.host", "");
    Deliver(box, "4.flagged.host");
    MoveToCur(box, "4.flagged.host", "F");
    Deliver(box, "5.seen.host");
    MoveToCur(box, "5.seen.host", "RS");
    Deliver(box, "6.trashed.host");
    MoveToCur(box, "6.trashed.host", "T");
    WriteFile(box + "/cur/7.noinfo.host", "x");  // cur/ without info: waits
    WriteFile(box + "/new/.hidden", "x");        // dot files never count
    WriteFile(box + "/tmp/8.delivering.host", "x");
    ::mkdir((box + "/new/9.directory").c_str(), 0700);
    ::symlink("/etc/hostname", (box + "/new/10.symlink").c_str());
    MakeMaildir(box + "/.Archive");
    Deliver(box, "11.archived.host", ".Archive");
    Deliver(box, "12.fax.host", ".Fax");
    Deliver(box, "13.voice.host", ".Voice");
    Deliver(box, "14.voice.host", ".Voice");
    ::mkdir((box + "/.Unfinished").c_str(), 0700);  // no new/ or cur/: no folder yet
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    EXPECT_EQ(FastTest(), 1);  // before the first read

    const std::vector<MailboxView> read = Read(AQ5_MODE_ALL);
    ASSERT_EQ(read.size(), 2U);
    const MailboxView& anna = read[0];
    EXPECT_EQ(anna.index, 0U);
    EXPECT_TRUE(anna.readable);
    EXPECT_EQ(anna.owner, "Anna");
    EXPECT_EQ(anna.texts, 6U);  // 1, 2, 3, 4, 7 and the archived 11
    EXPECT_EQ(anna.faxes, 1U);
    EXPECT_EQ(anna.voice, 2U);
    ASSERT_EQ(anna.folders.size(), 4U);
    const std::vector<std::pair<std::string, char>> expected = {
        {"", 'S'}, {".Archive", 'S'}, {".Fax", 'F'}, {".Voice", 'H'}};
    const std::vector<uint16_t> counts = {5, 1, 1, 2};
    std::set<uint32_t> ids;
    for (size_t i = 0; i < expected.size(); ++i) {
        const FolderView& folder = anna.folders[i];
        EXPECT_EQ(folder.name, expected[i].first);
        EXPECT_EQ(folder.category, expected[i].second);
        EXPECT_EQ(folder.count, counts[i]) << folder.name;
        ASSERT_EQ(folder.messages.size(), folder.count);
        for (size_t m = 0; m < folder.messages.size(); ++m) {
            EXPECT_EQ(folder.messages[m].index, m);
            EXPECT_EQ(folder.messages[m].flags, 0U);
            ids.insert(folder.messages[m].id);
        }
    }
    EXPECT_EQ(ids.size(), 9U);
    EXPECT_EQ(anna.With(0),
              (std::vector<std::string>{".Archive/11.archived.host", ".Fax/12.fax.host", ".Voice/13.voice.host",
                                        ".Voice/14.voice.host", "/1.new-a.host", "/2.new-b.host", "/3.unseen.host",
                                        "/4.flagged.host", "/7.noinfo.host"}));
    EXPECT_EQ(anna.IdOf("1.new-a.host"), MessageIds::Hash(0, "1.new-a.host"));
    // An empty mailbox still has its folder record.
    ASSERT_EQ(read[1].folders.size(), 1U);
    EXPECT_EQ(read[1].folders[0].count, 0);
    EXPECT_EQ(read[1].folders[0].messages.size(), 0U);
    ConfirmAll();
    EXPECT_EQ(FastTest(), 0);
}

TEST_F(Agentq5Read, ChangeReadReportsStoppedMessagesBeforeNewOnes)
{
    const std::string box = AddMailbox("anna", "Anna", "201", true);
    for (const char* unique : {"1.seen", "2.trashed", "3.deleted", "4.moved", "5.stays"})
        Deliver(box, unique);
    Deliver(box, "6.fax-read", ".Fax");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const MailboxView before = Read(AQ5_MODE_ALL).at(0);
    ConfirmAll();

    MoveToCur(box, "1.seen", "S");
    MoveToCur(box, "2.trashed", "T");
    RemoveMessage(box, "3.deleted");
    MoveToCur(box, "4.moved", "");  // read by a client, not seen: still waits, same identifier
    MoveToCur(box, "6.fax-read", "S", ".Fax");
    Deliver(box, "7.new");
    Deliver(box, "8.new-voice", ".Voice");
    EXPECT_EQ(FastTest(), 1);

    const std::vector<MailboxView> read = Read(AQ5_MODE_CHANGES);
    ASSERT_EQ(read.size(), 1U);
    const MailboxView& change = read[0];
    EXPECT_EQ(change.event, 0);
    EXPECT_EQ(change.With(AQ5_MSG_SEEN), (std::vector<std::string>{".Fax/6.fax-read", "/1.seen", "/2.trashed"}));
    EXPECT_EQ(change.With(AQ5_MSG_GONE), (std::vector<std::string>{"/3.deleted"}));
    EXPECT_EQ(change.With(0), (std::vector<std::string>{".Voice/8.new-voice", "/7.new"}));
    // Stopped messages keep the identifiers the full read gave them.
    for (const char* unique : {"1.seen", "2.trashed", "3.deleted"})
        EXPECT_EQ(change.IdOf(unique), before.IdOf(unique)) << unique;
    // Folder records: every stopping one before every new one, counts = records carried.
    bool seenNew = false;
    for (const FolderView& folder : change.folders) {
        ASSERT_FALSE(folder.messages.empty());
        EXPECT_EQ(folder.count, folder.messages.size());
        const bool isNew = folder.messages[0].flags == 0;
        for (const MessageView& message : folder.messages)
            EXPECT_EQ(message.flags == 0, isNew);
        EXPECT_FALSE(seenNew && !isNew) << "a stopping folder after a new one";
        seenNew = seenNew || isNew;
    }
    EXPECT_EQ(change.texts, 3U);  // 4.moved, 5.stays, 7.new
    EXPECT_EQ(change.faxes, 0U);
    EXPECT_EQ(change.voice, 1U);
    ConfirmAll();

    AQ5_Params params{};
    params.Mode = AQ5_MODE_CHANGES;
    AQ5_Mailbox* first = first_;
    EXPECT_EQ(FastTest(), 0);
    EXPECT_EQ(NactiZmenyVeSchrankach(&first, &params), 0);
    EXPECT_EQ(first, nullptr);  // no changes: an empty list
}

TEST_F(Agentq5Read, UnconfirmedReadIsReportedAgainWithTheSameIdentifiers)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    Deliver(box, "1.old");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();
    Deliver(box, "2.new");
    RemoveMessage(box, "1.old");

    const MailboxView first = Read(AQ5_MODE_CHANGES).at(0);
    EXPECT_EQ(FastTest(), 1);  // stays set until confirmed
    const MailboxView again = Read(AQ5_MODE_CHANGES).at(0);
    EXPECT_EQ(again.With(0), first.With(0));
    EXPECT_EQ(again.With(AQ5_MSG_GONE), first.With(AQ5_MSG_GONE));
    EXPECT_EQ(again.IdOf("2.new"), first.IdOf("2.new"));
    ConfirmAll();
    EXPECT_EQ(FastTest(), 0);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).size(), 0U);
    ConfirmAll();
}

TEST_F(Agentq5Read, ChangeBetweenReadAndConfirmationIsNotLost)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();
    Deliver(box, "1.first");
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(0), std::vector<std::string>{"/1.first"});
    Deliver(box, "2.during");  // after the scan, before the confirmation
    ConfirmAll();
    EXPECT_EQ(FastTest(), 1);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(0), std::vector<std::string>{"/2.during"});
    ConfirmAll();
}

TEST_F(Agentq5Read, MessageMovedBetweenFoldersIsTakenAwayBeforeItIsAdded)
{
    const std::string box = AddMailbox("anna", "Anna", "201", true);
    Deliver(box, "1.misfiled");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const uint32_t oldId = Read(AQ5_MODE_ALL).at(0).IdOf("1.misfiled");
    ConfirmAll();
    ASSERT_EQ(::rename((box + "/new/1.misfiled").c_str(), (box + "/.Fax/new/1.misfiled").c_str()), 0);
    const MailboxView change = Read(AQ5_MODE_CHANGES).at(0);
    ASSERT_EQ(change.folders.size(), 2U);
    EXPECT_EQ(change.folders[0].name, "");
    EXPECT_EQ(change.folders[0].messages.at(0).flags, static_cast<uint32_t>(AQ5_MSG_GONE));
    EXPECT_EQ(change.folders[0].messages.at(0).id, oldId);
    EXPECT_EQ(change.folders[1].name, ".Fax");
    EXPECT_EQ(change.folders[1].category, 'F');
    // The old identifier is still held until the confirmation: the moved message gets another.
    EXPECT_NE(change.folders[1].messages.at(0).id, oldId);
    EXPECT_EQ(change.faxes, 1U);
    EXPECT_EQ(change.texts, 0U);
    ConfirmAll();
}

TEST_F(Agentq5Read, ClashingHashesGetDistinctIdentifiersUntilTheFirstIsConfirmedGone)
{
    // Two unique names whose FNV-1a hashes for mailbox 0 are equal (found by search).
    const std::string one = "1700000000.M412789P42.clash";
    const std::string two = "1700000000.M649192P42.clash";
    ASSERT_EQ(MessageIds::Hash(0, one), MessageIds::Hash(0, two));
    const uint32_t hash = MessageIds::Hash(0, one);
    const std::string box = AddMailbox("anna", "Anna", "201");
    const std::string other = AddMailbox("bruno", "Bruno", "202");
    Deliver(box, one);
    Deliver(box, two);
    Deliver(other, one);  // the same name in another mailbox hashes differently
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const std::vector<MailboxView> read = Read(AQ5_MODE_ALL);
    const std::set<uint32_t> ids = {read[0].IdOf(one), read[0].IdOf(two)};
    EXPECT_EQ(ids, (std::set<uint32_t>{hash, hash + 1}));
    EXPECT_EQ(read[1].IdOf(one), MessageIds::Hash(1, one));
    ConfirmAll();

    // Kept while waiting, whatever else happens in the mailbox.
    Deliver(box, "1700000001.other");
    const MailboxView change = Read(AQ5_MODE_CHANGES).at(0);
    EXPECT_EQ(change.With(0), std::vector<std::string>{"/1700000001.other"});
    ConfirmAll();

    // Once the holder of the hash is confirmed gone, the hash is free again.
    const std::string holder = read[0].IdOf(one) == hash ? one : two;
    RemoveMessage(box, holder);
    const MailboxView gone = Read(AQ5_MODE_CHANGES).at(0);
    EXPECT_EQ(gone.With(AQ5_MSG_GONE), std::vector<std::string>{"/" + holder});
    ConfirmAll();
    Deliver(box, holder);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).IdOf(holder), hash);
    ConfirmAll();
}

TEST_F(Agentq5Read, NewMaildirPlusPlusFolderIsPickedUpAlsoWhenMadeStepByStep)
{
    const std::string box = AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    Read(AQ5_MODE_ALL);
    ConfirmAll();

    MakeMaildir(box + "/.Projects");
    Deliver(box, "1.project", ".Projects");
    EXPECT_EQ(FastTest(), 1);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(0), std::vector<std::string>{".Projects/1.project"});
    ConfirmAll();

    // A client that makes the folder first and its new/ and cur/ only after the read.
    ASSERT_EQ(::mkdir((box + "/.Later").c_str(), 0700), 0);
    EXPECT_EQ(FastTest(), 1);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).size(), 0U);
    ConfirmAll();
    MakeMaildir(box + "/.Later");
    Deliver(box, "2.later", ".Later");
    EXPECT_EQ(FastTest(), 1);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(0), std::vector<std::string>{".Later/2.later"});
    ConfirmAll();

    // Removed and made again: its watches come back.
    RemoveTree(box + "/.Later");
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(AQ5_MSG_GONE), std::vector<std::string>{".Later/2.later"});
    ConfirmAll();
    MakeMaildir(box + "/.Later");
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).size(), 0U);
    ConfirmAll();
    Deliver(box, "3.again", ".Later");
    EXPECT_EQ(FastTest(), 1);
    EXPECT_EQ(Read(AQ5_MODE_CHANGES).at(0).With(0), std::vector<std::string>{".Later/3.again"});
    ConfirmAll();
}

TEST_F(Agentq5Read, ReadsRefuseBadCallsWithTheirNumbers)
{
    AQ5_Params params{};
    params.Mode = AQ5_MODE_ALL;
    AQ5_Mailbox* first = reinterpret_cast<AQ5_Mailbox*>(&params);
    EXPECT_EQ(NactiZmenyVeSchrankach(&first, &params), AQ5_READ_NOT_INITIALISED);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(RychlyTestZmenVeSchrankach(), 0);
    AddMailbox("anna", "Anna", "201");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    params.Mode = 2;
    EXPECT_EQ(NactiZmenyVeSchrankach(&first, &params), AQ5_READ_BAD_MODE);
    EXPECT_EQ(NactiZmenyVeSchrankach(&first, nullptr), AQ5_READ_BAD_ARGUMENT);
    EXPECT_EQ(NactiZmenyVeSchrankach(nullptr, &params), AQ5_READ_BAD_ARGUMENT);
    EXPECT_EQ(PotvrdPreneseniZmenVeSchrankach(nullptr), 0);
}

// The agent's counters and message list must equal what the Maildirs hold once the fast test is
// quiet, whatever happens to the mailboxes in between.
TEST_F(Agentq5Read, AgentCountersStayExactThroughRandomChanges)
{
    struct Message {
        int mailbox;
        std::string folder;
        std::string unique;
        std::string flags;  // "" new/, else cur/ with these flags ("-" for none)
    };
    const std::vector<std::string> phones = {"201", "202", "203"};
    std::vector<std::string> boxes;
    for (size_t i = 0; i < phones.size(); ++i)
        boxes.push_back(AddMailbox("box" + std::to_string(i), "Owner " + std::to_string(i), phones[i], true));
    const std::vector<std::string> folders = {"", ".Fax", ".Voice"};
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    std::mt19937 random(20240611);
    std::vector<Message> messages;
    std::vector<bool> present(boxes.size(), true);
    AgentModel agent;
    int serial = 0;
    const auto base = [&](const Message& m) {
        return m.folder.empty() ? boxes[m.mailbox] : boxes[m.mailbox] + "/" + m.folder;
    };
    const auto fileOf = [&](const Message& m) {
        if (m.flags.empty())
            return base(m) + "/new/" + m.unique;
        return base(m) + "/cur/" + m.unique + ":2," + (m.flags == "-" ? "" : m.flags);
    };
    const auto truth = [&] {
        std::map<std::string, LineCounters> lines;
        for (size_t i = 0; i < phones.size(); ++i)
            lines[phones[i]] = LineCounters{};
        for (const Message& m : messages) {
            if (!present[m.mailbox] || m.flags.find_first_of("ST") != std::string::npos)
                continue;
            LineCounters& line = lines[phones[m.mailbox]];
            if (m.folder == ".Fax")
                ++line.faxes;
            else if (m.folder == ".Voice")
                ++line.voice;
            else
                ++line.texts;
        }
        return lines;
    };
    const auto settle = [&] {
        for (int i = 0; i < 5 && agent.Check(); ++i) {
        }
        EXPECT_EQ(RychlyTestZmenVeSchrankach(), 0);
        EXPECT_EQ(agent.lines, truth());
        std::set<uint32_t> ids;
        size_t waiting = 0;
        for (const auto& [phone, line] : agent.lines)
            waiting += static_cast<size_t>(line.texts + line.faxes + line.voice);
        for (const auto& [category, id] : agent.messages)
            EXPECT_TRUE(ids.insert(id).second) << "identifier " << id << " listed twice";
        EXPECT_EQ(agent.messages.size(), waiting);
    };
    agent.Check();
    for (int step = 0; step < 400 && !HasFailure(); ++step) {
        const int action = static_cast<int>(random() % 100);
        const int mailbox = static_cast<int>(random() % boxes.size());
        std::vector<size_t> mine;
        for (size_t i = 0; i < messages.size(); ++i) {
            if (messages[i].mailbox == mailbox)
                mine.push_back(i);
        }
        Message* some = (mine.empty() || !present[mailbox]) ? nullptr : &messages[mine[random() % mine.size()]];
        if (action < 35 && present[mailbox]) {
            Message m{mailbox, folders[random() % folders.size()], "17000" + std::to_string(serial++) + ".r.host", ""};
            Deliver(boxes[mailbox], m.unique, m.folder);
            messages.push_back(m);
        } else if (action < 60 && some != nullptr) {
            static const std::vector<std::string> flagSets = {"-", "S", "T", "F", "RS", "-"};
            const std::string before = fileOf(*some);
            some->flags = flagSets[random() % flagSets.size()];
            ASSERT_EQ(::rename(before.c_str(), fileOf(*some).c_str()), 0);
        } else if (action < 72 && some != nullptr) {
            ASSERT_EQ(::unlink(fileOf(*some).c_str()), 0);
            messages.erase(messages.begin() + (some - messages.data()));
        } else if (action < 80 && some != nullptr) {
            const std::string before = fileOf(*some);
            some->folder = folders[random() % folders.size()];
            ASSERT_EQ(::rename(before.c_str(), fileOf(*some).c_str()), 0);
        } else if (action < 84) {
            const std::string away = boxes[mailbox] + ".away";
            ASSERT_EQ(::rename(present[mailbox] ? boxes[mailbox].c_str() : away.c_str(),
                               present[mailbox] ? away.c_str() : boxes[mailbox].c_str()),
                      0);
            present[mailbox] = !present[mailbox];
        } else if (action < 86 && present[mailbox]) {
            // Removed and made again, with one fresh message.
            RemoveTree(boxes[mailbox]);
            std::erase_if(messages, [mailbox](const Message& m) { return m.mailbox == mailbox; });
            MakeMaildir(boxes[mailbox]);
            for (const char* folder : {".Fax", ".Voice"})
                MakeMaildir(boxes[mailbox] + "/" + std::string(folder));
            Message m{mailbox, "", "17000" + std::to_string(serial++) + ".r.host", ""};
            Deliver(boxes[mailbox], m.unique);
            messages.push_back(m);
        }
        if (random() % 4 == 0)
            agent.Check();
        if (step % 50 == 49)
            settle();
    }
    settle();
    EXPECT_GT(agent.reloads, 0);
}

}  // namespace
}  // namespace varno::agentq5::test
