#pragma once
#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "agent/core/AgentContext.h"
#include "agent/core/Request.h"
#include "agent/gateway/ReplyCache.h"

namespace varno {

class TBilling;
class TClientSocket;
class TConversation;
class TData;
class TPolls;
class TLazyNow;
class TServerSocket;

// The TCP/IP gateway: remote clients send PBX requests in the PBX's own
// byte form, one request per read. Each is answered from data the agent
// holds (line states, command-14 data, billing records, the reply cache) or
// forwarded to the PBX, whose reply goes back to the connection that asked.
class TGateway : public QObject {
public:
    static constexpr int ReceiveBufferSize = 500;
    // The handle of a request whose connection has closed.
    static constexpr int32_t NoClient = -1;

    // The gateway answers from the data model, the billing list and the
    // polls' data, and forwards through the conversation.
    TGateway(const TAgentContext& context, TConversation& conversation, TData& data, const TBilling& billing,
             TPolls& polls, QObject* parent = nullptr);
    ~TGateway() override;

    // Listens on all local addresses; port 0 takes any free port. False
    // with the reason when the server could not be opened.
    bool Open(int port, QString* error);
    void Close();
    bool IsOpen() const;
    // The port listened on (0 while closed).
    quint16 Port() const;

    // The reply cache, allocated once at start-up with MaxCache entries.
    TReplyCache& Cache() { return cache_; }
    const TReplyCache& Cache() const { return cache_; }

    // The open connection with that handle, or nullptr.
    TClientSocket* FindClient(int32_t handle) const;
    int ClientCount() const { return static_cast<int>(clients_.size()); }

    // A reply to a client request (pending entry of kind T).
    void RelayReply(const TRequest& request, const uint8_t* reply, int length);
    void CacheStore(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength);
    void CacheFlush() { cache_.Flush(); }

    // The socket events.
    void ServerSocket1Listen();
    void ServerSocket1GetSocket();
    void ServerSocket1Accept();
    void ServerSocket1ClientConnect(TClientSocket& socket);
    void ServerSocket1ClientDisconnect(TClientSocket& socket);
    void ServerSocket1ClientRead(TClientSocket& socket);
    void ServerSocket1ClientWrite(TClientSocket& socket);
    void ServerSocket1ClientError(TClientSocket& socket, QAbstractSocket::SocketError error);

private:
    void Incoming(qintptr descriptor);
    void AcceptFailed(QAbstractSocket::SocketError error);
    void HandleRequest(TClientSocket& socket, int length);
    bool AnswerLineStates(TClientSocket& socket, int length, TLazyNow& now);
    bool AnswerCommand14(TClientSocket& socket, TLazyNow& now);
    bool AnswerFromPoll(TClientSocket& socket, const uint8_t* reply, uint32_t length, double stored, int lifetime,
                        int text, TLazyNow& now);
    bool AnswerBilling(TClientSocket& socket);
    bool AnswerFromCache(TClientSocket& socket, int length, TLazyNow& now);
    void Forward(TClientSocket& socket, int length, const QString& rendered);
    // Writes one reply with a single write to the socket.
    static void Send(TClientSocket& socket, const uint8_t* bytes, int length);
    void LocalAnswerLog(TClientSocket& socket, const QString& text);

    const TAgentContext& context_;
    TConversation& conversation_;
    TData& data_;
    const TBilling& billing_;
    TPolls& polls_;
    std::unique_ptr<TServerSocket> ServerSocket1;
    std::unordered_map<int32_t, TClientSocket*> clients_;
    TReplyCache cache_;
    uint8_t ReceiveBuffer[ReceiveBufferSize] = {};
    QByteArray answer_;  // a billing answer being put together
    QTimer resumeAccepting_;
    bool acceptFailureLogged_ = false;
};

}  // namespace varno
