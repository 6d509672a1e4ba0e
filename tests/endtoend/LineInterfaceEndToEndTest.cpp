// The agent's line interface end to end: the agent and the simulator as
// processes, clients as processes on libQLIN2.so.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>

#include <csignal>

#include "AgentAndSimulator.h"

using namespace varno::test;

namespace {

// Three extensions; external parties from 64 on. At 2 s line 0 calls line 1;
// at 3 s outside callers reach lines 1 and 2 in the same moment.
const QByteArray kPbx = "config 0 0 0 0 1 0\nidentity 3 10 64\nline 0 101\nline 1 102\nline 2 200\n"
                        "party 64 0601234567\nparty 65 +420222333444\n"
                        "at 2.0 line 0 state 2 party 1\n"
                        "at 3.0 line 1 state 1 party 64\nat 3.0 line 2 state 1 party 65\n";
const QByteArray kLineInterface = "[Set]\nQLIN=1\n[Timer]\nInterval=20\nANInterval=100\n[Prefix]\n0=9\n01=8\n";

// Every record the client's slot has received so far, joined by blanks.
QString drain(ClientPeer& client, int slot, QString& seen)
{
    const QString answer = client.Ask(QStringLiteral("get %1").arg(slot));
    const int blank = static_cast<int>(answer.indexOf(' '));
    if (blank > 0)
        seen += answer.mid(blank);
    return seen;
}

// The simulator's notes on the key requests it received: "line L <keys>".
QStringList keyNotes(const AgentAndSimulator& run)
{
    QStringList notes;
    for (const QString& line : run.SimulatorLog())
        if (line.contains(" INFO ") && line.contains(" keys "))
            notes << line.section(" keys ", 1);
    return notes;
}

bool mapsShowLibrary(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQLIN2.so");
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

TEST(LineInterfaceEndToEnd, LinesStatesAndCommandsCrossTheAgent)
{
    AgentAndSimulator run(kPbx, kLineInterface);
    ASSERT_TRUE(run.Start());
    ClientPeer& client = run.StartClient();
    ASSERT_TRUE(run.WaitUntil([&] { return client.Ask("lines") == "3 101 102 200 |"; }))
        << run.AgentOutput().toStdString();
    EXPECT_TRUE(mapsShowLibrary(run.agent.processId()));
    ASSERT_EQ(client.Ask("open 101 10"), "0");
    ASSERT_EQ(client.Ask("open 102 10"), "1");
    ASSERT_EQ(client.Ask("open 200 10"), "2");

    // Internal party: the extension's number; external: the number of item 47,
    // each line its own even when both change in one reply.
    QString line0, line1, line2;
    EXPECT_TRUE(run.WaitUntil([&] { return drain(client, 0, line0).contains("0:2:102"); }, 8000))
        << line0.toStdString();
    EXPECT_TRUE(run.WaitUntil([&] { return drain(client, 1, line1).contains("1:1:0601234567"); }, 8000))
        << line1.toStdString();
    EXPECT_TRUE(run.WaitUntil([&] { return drain(client, 2, line2).contains("2:1:+420222333444"); }, 8000))
        << line2.toStdString();

    // Commands reach the PBX with their own line and digits.
    ASSERT_EQ(client.Ask("command 0 -1 4 1234567890123"), "1 0");
    ASSERT_EQ(client.Ask("command 2 -1 4 0123"), "1 2");
    ASSERT_EQ(client.Ask("command 1 -1 0"), "1 1");
    ASSERT_TRUE(run.WaitUntil([&] { return keyNotes(run).size() >= 4; }))
        << run.SimulatorLog().join('\n').toStdString();
    EXPECT_EQ(keyNotes(run), QStringList({"line 0 12345678", "line 0 90123", "line 2 9123", "line 1 [speaker]"}));
    const QString log = run.AgentOutput();
    EXPECT_TRUE(log.contains("QLIN Message VOL 9123")) << log.toStdString();
    EXPECT_TRUE(log.contains("QLIN Message SPEAKER (ON/OFF)"));
    EXPECT_EQ(run.StopAgent(), 0);
    // The agent has gone from the block: a client can no longer open a slot.
    EXPECT_EQ(client.Ask("open 101 10"), "-2");
}

TEST(LineInterfaceEndToEnd, OffLoadsNothingAndHearsNothing)
{
    AgentAndSimulator run(kPbx, "[Set]\nQLIN=0\n[Timer]\nInterval=20\n");
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= 3; }));
    EXPECT_FALSE(mapsShowLibrary(run.agent.processId()));
    ClientPeer& client = run.StartClient();
    EXPECT_EQ(client.Ask("lines"), "0 |");
    // A show request to the agent's handle finds no endpoint.
    EXPECT_EQ(client.Ask(QStringLiteral("show %1 1").arg(run.agent.processId())), "0");
    EXPECT_FALSE(run.AgentOutput().contains("QLIN"));
}

TEST(LineInterfaceEndToEnd, MissingLibraryIsOneLineAndTheLineGoesOn)
{
    AgentAndSimulator run(kPbx, "[Set]\nQLIN=1\n[Timer]\nInterval=20\nURInterval=100\nURIntervalBezDat=100\n");
    QFile::remove(run.dir.filePath("libQLIN2.so"));
    ASSERT_TRUE(run.Start());
    // Start-up and the billing poll go on as with the line interface off.
    ASSERT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= 6; })) << run.AgentOutput().toStdString();
    const QStringList qlin = run.AgentOutput().split('\n').filter(" QLIN ");
    ASSERT_EQ(qlin.size(), 1) << run.AgentOutput().toStdString();
    EXPECT_TRUE(qlin[0].contains("libQLIN2.so")) << qlin[0].toStdString();
    EXPECT_FALSE(mapsShowLibrary(run.agent.processId()));
    EXPECT_EQ(run.StopAgent(), 0);
}

TEST(LineInterfaceEndToEnd, MisbehavingClientsLeaveTheLineAndTheGatewayServed)
{
    const int port = freePort();
    AgentAndSimulator run(kPbx, kLineInterface + "[Set]\nIPPort=" + QByteArray::number(port) + "\n");
    ASSERT_TRUE(run.Start());
    ClientPeer& killed = run.StartClient();
    ASSERT_TRUE(run.WaitUntil([&] { return killed.Ask("lines").startsWith("3 "); }));
    ASSERT_EQ(killed.Ask("open 101 10"), "0");
    killed.process.kill();
    killed.process.waitForFinished(2000);

    // One client holds the block's lock and is stopped there.
    ClientPeer& stopped = run.StartClient();
    ASSERT_EQ(stopped.Ask("open 102 10"), "0") << "the killed client's slot is free again";
    ASSERT_EQ(stopped.Ask("hold"), "held");
    kill(static_cast<pid_t>(stopped.process.processId()), SIGSTOP);

    // The line and the gateway go on meanwhile, with a state change for
    // the library to carry.
    ASSERT_EQ(run.Control("line 1 state 5 party 2"), "OK");
    const int before = static_cast<int>(run.Requests().size());
    EXPECT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= before + 10; }, 5000));
    QProcess query;
    query.start(VARNO_BIN_DIR "/pbxquery", {"--port", QString::number(port), "00", "16", "00"});
    ASSERT_TRUE(query.waitForFinished(5000));
    EXPECT_EQ(query.exitCode(), 0) << query.readAllStandardError().toStdString();

    // Once it goes on, so do the clients; a flood of commands is cut, not queued without end.
    kill(static_cast<pid_t>(stopped.process.processId()), SIGCONT);
    EXPECT_EQ(stopped.Ask("release"), "released");
    ClientPeer& flood = run.StartClient();
    ASSERT_EQ(flood.Ask("open 200 10"), "1");
    for (int i = 0; i < 200; ++i)
        flood.Ask("command 1 -1 4 12345678901234567890");
    const int afterFlood = static_cast<int>(run.Requests().size());
    EXPECT_TRUE(run.WaitUntil([&] { return run.Requests().size() >= afterFlood + 10; }, 5000));
    query.start(VARNO_BIN_DIR "/pbxquery", {"--port", QString::number(port), "00", "16", "00"});
    ASSERT_TRUE(query.waitForFinished(5000));
    EXPECT_EQ(query.exitCode(), 0) << query.readAllStandardError().toStdString();
    EXPECT_TRUE(run.AgentOutput().contains("QLIN Commands dropped"));
    EXPECT_EQ(run.StopAgent(), 0);
}
