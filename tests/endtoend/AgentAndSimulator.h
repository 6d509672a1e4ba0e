#pragma once
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "tests/support/ClientPeer.h"

namespace varno::test {

// A message text (section Texty) or a block text (section Text) of the
// English language file, as the agent shows it.
QString LanguageText(int number);
QString LanguageBlockText(int number);
// The kinds of the simulator's RX lines ("<seq> <kind> <bytes>").
QStringList RequestKinds(const QStringList& requests);

// pbxsim on a pty and a copy of the agent in a folder of its own whose
// agent.INI points the agent at the simulator's line.
class AgentAndSimulator {
public:
    // scenario: statements for the simulator; ini: the agent's settings
    // besides its port (whole sections).
    AgentAndSimulator(const QByteArray& scenario, const QByteArray& ini);
    ~AgentAndSimulator();

    bool Start();
    // A control statement to the simulator; waits for its one-line answer.
    QString Control(const QString& statement);
    // The agent's log and messages so far (standard error).
    QString AgentOutput();
    // The simulator's request log, as lines.
    QStringList SimulatorLog() const;
    // The simulator's RX lines: "<seq> <kind> <bytes>".
    QStringList Requests() const;
    bool WaitUntil(const std::function<bool()>& condition, int ms = 5000);
    int StopAgent();  // SIGTERM; the exit status
    // A client of the agent's line interface, on the agent's shared block;
    // it lives as long as the run.
    ClientPeer& StartClient();

    QTemporaryDir dir;
    // The agent's line interface and its clients use a shared block of
    // their own (the agent finds libQLIN2.so beside itself).
    QByteArray SharedName;
    QProcess sim, agent;

private:
    QByteArray agentErr_;
    std::vector<std::unique_ptr<ClientPeer>> clients_;
};

}  // namespace varno::test
