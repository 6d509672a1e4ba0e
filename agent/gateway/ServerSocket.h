#pragma once
#include <QTcpServer>
#include <functional>

namespace varno {

// The listening socket. Each accepted descriptor goes to OnIncoming, which
// makes the connection's socket itself (the server keeps no pending list).
class TServerSocket : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    std::function<void(qintptr)> OnIncoming;

protected:
    void incomingConnection(qintptr handle) override;
};

}  // namespace varno
