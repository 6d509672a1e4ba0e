#include "agent/gateway/Gateway.h"

#include <QHostAddress>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "agent/core/Conversation.h"
#include "agent/gateway/ClientSocket.h"
#include "agent/gateway/FileLimit.h"
#include "agent/gateway/ServerSocket.h"
#include "agent/nls/TextIds.h"
#include "agent/pbx/Billing.h"
#include "agent/pbx/Data.h"
#include "agent/pbx/Polls.h"
#include "platform/clock/Clock.h"
#include "platform/serial/CommError.h"

namespace varno {
namespace {

const QString kCache = QStringLiteral("<CCH");
const QString kComIn = QStringLiteral("<COM");
const QString kErr = QStringLiteral("!Err");

// Many clients may connect in the same moment; none is to wait for a
// second attempt because the queue of the listening socket was full.
constexpr int ListenBacklog = 4096;
// After the system refused an accepted connection (out of descriptors, say)
// accepting goes on after this pause, so that the server never stops for good.
constexpr int AcceptRetryMs = 100;

// The address as dotted IPv4 text, also for an IPv4 client that reached
// the dual-stack server as an IPv4-mapped IPv6 address. A genuine IPv6
// client keeps its IPv6 text: it has no dotted form.
QString DottedAddress(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace

// The current time, read at most once per request and only when needed.
class TLazyNow {
public:
    double operator()()
    {
        if (!known_) {
            value_ = Now();
            known_ = true;
        }
        return value_;
    }

private:
    double value_ = 0;
    bool known_ = false;
};

TGateway::TGateway(const TAgentContext& context, TConversation& conversation, TData& data, const TBilling& billing,
                   TPolls& polls, QObject* parent)
    : QObject(parent), context_(context), conversation_(conversation), data_(data), billing_(billing), polls_(polls)
{
    resumeAccepting_.setSingleShot(true);
    connect(&resumeAccepting_, &QTimer::timeout, this, [this]() {
        if (ServerSocket1)
            ServerSocket1->resumeAccepting();
    });
}

TGateway::~TGateway() { Close(); }

bool TGateway::Open(int port, QString* error)
{
    Close();
    long long limit = 0;
    QString why;
    if (!RaiseFileLimit(&limit, &why))
        context_.LogLine(kErr, QStringLiteral("Limit of open files not raised (%1): at most %2 descriptors, "
                                              "fewer TCP/IP clients can be connected at once")
                                   .arg(why)
                                   .arg(limit));
    if (port < 0 || port > 65535) {
        if (error)
            *error = QStringLiteral("port %1 is out of range").arg(port);
        return false;
    }
    ServerSocket1 = std::make_unique<TServerSocket>();
    ServerSocket1->setListenBacklogSize(ListenBacklog);
    ServerSocket1->OnIncoming = [this](qintptr descriptor) { Incoming(descriptor); };
    connect(ServerSocket1.get(), &QTcpServer::acceptError, this,
            [this](QAbstractSocket::SocketError e) { AcceptFailed(e); });
    if (!ServerSocket1->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        if (error)
            *error = ServerSocket1->errorString();
        ServerSocket1.reset();
        return false;
    }
    ServerSocket1Listen();
    return true;
}

void TGateway::Close()
{
    resumeAccepting_.stop();
    for (auto& [handle, socket] : clients_) {
        socket->disconnect(this);
        socket->abort();
    }
    clients_.clear();
    if (ServerSocket1) {
        ServerSocket1->close();
        ServerSocket1.reset();  // with every connection's socket, also those still to be deleted
    }
}

bool TGateway::IsOpen() const { return ServerSocket1 && ServerSocket1->isListening(); }

quint16 TGateway::Port() const { return IsOpen() ? ServerSocket1->serverPort() : 0; }

TClientSocket* TGateway::FindClient(int32_t handle) const
{
    const auto it = clients_.find(handle);
    return it == clients_.end() ? nullptr : it->second;
}

// ---- socket events ---------------------------------------------------------

void TGateway::ServerSocket1Listen() { context_.Log.SetStatusText(QStringLiteral("OnListen")); }

void TGateway::ServerSocket1GetSocket() { context_.Log.SetStatusText(QStringLiteral("OnGetSocket")); }

void TGateway::ServerSocket1Accept() { context_.Log.SetStatusText(QStringLiteral("OnAccept")); }

void TGateway::ServerSocket1ClientConnect(TClientSocket& socket)
{
    context_.Log.SetStatusText(QStringLiteral("OnClientConnect ") + socket.Address);
}

void TGateway::Incoming(qintptr descriptor)
{
    ServerSocket1GetSocket();
    auto* socket = new TClientSocket(ServerSocket1.get());
    if (!socket->setSocketDescriptor(descriptor)) {
        context_.LogLine(kErr, QStringLiteral("TCP/IP connection not taken: %1").arg(socket->errorString()));
        delete socket;
        ::close(static_cast<int>(descriptor));
        return;
    }
    acceptFailureLogged_ = false;
    socket->Handle = static_cast<int32_t>(descriptor);
    socket->Address = DottedAddress(socket->peerAddress());
    const QString id = socket->Address + QLatin1Char(':') + QString::number(socket->Handle);
    socket->InTag = QStringLiteral("<IP:") + id;
    socket->OutTag = QStringLiteral(">IP:") + id;
    // Every reply is one small block: it is to leave at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    connect(socket, &QIODevice::readyRead, this, [this, socket]() { ServerSocket1ClientRead(*socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket]() { ServerSocket1ClientDisconnect(*socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError e) { ServerSocket1ClientError(*socket, e); });
    connect(socket, &QIODevice::bytesWritten, this, [this, socket](qint64) { ServerSocket1ClientWrite(*socket); });

    // A descriptor is only handed out again after its socket was closed,
    // which reports the disconnect first; an entry still filed under it is
    // a connection that went without saying so.
    if (TClientSocket* stale = FindClient(socket->Handle))
        ServerSocket1ClientDisconnect(*stale);
    clients_[socket->Handle] = socket;
    ServerSocket1Accept();
    ServerSocket1ClientConnect(*socket);
}

void TGateway::AcceptFailed(QAbstractSocket::SocketError)
{
    if (!ServerSocket1)
        return;
    if (!acceptFailureLogged_) {
        acceptFailureLogged_ = true;
        context_.LogLine(kErr, QStringLiteral("TCP/IP connection not accepted: %1").arg(ServerSocket1->errorString()));
    }
    resumeAccepting_.start(AcceptRetryMs);
}

void TGateway::ServerSocket1ClientDisconnect(TClientSocket& socket)
{
    const auto it = clients_.find(socket.Handle);
    if (it == clients_.end() || it->second != &socket)
        return;  // reported already
    clients_.erase(it);
    context_.Log.SetStatusText(QStringLiteral("OnClientDisconnect ") + socket.Address);
    // Its requests still waiting keep their place but are re-marked, so
    // that a later connection that gets the same descriptor never receives
    // their replies.
    conversation_.ForgetClient(socket.Handle, NoClient);
    socket.disconnect(this);
    socket.deleteLater();
}

void TGateway::ServerSocket1ClientWrite(TClientSocket& socket)
{
    // The socket took what was left of a reply that did not go at once.
    if (socket.WriteBlocked && socket.bytesToWrite() == 0) {
        socket.WriteBlocked = false;
        context_.Log.SetStatusText(QStringLiteral("OnClientWrite"));
    }
}

void TGateway::ServerSocket1ClientError(TClientSocket&, QAbstractSocket::SocketError error)
{
    // The peer closing is an ordinary disconnect, reported as such. Socket
    // errors raise nothing here; the disconnect that follows one cleans up.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    context_.Log.SetStatusText(QStringLiteral("OnClientError"));
}

void TGateway::ServerSocket1ClientRead(TClientSocket& socket)
{
    // The bytes of one read event form one request. The receive buffer takes
    // at most its own size; what does not fit is read past and counted, and
    // the whole read is refused below as longer than any request. A read that
    // yields no bytes, or fails, is no request.
    const qint64 waiting = socket.bytesAvailable();
    if (waiting <= 0)
        return;
    const qint64 got =
        socket.read(reinterpret_cast<char*>(ReceiveBuffer), std::min<qint64>(waiting, ReceiveBufferSize));
    if (got <= 0)
        return;
    qint64 total = got;
    if (socket.bytesAvailable() > 0)
        total += std::max<qint64>(socket.skip(socket.bytesAvailable()), 0);
    HandleRequest(socket, static_cast<int>(std::min<qint64>(total, 1 << 30)));
}

// ---- the request path ------------------------------------------------------

void TGateway::HandleRequest(TClientSocket& socket, int length)
{
    const TConfig& config = context_.Config;
    const int held = std::min(length, ReceiveBufferSize);

    // The request is rendered only when a log line or the forwarding shows it.
    QString rendered;
    bool isRendered = false;
    auto render = [&]() -> const QString& {
        if (!isRendered) {
            rendered = data_.DescribePacket(TPacketDirection::Request, ReceiveBuffer, held, 0, false);
            isRendered = true;
        }
        return rendered;
    };
    if (config.Log.TcpIp_In)
        context_.LogLine(socket.InTag, render());

    // A request record holds 256 bytes. A longer read (one request, or
    // several sent too quickly to be told apart) is neither answered nor
    // forwarded; the connection stays open for the next request.
    if (length > TRequest::MaxPayload) {
        context_.LogLine(kErr, QStringLiteral("Request of %1 bytes from %2 refused: a request holds at most %3 bytes")
                                   .arg(length)
                                   .arg(socket.InTag.mid(4))
                                   .arg(TRequest::MaxPayload));
        return;
    }

    TLazyNow now;
    if (AnswerLineStates(socket, length, now) || AnswerCommand14(socket, now) || AnswerBilling(socket) ||
        AnswerFromCache(socket, length, now))
        return;
    Forward(socket, length, render());
}

void TGateway::LocalAnswerLog(TClientSocket& socket, const QString& text)
{
    const TLogFlags& log = context_.Config.Log;
    if (log.Com_In)
        context_.LogLine(kCache, text);
    if (log.TcpIp_Out)
        context_.LogLine(socket.OutTag, text);
}

// The line-state table, from the agent's own poll while it is fresh.
bool TGateway::AnswerLineStates(TClientSocket& socket, int length, TLazyNow& now)
{
    // Only the first two bytes are looked at; a one-byte request has no item.
    if (length < 2 || ReceiveBuffer[0] != 0 || ReceiveBuffer[1] != 22)
        return false;
    polls_.ClientAskedLineStates(now());
    return AnswerFromPoll(socket, data_.LineStateReply.data(),
                          std::min<uint32_t>(data_.LineStateReplyLen, TData::LineStateReplySize),
                          data_.LineStateReplyTime, TReplyCache::CacheLifetime[22], Txt::LineStates, now);
}

// The command-14 data, from the agent's own poll while it is fresh.
bool TGateway::AnswerCommand14(TClientSocket& socket, TLazyNow& now)
{
    if (ReceiveBuffer[0] != 14)
        return false;
    polls_.ClientAskedCommand14(now());
    return AnswerFromPoll(socket, data_.Command14Reply.data(),
                          std::min<uint32_t>(data_.Command14ReplyLen, TData::Command14ReplySize),
                          data_.Command14ReplyTime, TReplyCache::CacheLifetime[48], Txt::Command14Data, now);
}

// A stored poll reply answers while it is at most `lifetime` ms old.
bool TGateway::AnswerFromPoll(TClientSocket& socket, const uint8_t* reply, uint32_t length, double stored, int lifetime,
                              int text, TLazyNow& now)
{
    if (length == 0 || !TReplyCache::Fresh(stored, now(), lifetime, true))
        return false;
    const TLogFlags& log = context_.Config.Log;
    if (log.Com_In || log.TcpIp_Out)
        LocalAnswerLog(socket, context_.Text(text));
    Send(socket, reply, static_cast<int>(length));
    return true;
}

// Billing records from the agent's list; each connection reads on from
// its own cursor.
bool TGateway::AnswerBilling(TClientSocket& socket)
{
    const uint8_t command = ReceiveBuffer[0];
    if (command != 4 && command != 5)
        return false;
    static const uint8_t noRecord = 0x00;
    const TConfig& config = context_.Config;
    if (!config.SendUct) {
        Send(socket, &noRecord, 1);
        return true;
    }
    if (!config.ReadUct)
        return false;  // the PBX is asked itself
    if (billing_.BillingBase == billing_.BillingNext) {
        Send(socket, &noRecord, 1);
        return true;
    }
    int64_t b = socket.BillingCursor;
    if (command == 5)
        b -= 1;
    if (b < billing_.BillingBase)
        b = billing_.BillingBase;
    if (b >= billing_.BillingNext) {
        Send(socket, &noRecord, 1);
        return true;
    }
    const QByteArray& text = billing_.List().at(static_cast<size_t>(b - billing_.BillingBase));
    if (config.Log.TcpIp_Out)
        context_.LogLine(socket.OutTag, QString::fromUtf8(text));
    answer_.truncate(0);
    answer_.append('\0');
    answer_.append(text);
    Send(socket, reinterpret_cast<const uint8_t*>(answer_.constData()), static_cast<int>(answer_.size()));
    socket.BillingCursor = static_cast<int32_t>(b + 1);
    return true;
}

// A fresh answer the PBX gave to the same request (or to a longer one
// that begins with it).
bool TGateway::AnswerFromCache(TClientSocket& socket, int length, TLazyNow& now)
{
    if (cache_.CacheCount == 0)
        return false;
    const TCacheEntry* hit = cache_.Lookup(ReceiveBuffer, length, true, now());
    if (!hit)
        return false;
    Send(socket, hit->Reply, hit->ReplyLen);
    const TLogFlags& log = context_.Config.Log;
    if (log.Com_In || log.TcpIp_Out)
        LocalAnswerLog(socket, data_.DescribePacket(TPacketDirection::Request, hit->Reply, hit->ReplyLen, 0, false));
    return true;
}

void TGateway::Forward(TClientSocket& socket, int length, const QString& rendered)
{
    conversation_.ForwardClientRequest(socket.Handle, ReceiveBuffer, length, rendered);
}

void TGateway::Send(TClientSocket& socket, const uint8_t* bytes, int length)
{
    if (length <= 0 || socket.state() != QAbstractSocket::ConnectedState)
        return;
    // With nothing of an earlier reply still waiting, the reply goes straight
    // to the descriptor in one send, without passing the socket's buffer.
    if (socket.bytesToWrite() == 0) {
        const ssize_t n = ::send(socket.Handle, bytes, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == length)
            return;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;  // the connection has failed; its read side reports it
        if (n > 0) {
            bytes += n;
            length -= static_cast<int>(n);
        }
    }
    // The rest follows when the socket can take it (ServerSocket1ClientWrite).
    socket.write(reinterpret_cast<const char*>(bytes), length);
    socket.flush();
    if (socket.bytesToWrite() > 0)
        socket.WriteBlocked = true;
}

// ---- replies from the PBX --------------------------------------------------

void TGateway::RelayReply(const TRequest& request, const uint8_t* reply, int length)
{
    TClientSocket* socket = FindClient(request.Handle);
    if (socket)
        Send(*socket, reply, length);

    // What the reply changes holds whether or not its client is still
    // there: a write (command 1) makes every cached answer suspect, and the
    // identity and configuration blocks follow the PBX's own answer.
    switch (request.FirstByte) {
    case 1: CacheFlush(); break;
    case 2: data_.IdentityMessage(1, reply, length); break;
    case 13: data_.ConfigMessage(1, reply, length); break;
    default: break;
    }

    if (!socket)
        return;  // the client has gone: its reply is dropped
    const TLogFlags& log = context_.Config.Log;
    if (!log.Com_In && !log.TcpIp_Out)
        return;
    const QString text = data_.DescribePacket(TPacketDirection::Reply, reply, length, request.FirstByte, false);
    if (log.Com_In)
        context_.LogLine(kComIn, text);
    if (log.TcpIp_Out)
        context_.LogLine(socket->OutTag, text);
}

void TGateway::CacheStore(const uint8_t* request, int requestLength, const uint8_t* reply, int replyLength)
{
    if (cache_.Capacity() == 0)
        return;
    cache_.Store(request, requestLength, reply, replyLength, Now());
}

}  // namespace varno
