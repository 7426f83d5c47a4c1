#pragma once
// The web server proper, living on a thread of its own: connections, the limits that keep a slow or hostile
// client from holding it, the live stream, and the hand-over of instrument requests to the user-interface
// thread. It reads snapshots and never touches the device or a widget.
//
// A small HTTP/1.1 server of our own over QTcpServer rather than Qt's HTTP server module: Qt 6.4's module has no
// say over header and body sizes, connection counts or idle time-outs, and cannot stream an open-ended event
// response; those limits are the point here, and the parser stays a pure function that can be fuzzed.

#include "net/api_routes.h"
#include "net/http_message.h"
#include "net/metrics.h"
#include "net/instruments.h"
#include "net/net_access.h"
#include "net/snapshot.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace qv::net {

struct ServerConfig {
    ServeAddress address;
    QByteArray token;
    bool publicRead = false;    // reading without the token on an address that is not loopback
    QStringList allowedHosts;   // host names besides the address itself (DNS rebinding)
    QString tlsCert, tlsKey, tlsKeyPassFile;  // certificate and key set: HTTPS
    HttpLimits limits;
    int maxConnections = 64;
    int maxPerAddress = 16;       // what one address holds without the token
    int tokenReserve = 8;         // of maxConnections, kept for connections that present the token
    int idleMs = 10000;          // no complete request for this long: the connection is closed
    int keepaliveMs = 15000;     // a comment line on each live stream, so that proxies keep it open
    qint64 streamBacklog = 1 << 20;  // a viewer this far behind on the live stream is dropped
    qint64 outputBacklog = 256 * 1024;  // unsent answers beyond this: the connection is not read until they drain
    int maxPendingCommands = 32;  // beyond this, requests for the instrument are refused with 503
    int commandLimitMs = 120000;  // an instrument request not answered by then gets 504 (its connection is freed)
    // Several instruments: their snapshots and the paths of all of them (see instruments.h); none: the one store.
    std::shared_ptr<InstrumentDirectory> instruments;
};

class HttpServer : public QTcpServer {
    Q_OBJECT
public:
    HttpServer(SnapshotStore& store, ServerConfig config, QObject* parent = nullptr);
    ~HttpServer() override;
    bool start(QString* error);
    // The answer to a command this server handed over; a connection that went away meanwhile is forgotten.
    void answer(quint64 ticket, const HttpResponse& response);
    int connectionCount() const;  // those not closing
    int streamCount() const;
    int liveViewerCount() const;  // viewers of the live screen's stream
    ServeAddress address() const { return config_.address; }
    bool encrypted() const { return tls_; }

signals:
    // details: with an acknowledgement, the operator, the comment and the viewer's address. instrument: the
    // index of the instrument it is for when several are served, else -1.
    void commandRequested(quint64 ticket, int kind, const QString& key, const QStringList& details, int instrument);
    // The number of live-screen viewers of an instrument changed (one came, or one's connection closed);
    // instrument: its index when several are served, else -1.
    void liveViewersChanged(int viewers, int instrument);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    // Where a connection stands with the connection limits. Whether it holds the token is known only once its
    // first request is read, so every connection is accepted and read before it is judged: one that took a
    // place kept for token holders and then shows no token is answered 503 (see incomingConnection()).
    enum class Standing {
        Unjudged,    // in the ordinary places, first request not read yet
        Reserved,    // in a place kept for token holders, first request not read yet
        Anonymous,   // first request without the token
        TokenHolder, // first request with the token
        Closing,     // answered and closing: read and discarded for a short while, counted nowhere
    };
    struct Connection {
        QTcpSocket* socket = nullptr;
        QByteArray peer;  // the client's address, for the limit per address
        Standing standing = Standing::Unjudged;
        QByteArray buffer;
        qint64 acceptedMs = 0;
        qint64 lastActivityMs = 0;
        qint64 requestStartMs = -1;  // first byte of a request not complete yet
        bool streaming = false;
        SnapshotPtr shown;  // on the live stream: what this viewer was sent last, the base of the next change
        bool live = false;       // with streaming: the live screen's stream
        int instrument = -1;  // with several instruments: the one whose live stream this is
        bool continued = false;  // "100 Continue" sent for the request being read
        quint64 waitingFor = 0;  // a command's ticket: further requests wait for its answer
        bool closeAfterAnswer = false;
        qint64 discarded = 0;    // while Closing: bytes read and thrown away
    };
    void readFrom(Connection& c);
    void written(Connection& c);
    void process(Connection& c);
    bool admit(Connection& c, const HttpRequest& first);
    void handle(Connection& c, const HttpRequest& request);
    void send(Connection& c, const HttpResponse& response, bool withBody = true);
    void closeAfterWriting(Connection& c);
    void shutDownWriting(Connection& c);
    bool backlogged(const Connection& c) const;
    void drop(QTcpSocket* socket);
    void sweep();
    void pushView();
    void pushLive(int instrument);
    void countLiveViewers();
    void pushInstrumentView(int index);
    void pushChanges(int instrument, const SnapshotPtr& snapshot);

    SnapshotStore& store_;
    ServerConfig config_;
    AccessPolicy access_;
    quint64 pushedVersion_ = 0;
    struct LivePushed {
        quint64 frame = 0;     // the live stream's last frame sent
        QString unavailable;   // and the last reason sent
    };
    QHash<int, LivePushed> livePushed_;  // by instrument index, -1 for the one instrument
    QHash<int, int> liveViewers_;        // the same
    QHash<int, quint64> pushedInstrumentVersions_;
    QSslConfiguration tlsConfig_;
    bool tls_ = false;
    QHash<QTcpSocket*, Connection> connections_;
    QHash<quint64, QTcpSocket*> waiting_;
    quint64 nextTicket_ = 1;
    RateLimiter limiter_;
    QElapsedTimer clock_;
    QTimer sweepTimer_;
    qint64 lastKeepaliveMs_ = 0;
    ServerCounts counts_;  // answers by status code, for /metrics
};

}  // namespace qv::net
