#include "net/http_server.h"

#include "net/tls_identity.h"

#include <QSslSocket>

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
constexpr int kSweepMs = 1000;
}  // namespace

HttpServer::HttpServer(SnapshotStore& store, ServerConfig config, QObject* parent)
    : QTcpServer(parent), store_(store), config_(std::move(config)), sweepTimer_(this)
{
    clock_.start();
    sweepTimer_.setInterval(kSweepMs);
    connect(&sweepTimer_, &QTimer::timeout, this, &HttpServer::sweep);
    connect(&store_, &SnapshotStore::viewChanged, this, &HttpServer::pushView);
}

HttpServer::~HttpServer()
{
    for (QTcpSocket* socket : connections_.keys())
        delete socket;
}

bool HttpServer::start(QString* error)
{
    if (!config_.tlsCert.isEmpty()) {
        const auto tls = serverTlsConfiguration({config_.tlsCert, config_.tlsKey, config_.tlsKeyPassFile}, error);
        if (!tls)
            return false;
        tlsConfig_ = *tls;
        tls_ = true;
    }
    if (!listen(config_.address.address, config_.address.port)) {
        *error = errorString();
        return false;
    }
    config_.address.port = serverPort();
    access_.token = config_.token;
    access_.openReading = config_.address.address.isLoopback() || config_.publicRead;
    access_.hosts = HostCheck(config_.address, config_.allowedHosts);
    sweepTimer_.start();
    return true;
}

int HttpServer::streamCount() const
{
    int n = 0;
    for (const Connection& c : connections_)
        n += c.streaming;
    return n;
}

void HttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_.size() >= config_.maxConnections) {
        refuse(socket);
        return;
    }
    if (tls_) {
        auto* ssl = static_cast<QSslSocket*>(socket);
        ssl->setSslConfiguration(tlsConfig_);
        ssl->startServerEncryption();
    }
    Connection& c = connections_[socket];
    c.socket = socket;
    c.lastActivityMs = clock_.elapsed();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (auto it = connections_.find(socket); it != connections_.end())
            readFrom(*it);
    });
    // Queued: a connection is never forgotten while one of its own handlers is still running.
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); }, Qt::QueuedConnection);
}

// Over the limit: one short answer and the door shut, without reading what the client sent.
void HttpServer::refuse(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (!tls_) {
        HttpResponse r = HttpResponse::error(503, u"too many connections"_s);
        r.headers.emplaceBack("Retry-After", "1");
        r.close = true;
        socket->write(serialize(r));
    }
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void HttpServer::drop(QTcpSocket* socket)
{
    const auto it = connections_.find(socket);
    if (it == connections_.end())
        return;
    if (it->waitingFor)
        waiting_.remove(it->waitingFor);
    connections_.erase(it);
    socket->deleteLater();
}

void HttpServer::readFrom(Connection& c)
{
    const qint64 now = clock_.elapsed();
    c.lastActivityMs = now;
    if (c.streaming) {
        c.socket->readAll();  // a live-stream viewer has nothing more to say
        return;
    }
    // Never more than one request's worth in memory: past that the parser refuses it anyway. What stays in the
    // socket is read once the requests before it are answered.
    const qint64 limit = config_.limits.headerBytes + config_.limits.bodyBytes + 4;
    while (c.socket->bytesAvailable() > 0 && c.buffer.size() < limit && c.waitingFor == 0 && !c.streaming &&
           c.socket->state() == QAbstractSocket::ConnectedState) {
        c.buffer += c.socket->read(limit - c.buffer.size());
        if (c.requestStartMs < 0 && !c.buffer.isEmpty())
            c.requestStartMs = now;
        const qsizetype before = c.buffer.size();
        process(c);
        if (c.buffer.size() == before)
            break;  // an incomplete request: wait for more bytes
    }
}

void HttpServer::process(Connection& c)
{
    while (!c.streaming && c.waitingFor == 0 && !c.buffer.isEmpty() &&
           c.socket->state() == QAbstractSocket::ConnectedState) {
        const ParseResult r = parseRequest(c.buffer, config_.limits);
        if (r.state == ParseResult::State::Incomplete) {
            if (r.expectContinue && !c.continued) {
                c.socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                c.continued = true;
            }
            return;
        }
        if (r.state == ParseResult::State::Error) {
            HttpResponse e = HttpResponse::error(r.errorStatus, QString::fromLatin1(reasonPhrase(r.errorStatus)).toLower());
            e.close = true;
            c.buffer.clear();
            send(c, e);
            return;
        }
        c.buffer.remove(0, r.consumed);
        c.continued = false;
        c.requestStartMs = c.buffer.isEmpty() ? -1 : clock_.elapsed();
        handle(c, r.request);
    }
}

void HttpServer::handle(Connection& c, const HttpRequest& req)
{
    const SnapshotPtr snapshot = store_.current();
    const bool head = req.method == "HEAD";
    // Limited per token, after it is checked: requests with a wrong token (answered 401 anyway) must not use up
    // the allowance of those who hold it.
    if (req.method == "POST" && bearerMatches(req.header("authorization"), access_.token) &&
        !limiter_.allow(access_.token, clock_.elapsed())) {
        HttpResponse r = HttpResponse::error(429, u"too many requests for the instrument; try again shortly"_s);
        r.headers.emplaceBack("Retry-After", "1");
        r.close = !req.keepAlive;
        send(c, r);
        return;
    }
    RouteResult routed = route(req, *snapshot, access_);
    if (routed.response) {
        routed.response->close = routed.response->close || !req.keepAlive;
        send(c, *routed.response, !head);
    } else if (routed.stream && head) {
        c.socket->write(eventStreamHead());
        c.buffer.clear();
        c.socket->disconnectFromHost();
    } else if (routed.stream) {
        c.streaming = true;
        c.buffer.clear();
        c.socket->write(eventStreamHead() + viewEvent(*snapshot));
    } else if (waiting_.size() >= config_.maxPendingCommands) {
        HttpResponse r = HttpResponse::error(503, u"the instrument has too many requests waiting"_s);
        r.close = !req.keepAlive;
        send(c, r);
    } else {
        const quint64 ticket = nextTicket_++;
        waiting_.insert(ticket, c.socket);
        c.waitingFor = ticket;
        c.closeAfterAnswer = !req.keepAlive;
        emit commandRequested(ticket, int(routed.command->kind), routed.command->key);
    }
}

void HttpServer::send(Connection& c, const HttpResponse& response, bool withBody)
{
    c.socket->write(serialize(response, withBody));
    c.lastActivityMs = clock_.elapsed();
    if (response.close) {
        c.buffer.clear();
        c.socket->disconnectFromHost();
    }
}

void HttpServer::answer(quint64 ticket, const HttpResponse& response)
{
    QTcpSocket* socket = waiting_.take(ticket);
    const auto it = connections_.find(socket);
    if (!socket || it == connections_.end())
        return;
    it->waitingFor = 0;
    HttpResponse r = response;
    r.close = r.close || it->closeAfterAnswer;
    send(*it, r);
    process(*it);  // requests the client sent meanwhile
    readFrom(*it);
}

void HttpServer::sweep()
{
    const qint64 now = clock_.elapsed();
    const bool keepalive = now - lastKeepaliveMs_ >= config_.keepaliveMs;
    if (keepalive)
        lastKeepaliveMs_ = now;
    QList<QTcpSocket*> stale;
    QList<quint64> late;
    for (Connection& c : connections_) {
        if (c.streaming) {
            if (c.socket->bytesToWrite() > config_.streamBacklog)
                stale.append(c.socket);
            else if (keepalive)
                c.socket->write(": keepalive\n\n");
        } else if (c.waitingFor == 0) {
            const qint64 since = c.requestStartMs >= 0 ? c.requestStartMs : c.lastActivityMs;
            if (now - since > config_.idleMs)
                stale.append(c.socket);
        } else if (now - c.lastActivityMs > config_.commandLimitMs) {
            late.append(c.waitingFor);
        }
    }
    for (quint64 ticket : late)
        answer(ticket, HttpResponse::error(504, u"the instrument did not finish in time"_s));
    for (QTcpSocket* socket : stale)
        socket->abort();  // emits disconnected: forgotten through drop()
}

void HttpServer::pushView()
{
    const SnapshotPtr snapshot = store_.current();
    if (snapshot->viewVersion == pushedVersion_)
        return;  // several changes came while this thread was busy: one event carries them all
    pushedVersion_ = snapshot->viewVersion;
    QByteArray event;
    for (Connection& c : connections_) {
        if (!c.streaming)
            continue;
        if (event.isEmpty())
            event = viewEvent(*snapshot);
        c.socket->write(event);
    }
}

}  // namespace qv::net
