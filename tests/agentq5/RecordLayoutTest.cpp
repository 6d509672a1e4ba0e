// The records as the agent sees them: through the byte offsets of the contract, not the structs.
#include "tests/agentq5/AgentModel.h"
#include "tests/agentq5/GatewayFixture.h"

#include <cstring>

namespace varno::agentq5::test {
namespace {

class Agentq5RecordLayout : public GatewayTest {};

TEST_F(Agentq5RecordLayout, AgentOffsetsReachTheRecordsOfARealRead)
{
    const std::string first = AddMailbox("first", "Jana Dvořáková", "201");
    AddMailbox("second", "Petr", "202", true);
    Deliver(first, "1700000001.a.host");
    Deliver(first, "1700000002.b.host");
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const std::vector<MailboxView> read = Read(AQ5_MODE_ALL);
    ASSERT_EQ(read.size(), 2U);

    const void* mailbox = first_;
    EXPECT_STREQ(static_cast<const char*>(mailbox) + 9, "Jana Dvořáková");
    EXPECT_STREQ(static_cast<const char*>(mailbox) + 69, "201");
    EXPECT_EQ(At<int32_t>(mailbox, 109), 0);
    const void* folder = At<const void*>(mailbox, 113);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(At<char>(folder, 0), 'S');
    EXPECT_EQ(At<uint16_t>(folder, 1), 2);
    EXPECT_EQ(At<const void*>(folder, 11), nullptr);  // the Maildir has no Maildir++ folders
    const void* message = At<const void*>(folder, 3);
    ASSERT_NE(message, nullptr);
    std::vector<uint32_t> ids;
    for (; message != nullptr; message = At<const void*>(message, 54)) {
        EXPECT_EQ(At<uint32_t>(message, 4), 0U);
        ids.push_back(At<uint32_t>(message, 8));
    }
    EXPECT_EQ(ids.size(), 2U);
    EXPECT_NE(ids[0], ids[1]);

    const void* second = At<const void*>(mailbox, 321);
    ASSERT_EQ(second, read[1].record);
    EXPECT_STREQ(static_cast<const char*>(second) + 69, "202");
    EXPECT_EQ(At<const void*>(second, 321), nullptr);
    std::string categories;
    for (const void* each = At<const void*>(second, 113); each != nullptr; each = At<const void*>(each, 11))
        categories += At<char>(each, 0);
    EXPECT_EQ(categories, "SFH");  // "", ".Fax", ".Voice"
    ConfirmAll();
}

TEST_F(Agentq5RecordLayout, LongValuesAreCutAtACharacterBoundaryInsideTheirFields)
{
    std::string owner;
    for (int i = 0; i < 40; ++i)
        owner += "č";  // two bytes each: 80 bytes
    const std::string phone(60, '7');
    const std::string label = "l" + std::string(70, 'x');
    const std::string maildir = AddMailbox(label, owner, phone);
    // 40 bytes, then a two-byte character across the 41-byte limit of the field.
    const std::string unique = "1700000003.M1P1Q1." + std::string(22, 'h') + "š" + "tail";
    Deliver(maildir, unique);
    WriteConfig();
    ASSERT_EQ(Init(), 0);
    const std::vector<MailboxView> read = Read(AQ5_MODE_ALL);
    ASSERT_EQ(read.size(), 1U);
    const MailboxView& view = read[0];
    // 59 bytes would split a "č": 58 of them, 29 characters.
    EXPECT_EQ(view.owner, owner.substr(0, 58));
    EXPECT_EQ(view.phone, phone.substr(0, AQ5_PHONE_SIZE - 1));
    EXPECT_EQ(view.label, label.substr(0, AQ5_LABEL_SIZE - 1));
    ASSERT_EQ(view.folders.size(), 1U);
    ASSERT_EQ(view.folders[0].messages.size(), 1U);
    const std::string cut = view.folders[0].messages[0].unique;
    EXPECT_EQ(cut, unique.substr(0, 40));
    // Every field ends with its terminator inside the record.
    EXPECT_EQ(read[0].record->Owner[AQ5_OWNER_SIZE - 1], '\0');
    EXPECT_EQ(read[0].record->Phone[AQ5_PHONE_SIZE - 1], '\0');
    EXPECT_EQ(read[0].record->Label[AQ5_LABEL_SIZE - 1], '\0');
    ConfirmAll();
}

}  // namespace
}  // namespace varno::agentq5::test
