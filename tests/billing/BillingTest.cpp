#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "PbxPeer.h"
#include "tests/support/Bytes.h"
#include "tests/support/CoreApplication.h"

using namespace varno;
using namespace varno::test;

namespace {

QByteArray record(const char* text) { return QByteArray(1, '\0') + text; }

class Billing : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }
    void SetUp() override
    {
        agent = std::make_unique<AgentOnPty>("[Set]\nUctFile=" + billingDir.filePath("DATA.NEW").toUtf8() + "\n");
        // Answer the start-up requests so that the line is free.
        const QByteArray replies[] = {Bytes({0, 0, 0, 0, 0, 1, 0}), Bytes({0, 1, 0, 30, 0, 0, 0, 0}),
                                      Bytes({0, 14, 0, 1, 0, 0, 0})};
        for (const QByteArray& r : replies) {
            const int before = static_cast<int>(agent->pbx.Received.size());
            agent->Tick();
            ASSERT_TRUE(agent->pbx.WaitFor(before + 1));
            agent->pbx.Reply(agent->pbx.Received.back().Seq, r);
            AgentOnPty::Pump(40);
        }
    }
    // One billing request and the PBX's answer to it; returns the command asked.
    int exchange(const QByteArray& answer)
    {
        agent->Conv().QueueRequest('U', 0);
        const int before = static_cast<int>(agent->pbx.Received.size());
        agent->Tick();
        EXPECT_TRUE(agent->pbx.WaitFor(before + 1));
        const PbxPeer::Packet sent = agent->pbx.Received.back();
        agent->pbx.Reply(sent.Seq, answer);
        AgentOnPty::Pump(40);
        return sent.Payload.isEmpty() ? -1 : static_cast<uint8_t>(sent.Payload[0]);
    }
    QByteArray fileContents() const
    {
        QFile f(billingDir.filePath("DATA.NEW"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    TBilling& billing() { return agent->form->Billing(); }

    QTemporaryDir billingDir;
    std::unique_ptr<AgentOnPty> agent;
};

}  // namespace

TEST_F(Billing, RecordsAppendedAsReceivedRepeatsOnce)
{
    EXPECT_EQ(exchange(record("0001 12:00 4711 00:01:05 2.40")), 4);
    EXPECT_EQ(exchange(record("0002 12:01 \xc4\x8d 1\x01x")), 4);     // bytes as they came
    EXPECT_EQ(exchange(record("0002 12:01 \xc4\x8d 1\x01x")), 4);     // sent twice: written once
    EXPECT_EQ(exchange(record("0001 12:00 4711 00:01:05 2.40")), 4);  // not in a row: written again
    EXPECT_EQ(exchange(Bytes({0, 'e', 'n', 'd', 0, 'x'})), 4);        // ends at the zero byte
    EXPECT_EQ(fileContents(), QByteArray("0001 12:00 4711 00:01:05 2.40\r\n"
                                         "0002 12:01 \xc4\x8d 1\x01x\r\n"
                                         "0001 12:00 4711 00:01:05 2.40\r\nend\r\n"));
    EXPECT_EQ(billing().BillingNext, 4);
    EXPECT_EQ(agent->form->TimerUR.interval(), 1000);

    EXPECT_EQ(exchange(Bytes({0})), 4);  // nothing waiting
    EXPECT_EQ(agent->form->TimerUR.interval(), 3000);
    EXPECT_EQ(agent->CountLog("<COM", agent->form->GetText(128)), 1);
    EXPECT_EQ(exchange(record("0003")), 4);
    EXPECT_EQ(agent->form->TimerUR.interval(), 1000);
}

TEST_F(Billing, DeletedFileIsCreatedAgain)
{
    exchange(record("A"));
    ASSERT_TRUE(QFile::remove(billingDir.filePath("DATA.NEW")));
    exchange(record("B"));
    EXPECT_EQ(fileContents(), "B\r\n");
}

TEST_F(Billing, FailedAppendLosesNoRecord)
{
    exchange(record("R1"));
    // The billing file cannot be written: a folder stands in its place.
    ASSERT_TRUE(QFile::rename(billingDir.filePath("DATA.NEW"), billingDir.filePath("saved")));
    ASSERT_TRUE(QDir(billingDir.path()).mkdir("DATA.NEW"));
    EXPECT_EQ(exchange(record("R2")), 4);
    EXPECT_EQ(agent->form->Data().BillingWriteFailed, 1);
    // The PBX is asked for the same record again until it is on file.
    EXPECT_EQ(exchange(record("R2")), 5);
    EXPECT_EQ(exchange(record("R2")), 5);
    ASSERT_TRUE(QDir(billingDir.path()).rmdir("DATA.NEW"));
    EXPECT_EQ(exchange(record("R2")), 5);
    EXPECT_EQ(agent->form->Data().BillingWriteFailed, 0);
    EXPECT_EQ(exchange(record("R3")), 4);
    EXPECT_EQ(fileContents(), "R2\r\nR3\r\n");
    // Listed once each, whatever the file did.
    ASSERT_EQ(billing().List().size(), 3u);
    EXPECT_EQ(billing().List()[1], "R2");
}

TEST_F(Billing, ListKeepsTheNewest201)
{
    for (int i = 0; i < 201; ++i)
        exchange(record(QByteArray::number(i).constData()));
    EXPECT_EQ(billing().List().size(), 201u);
    EXPECT_EQ(billing().BillingBase, 0);
    EXPECT_EQ(billing().BillingNext, 201);
    exchange(record("201"));
    EXPECT_EQ(billing().List().size(), 201u);
    EXPECT_EQ(billing().BillingBase, 1);
    EXPECT_EQ(billing().List().front(), "1");
    EXPECT_EQ(billing().List().back(), "201");
}

TEST_F(Billing, SettingsAfterOk)
{
    agent->form->ApplyBillingSettings(false, true, "OTHER.NEW");
    EXPECT_FALSE(agent->form->TimerUR.isActive());
    EXPECT_TRUE(agent->form->Config().SendUct);
    QFile ini(agent->dir.filePath("agent.INI"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("ReadUct=0\n"));
    EXPECT_TRUE(text.contains("SendUct=1\n"));
    EXPECT_TRUE(text.contains("UctFile=OTHER.NEW\n"));
    EXPECT_FALSE(TBilling::CanCreate(billingDir.filePath("no/such/folder/DATA.NEW")));
    EXPECT_TRUE(TBilling::CanCreate(billingDir.filePath("new.NEW")));
    EXPECT_FALSE(QFile::exists(billingDir.filePath("new.NEW")));
}
