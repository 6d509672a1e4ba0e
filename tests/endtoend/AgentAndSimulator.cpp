#include "AgentAndSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>

#include "platform/profile/IniFile.h"

#include <sys/mman.h>
#include <unistd.h>

namespace varno::test {

QString LanguageText(int number)
{
    return TIniFile(VARNO_BIN_DIR "/Language.Eng").ReadString("Texty", QString::number(number), "");
}

QString LanguageBlockText(int number)
{
    return TIniFile(VARNO_BIN_DIR "/Language.Eng").ReadString("Text", QString::number(number), "");
}

QStringList RequestKinds(const QStringList& requests)
{
    QStringList out;
    for (const QString& r : requests)
        out << r.section(' ', 1, 1);
    return out;
}

AgentAndSimulator::AgentAndSimulator(const QByteArray& scenario, const QByteArray& ini)
{
    QFile::copy(VARNO_BIN_DIR "/agent", dir.filePath("agent"));
    QFile::setPermissions(dir.filePath("agent"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::copy(VARNO_BIN_DIR "/Language.Eng", dir.filePath("Language.Eng"));
    QFile::copy(VARNO_BIN_DIR "/libQLIN2.so", dir.filePath("libQLIN2.so"));
    QFile::copy(VARNO_BIN_DIR "/libagentq5.so", dir.filePath("libagentq5.so"));
    static int runs = 0;
    SharedName = "/varno-e2e-" + QByteArray::number(getpid()) + "-" + QByteArray::number(++runs);
    QFile s(dir.filePath("scenario.ini"));
    s.open(QIODevice::WriteOnly);
    s.write(scenario);
    s.close();
    QFile i(dir.filePath("agent.INI"));
    i.open(QIODevice::WriteOnly);
    i.write("[Set]\nIPPort=0\nPort=" + dir.filePath("pbx").toUtf8() +
            ":19200,N,8,1\nUctFile=" + dir.filePath("DATA.NEW").toUtf8() + "\n");
    i.close();
    // Further settings go key by key into their sections.
    QString section;
    for (const QByteArray& line : ini.split('\n')) {
        const QString t = QString::fromUtf8(line).trimmed();
        if (t.startsWith('['))
            section = t.mid(1, t.indexOf(']') - 1);
        else if (t.contains('='))
            TIniFile::WriteProfileString(i.fileName(), section, t.section('=', 0, 0), t.section('=', 1));
    }
}

AgentAndSimulator::~AgentAndSimulator()
{
    // A stopped client must go on to read its "exit".
    for (auto& client : clients_)
        kill(static_cast<pid_t>(client->process.processId()), SIGCONT);
    clients_.clear();
    for (QProcess* p : {&agent, &sim}) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(2000);
        }
    }
    shm_unlink(SharedName.constData());
    shm_unlink((SharedName + ".lock").constData());
}

ClientPeer& AgentAndSimulator::StartClient()
{
    clients_.push_back(std::make_unique<ClientPeer>(QString::fromLatin1(SharedName)));
    return *clients_.back();
}

bool AgentAndSimulator::Start()
{
    sim.start(VARNO_BIN_DIR "/pbxsim", {"--scenario", dir.filePath("scenario.ini"), "--link", dir.filePath("pbx"),
                                        "--log", dir.filePath("sim.log"), "--control", "-"});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        return false;
    if (!sim.readLine().startsWith("PTY"))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QLIN2_SHM_NAME", QString::fromLatin1(SharedName));
    agent.setProcessEnvironment(env);
    agent.setWorkingDirectory(dir.path());
    agent.start(dir.filePath("agent"), {});
    return agent.waitForStarted();
}

QString AgentAndSimulator::Control(const QString& statement)
{
    sim.write(statement.toUtf8() + "\n");
    sim.waitForBytesWritten(1000);
    QElapsedTimer t;
    t.start();
    while (!sim.canReadLine() && t.elapsed() < 3000)
        sim.waitForReadyRead(50);
    return QString::fromUtf8(sim.readLine()).trimmed();
}

QString AgentAndSimulator::AgentOutput()
{
    agentErr_ += agent.readAllStandardError();
    return QString::fromUtf8(agentErr_);
}

QStringList AgentAndSimulator::SimulatorLog() const
{
    QFile f(dir.filePath("sim.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList AgentAndSimulator::Requests() const
{
    QStringList rx;
    for (const QString& line : SimulatorLog()) {
        const QStringList f = line.split(' ');
        if (f.size() >= 3 && f[1] == "RX")
            rx << f.mid(2).join(' ');
    }
    return rx;
}

bool AgentAndSimulator::WaitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        agent.waitForReadyRead(20);
        if (condition())
            return true;
    }
    return condition();
}

int AgentAndSimulator::StopAgent()
{
    agent.terminate();
    agent.waitForFinished(5000);
    AgentOutput();
    return agent.exitStatus() == QProcess::NormalExit ? agent.exitCode() : -1;
}

}  // namespace varno::test
