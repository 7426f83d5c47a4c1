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
    int idleMs = 10000;          // no complete request for this long: the connection is closed
    int keepaliveMs = 15000;     // a comment line on each live stream, so that proxies keep it open
    qint64 streamBacklog = 1 << 20;  // a viewer this far behind on the live stream is dropped
    int maxPendingCommands = 32;  // beyond this, requests for the instrument are refused with 503
    int commandLimitMs = 120000;  // an instrument request not answered by then gets 504 (its connection is freed)
};

class HttpServer : public QTcpServer {
    Q_OBJECT
public:
    HttpServer(SnapshotStore& store, ServerConfig config, QObject* parent = nullptr);
    ~HttpServer() override;
    bool start(QString* error);
    // The answer to a command this server handed over; a connection that went away meanwhile is forgotten.
    void answer(quint64 ticket, const HttpResponse& response);
    int connectionCount() const { return int(connections_.size()); }
    int streamCount() const;
    ServeAddress address() const { return config_.address; }
    bool encrypted() const { return tls_; }

signals:
    void commandRequested(quint64 ticket, int kind, const QString& key);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection {
        QTcpSocket* socket = nullptr;
        QByteArray buffer;
        qint64 lastActivityMs = 0;
        qint64 requestStartMs = -1;  // first byte of a request not complete yet
        bool streaming = false;
        bool continued = false;  // "100 Continue" sent for the request being read
        quint64 waitingFor = 0;  // a command's ticket: further requests wait for its answer
        bool closeAfterAnswer = false;
    };
    void readFrom(Connection& c);
    void process(Connection& c);
    void handle(Connection& c, const HttpRequest& request);
    void send(Connection& c, const HttpResponse& response, bool withBody = true);
    void refuse(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    void sweep();
    void pushView();

    SnapshotStore& store_;
    ServerConfig config_;
    AccessPolicy access_;
    quint64 pushedVersion_ = 0;
    QSslConfiguration tlsConfig_;
    bool tls_ = false;
    QHash<QTcpSocket*, Connection> connections_;
    QHash<quint64, QTcpSocket*> waiting_;
    quint64 nextTicket_ = 1;
    RateLimiter limiter_;
    QElapsedTimer clock_;
    QTimer sweepTimer_;
    qint64 lastKeepaliveMs_ = 0;
};

}  // namespace qv::net
