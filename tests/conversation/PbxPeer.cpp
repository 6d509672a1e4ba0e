#include "PbxPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "platform/profile/IniFile.h"

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace varno::test {
namespace {

// The line-interface library of an agent under test uses a shared block of
// this test program's own, so that test programs never meet.
const QByteArray& sharedBlockName()
{
    static const QByteArray name = [] {
        QByteArray n = "/varno-test-" + QByteArray::number(getpid());
        setenv("QLIN2_SHM_NAME", n.constData(), 1);
        return n;
    }();
    return name;
}

}  // namespace

PbxPeer::PbxPeer()
{
    port_.MaxPacketSize = 512;
    port_.OnRxPacket = [this](TCommPax*, int count, const uint8_t* data) {
        if (count > 0)
            Received.append({data[0], QByteArray(reinterpret_cast<const char*>(data + 1), count - 1)});
    };
    port_.OpenFd(pty_.MasterFd(), false);
}

void PbxPeer::Reply(uint8_t seq, const QByteArray& payload)
{
    port_.WritePacket(seq, reinterpret_cast<const uint8_t*>(payload.constData()), static_cast<int>(payload.size()));
}

void PbxPeer::SendByte(uint8_t b) { port_.Write(&b, 1); }

bool PbxPeer::WaitFor(int n, int ms)
{
    QElapsedTimer t;
    t.start();
    while (Received.size() < n && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return Received.size() >= n;
}

AgentOnPty::AgentOnPty(const QByteArray& extraIni)
{
    QFile ini(dir.filePath("agent.INI"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Set]\nIPPort=0\nPort=" + pbx.SlavePath().toUtf8() +
              ":19200,N,8,1\nUctFile=" + dir.filePath("DATA.NEW").toUtf8() +
              "\n[Timer]\nInterval=1000000\nMaxTick=3\nMaxError=3\nMaxErrorTick=5\n");
    ini.close();
    // Further settings go key by key into their sections.
    QString section;
    for (const QByteArray& line : extraIni.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith('['))
            section = text.mid(1, text.indexOf(']') - 1);
        else if (text.contains('='))
            TIniFile::WriteProfileString(ini.fileName(), section, text.section('=', 0, 0), text.section('=', 1));
    }
    for (const char* code : {"Eng"})
        QFile::copy(QString(VARNO_SOURCE_DIR "/lang/Language.") + code, dir.filePath(QString("Language.") + code));
    // The agent finds the line-interface library beside itself.
    QFile::copy(VARNO_BIN_DIR "/libQLIN2.so", dir.filePath("libQLIN2.so"));
    sharedBlockName();
    form = std::make_unique<TMainForm>(dir.filePath("agent"), QStringList{}, TProcessRole{}, prompt);
    form->FormCreate();
}

AgentOnPty::~AgentOnPty()
{
    form.reset();
    // The library is unloaded with the core: its objects can go.
    const QByteArray& name = sharedBlockName();
    shm_unlink(name.constData());
    shm_unlink((name + ".lock").constData());
}

void AgentOnPty::Tick(int n)
{
    for (int i = 0; i < n; ++i) {
        form->Conversation().TimerTickTimer();
        Pump(5);
    }
}

void AgentOnPty::Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (t.elapsed() < ms);
}

QStringList AgentOnPty::LogLines() const
{
    QStringList lines;
    for (int i = 0; i < form->Log().Count(); ++i)
        lines << form->Log().Line(i).mid(12);  // without the time
    return lines;
}

int AgentOnPty::CountLog(const QString& tag, const QString& text) const
{
    return static_cast<int>(LogLines().count(tag + " " + text));
}

}  // namespace varno::test
