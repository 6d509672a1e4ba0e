#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

namespace varno::test {

// A client application of the line interface: the library's test peer
// (QLIN2_PEER_PATH) as a process of its own, asked one line at a time
// (open, get, command, lines, hold, release).
class ClientPeer {
public:
    // sharedName: the shared block to use; empty: the one this program's
    // environment names.
    explicit ClientPeer(const QString& sharedName = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!sharedName.isEmpty())
            env.insert(QStringLiteral("QLIN2_SHM_NAME"), sharedName);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QLIN2_PEER_PATH), {});
        process.waitForStarted();
    }
    ~ClientPeer()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.write("exit\n");
        if (!process.waitForFinished(2000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    ClientPeer(const ClientPeer&) = delete;
    ClientPeer& operator=(const ClientPeer&) = delete;

    // The peer's one-line answer; "<timeout>" when none came. The event loop
    // runs meanwhile, so that an agent in this process can answer.
    QString Ask(const QString& request)
    {
        process.write(request.toUtf8() + "\n");
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && t.elapsed() < 5000) {
            process.waitForReadyRead(5);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (!process.canReadLine())
            return QStringLiteral("<timeout>");
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    QProcess process;
};

}  // namespace varno::test
