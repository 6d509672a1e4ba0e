#pragma once
#include <QString>
#include <QTcpSocket>
#include <cstdint>

namespace varno {

// One client connection of the gateway with what the gateway keeps of it.
// Its texts are made once, when the connection is accepted, so that a
// request costs no formatting of them.
class TClientSocket : public QTcpSocket {
public:
    using QTcpSocket::QTcpSocket;

    int32_t Handle = -1;        // the socket descriptor, kept after it is closed
    QString Address;            // the remote address, dotted IPv4 where it has one
    QString InTag;              // "<IP:" address ":" handle
    QString OutTag;             // ">IP:" address ":" handle
    int32_t BillingCursor = 0;  // number of the next billing record for this client
    bool WriteBlocked = false;  // a reply is still waiting in the send buffer
};

}  // namespace varno
