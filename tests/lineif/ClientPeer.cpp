#include "ClientPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace varno::test {

ClientPeer::ClientPeer()
{
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(QLIN2_PEER_PATH, {});
    process.waitForStarted();
}

ClientPeer::~ClientPeer()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("exit\n");
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QString ClientPeer::Ask(const QString& request)
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

}  // namespace varno::test
