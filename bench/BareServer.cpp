// The baseline for locally answered requests: a bare Qt server on one event
// loop that answers every read with a fixed reply, as the agent's gateway
// answers a request from its own data.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    std::printf("PORT %d\n", server.serverPort());
    std::fflush(stdout);
    // The size of a line-state reply of a small PBX.
    const QByteArray reply(3 + 4 * 16, '\x01');
    QObject::connect(&server, &QTcpServer::newConnection, [&]() {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &reply]() {
                s->readAll();
                s->write(reply);
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return app.exec();
}
