#include "net/http_server.h"

#include "net/tls_identity.h"

#include <QSslSocket>

#include <utility>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
constexpr int kSweepMs = 1000;
// An answered connection that closes keeps being read (and what comes is thrown away) for this long or this many
// bytes: closing a socket with unread input makes the kernel send a reset, and a reset can reach the client
// before it has read the answer.
constexpr int kDrainMs = 1000;
constexpr qint64 kDrainBytes = 64 * 1024;
// A place kept for token holders is held this long at most without a complete first request.
constexpr int kReservedFirstRequestMs = 2000;

qint64 unsent(const QTcpSocket* socket)
{
    qint64 n = socket->bytesToWrite();
    if (const auto* ssl = qobject_cast<const QSslSocket*>(socket))
        n += ssl->encryptedBytesToWrite();
    return n;
}
}  // namespace

HttpServer::HttpServer(SnapshotStore& store, ServerConfig config, QObject* parent)
    : QTcpServer(parent), store_(store), config_(std::move(config)), sweepTimer_(this)
{
    clock_.start();
    sweepTimer_.setInterval(kSweepMs);
    connect(&sweepTimer_, &QTimer::timeout, this, &HttpServer::sweep);
    connect(&store_, &SnapshotStore::viewChanged, this, &HttpServer::pushView);
    // The answers this server gives in normal use, there from the start: a counter that appears only with its
    // first request hides that request from increase() and rate().
    for (int code : {200, 304, 400, 401, 403, 404, 409, 429, 503})
        counts_.responses.insert(code, 0);
    connect(&store_, &SnapshotStore::viewChanged, this, [this] { pushLive(-1); });
    const auto notePushed = [this](int instrument, const Snapshot& first) {
        livePushed_[instrument] = {first.pngFrame, first.liveUnavailable};
    };
    notePushed(-1, *store_.current());
    if (const auto& directory = config_.instruments) {
        const auto follow = [this, directory, notePushed](int index) {
            const std::shared_ptr<SnapshotStore> store = directory->store(index);
            notePushed(index, *store->current());
            connect(store.get(), &SnapshotStore::viewChanged, this, [this, index] {
                pushInstrumentView(index);
                pushLive(index);
            });
        };
        for (qsizetype i = 0; i < directory->list().size(); ++i)
            follow(int(i));
        connect(directory.get(), &InstrumentDirectory::added, this, follow);
    }
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

int HttpServer::connectionCount() const
{
    int n = 0;
    for (const Connection& c : connections_)
        n += c.standing != Standing::Closing;
    return n;
}

int HttpServer::liveViewerCount() const
{
    int n = 0;
    for (const Connection& c : connections_)
        n += c.streaming && c.live;
    return n;
}

void HttpServer::countLiveViewers()
{
    QHash<int, int> now;
    for (const Connection& c : connections_)
        if (c.streaming && c.live)
            ++now[c.instrument];
    for (auto it = liveViewers_.cbegin(); it != liveViewers_.cend(); ++it)
        if (!now.contains(it.key()))
            now.insert(it.key(), 0);  // those whose last viewer went
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (liveViewers_.value(it.key()) != it.value())
            emit liveViewersChanged(it.value(), it.key());
    liveViewers_ = std::move(now);
}

int HttpServer::streamCount() const
{
    int n = 0;
    for (const Connection& c : connections_)
        n += c.streaming;
    return n;
}

// The token is known only from a request, so the limits are applied in two steps. Here, at the door: a client
// address has maxPerAddress ordinary places, and all addresses together maxConnections - tokenReserve; past
// either, the connection may still take one of the places kept for token holders (at most half of them per
// address, held kReservedFirstRequestMs at most), and its first request must then carry the token or it is
// answered 503. Viewers, however many, cannot shut out whoever holds the token; idle connections that take the
// kept places from one address cannot take them all, and give them back within seconds.
void HttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QByteArray peer = socket->peerAddress().toString().toLatin1();
    int live = 0, ordinary = 0, ordinaryHere = 0, reservedHere = 0, closing = 0;
    for (const Connection& c : std::as_const(connections_)) {
        const bool here = c.peer == peer;
        switch (c.standing) {
        case Standing::Closing: ++closing; continue;
        case Standing::Unjudged:
        case Standing::Anonymous: ++ordinary, ordinaryHere += here; break;
        case Standing::Reserved: reservedHere += here; break;
        case Standing::TokenHolder: break;
        }
        ++live;
    }
    const bool reserved = ordinary >= config_.maxConnections - config_.tokenReserve ||
                          ordinaryHere >= config_.maxPerAddress;
    const bool full = live >= config_.maxConnections ||
                      (reserved && reservedHere >= std::max(1, config_.tokenReserve / 2));
    // Before TLS is under way there is no way to say 503; a flood of refusals is not answered politely either.
    if (full && (tls_ || closing >= 4 * config_.maxConnections)) {
        socket->abort();
        delete socket;
        return;
    }
    socket->setReadBufferSize(config_.limits.headerBytes + config_.limits.bodyBytes + 4);
    Connection& c = connections_[socket];
    c.socket = socket;
    c.peer = peer;
    c.standing = reserved ? Standing::Reserved : Standing::Unjudged;
    c.acceptedMs = c.lastActivityMs = clock_.elapsed();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (auto it = connections_.find(socket); it != connections_.end()) {
            it->lastActivityMs = clock_.elapsed();
            readFrom(*it);
        }
    });
    const auto onWritten = [this, socket] {
        if (auto it = connections_.find(socket); it != connections_.end())
            written(*it);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, onWritten);
    if (tls_)
        connect(static_cast<QSslSocket*>(socket), &QSslSocket::encryptedBytesWritten, this, onWritten);
    // Queued: a connection is never forgotten while one of its own handlers is still running.
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); }, Qt::QueuedConnection);
    if (full) {
        HttpResponse r = HttpResponse::error(503, u"too many connections"_s);
        r.headers.emplaceBack("Retry-After", "1");
        r.close = true;
        send(c, r);
        return;
    }
    if (tls_) {
        auto* ssl = static_cast<QSslSocket*>(socket);
        ssl->setSslConfiguration(tlsConfig_);
        ssl->startServerEncryption();
    }
}

void HttpServer::drop(QTcpSocket* socket)
{
    const auto it = connections_.find(socket);
    if (it == connections_.end())
        return;
    if (it->waitingFor)
        waiting_.remove(it->waitingFor);
    const bool live = it->live;
    connections_.erase(it);
    socket->deleteLater();
    if (live)
        countLiveViewers();  // the last live viewer gone: the instrument is left alone
}

bool HttpServer::backlogged(const Connection& c) const { return unsent(c.socket) > config_.outputBacklog; }

void HttpServer::readFrom(Connection& c)
{
    if (c.standing == Standing::Closing) {
        c.discarded += c.socket->readAll().size();
        if (c.discarded > kDrainBytes)
            c.socket->abort();
        return;
    }
    if (c.streaming) {
        c.socket->readAll();  // a live-stream viewer has nothing more to say
        return;
    }
    // Never more than one request's worth in memory: past that the parser refuses it anyway. What stays in the
    // socket (whose own buffer is bounded too, so that the kernel's window pushes back on the client) is read
    // once the requests before it are answered and their answers have mostly left.
    const qint64 limit = config_.limits.headerBytes + config_.limits.bodyBytes + 4;
    process(c);
    while (c.socket->bytesAvailable() > 0 && c.buffer.size() < limit && c.waitingFor == 0 && !c.streaming &&
           c.standing != Standing::Closing && !backlogged(c) && c.socket->state() == QAbstractSocket::ConnectedState) {
        c.buffer += c.socket->read(limit - c.buffer.size());
        if (c.requestStartMs < 0 && !c.buffer.isEmpty())
            c.requestStartMs = clock_.elapsed();
        const qsizetype before = c.buffer.size();
        process(c);
        if (c.buffer.size() == before)
            break;  // an incomplete request: wait for more bytes
    }
}

void HttpServer::written(Connection& c)
{
    if (c.standing == Standing::Closing) {
        if (unsent(c.socket) == 0)
            shutDownWriting(c);
    } else if (!c.streaming && !backlogged(c)) {
        readFrom(c);
    }
}

void HttpServer::process(Connection& c)
{
    while (!c.streaming && c.waitingFor == 0 && !c.buffer.isEmpty() && c.standing != Standing::Closing &&
           !backlogged(c) && c.socket->state() == QAbstractSocket::ConnectedState) {
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
            send(c, e);
            return;
        }
        c.buffer.remove(0, r.consumed);
        c.continued = false;
        c.requestStartMs = c.buffer.isEmpty() ? -1 : clock_.elapsed();
        if (admit(c, r.request))
            handle(c, r.request);
    }
}

// The second step of the limits (see incomingConnection()): the first request shows whether the token came.
bool HttpServer::admit(Connection& c, const HttpRequest& first)
{
    if (c.standing != Standing::Unjudged && c.standing != Standing::Reserved)
        return true;
    if (bearerMatches(first.header("authorization"), access_.token)) {
        c.standing = Standing::TokenHolder;
        return true;
    }
    if (c.standing == Standing::Unjudged) {
        c.standing = Standing::Anonymous;
        return true;
    }
    HttpResponse r = HttpResponse::error(503, u"too many connections; only requests with the token are let in now"_s);
    r.headers.emplaceBack("Retry-After", "1");
    r.close = true;
    send(c, r);
    return false;
}

void HttpServer::handle(Connection& c, const HttpRequest& req)
{
    SnapshotPtr snapshot;
    RouteResult routed;
    int instrument = -1;
    if (config_.instruments) {
        InstrumentRouteResult chosen = routeInstruments(req, *config_.instruments, access_);
        routed = std::move(chosen.result);
        instrument = chosen.instrument;
        snapshot = chosen.snapshot;
    } else {
        snapshot = store_.current();
        routed = route(req, *snapshot, access_);
    }
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
    if (routed.response && req.path == "/metrics" && routed.response->status == 200) {
        counts_.streams = streamCount();
        routed.response->body += serverMetricsText(counts_);
    }
    if (routed.response) {
        routed.response->close = routed.response->close || !req.keepAlive;
        send(c, *routed.response, !head);
    } else if (routed.stream && head) {
        ++counts_.responses[200];
        c.socket->write(eventStreamHead());
        closeAfterWriting(c);
    } else if (routed.stream && routed.live) {
        ++counts_.responses[200];
        c.streaming = true;
        c.live = true;
        c.instrument = instrument;
        c.buffer.clear();
        c.socket->write(eventStreamHead() + liveHelloEvents(*snapshot));
        countLiveViewers();
    } else if (routed.stream) {
        ++counts_.responses[200];
        c.streaming = true;
        c.instrument = instrument;
        c.buffer.clear();
        c.shown = snapshot;
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
        const NetCommand& command = *routed.command;
        emit commandRequested(ticket, int(command.kind), command.key,
                              {command.operatorName, command.comment, QString::fromLatin1(c.peer)}, instrument);
    }
}

void HttpServer::send(Connection& c, const HttpResponse& response, bool withBody)
{
    ++counts_.responses[response.status];
    c.socket->write(serialize(response, withBody));
    c.lastActivityMs = clock_.elapsed();
    if (response.close)
        closeAfterWriting(c);
}

void HttpServer::closeAfterWriting(Connection& c)
{
    c.standing = Standing::Closing;
    c.streaming = false;
    c.shown.reset();
    c.buffer.clear();
    if (c.waitingFor)
        waiting_.remove(std::exchange(c.waitingFor, 0));
    c.socket->readAll();
    QTimer::singleShot(kDrainMs, c.socket, [socket = c.socket, tls = tls_] {
        if (!tls)
            return socket->abort();
        // TLS's own goodbye, then the socket closes once it has left; a client that reads nothing is cut off.
        socket->disconnectFromHost();
        QTimer::singleShot(kDrainMs, socket, [socket] { socket->abort(); });
    });
    if (unsent(c.socket) == 0)
        shutDownWriting(c);
}

// The answer has left: the client sees the end of it (a FIN, not a reset) while what it still sends is read and
// dropped until it closes its side too or the drain's time or size runs out. Over TLS a half-close would look like
// a truncation attack to the client, so there the client's own close is awaited, and TLS's own close follows at
// the end of the drain.
void HttpServer::shutDownWriting(Connection& c)
{
    if (tls_)
        return;
#ifdef Q_OS_UNIX
    ::shutdown(int(c.socket->socketDescriptor()), SHUT_WR);
#else
    c.socket->disconnectFromHost();
#endif
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
    readFrom(*it);  // requests the client sent meanwhile
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
        if (c.standing == Standing::Closing)
            continue;  // its own timer ends it
        if (c.streaming) {
            if (unsent(c.socket) > config_.streamBacklog)
                stale.append(c.socket);
            else if (keepalive)
                c.socket->write(": keepalive\n\n");
        } else if (c.standing == Standing::Reserved && now - c.acceptedMs > kReservedFirstRequestMs) {
            stale.append(c.socket);
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
    pushChanges(-1, snapshot);
}

void HttpServer::pushInstrumentView(int index)
{
    const SnapshotPtr snapshot = config_.instruments->store(index)->current();
    quint64& pushed = pushedInstrumentVersions_[index];
    if (snapshot->viewVersion == pushed)
        return;
    pushed = snapshot->viewVersion;
    pushChanges(index, snapshot);
}

void HttpServer::pushChanges(int instrument, const SnapshotPtr& snapshot)
{
    // Viewers that joined at different moments were sent different snapshots; those sent the same one (nearly
    // all of them) share one event.
    QHash<const Snapshot*, QByteArray> events;
    for (Connection& c : connections_) {
        if (!c.streaming || c.live || c.instrument != instrument || c.shown == snapshot)
            continue;
        auto event = events.find(c.shown.get());
        if (event == events.end())
            event = events.insert(c.shown.get(), changeEvent(*c.shown, *snapshot));
        if (!event->isEmpty())
            c.socket->write(*event);
        c.shown = snapshot;
    }
}

// Each new picture once to every live viewer of its instrument, and the reason when pictures stop coming. A viewer
// reads the picture itself from the screen's path, from the snapshot: however many watch, the instrument sends it
// once.
void HttpServer::pushLive(int instrument)
{
    const SnapshotPtr snapshot = instrument < 0 ? store_.current() : config_.instruments->store(instrument)->current();
    LivePushed& pushed = livePushed_[instrument];
    QByteArray events;
    if (snapshot->pngFrame != pushed.frame && !snapshot->png.isEmpty())
        events += liveFrameEvent(*snapshot);
    if (snapshot->liveUnavailable != pushed.unavailable && !snapshot->liveUnavailable.isEmpty())
        events += liveUnavailableEvent(*snapshot);
    pushed = {snapshot->pngFrame, snapshot->liveUnavailable};
    if (events.isEmpty())
        return;
    for (Connection& c : connections_)
        if (c.streaming && c.live && c.instrument == instrument)
            c.socket->write(events);
}

}  // namespace qv::net
