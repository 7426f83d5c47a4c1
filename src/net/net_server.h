#pragma once
// The web server as the user-interface thread sees it: started and stopped from here, running on a thread of
// its own. Snapshots go in through the store; requests for the instrument come out as commandRequested, on
// this (the user-interface) thread, and their answers go back through answer().

#include "net/api_routes.h"
#include "net/http_server.h"
#include "net/snapshot.h"

#include <QObject>
#include <QThread>

namespace qv::net {

class NetServer : public QObject {
    Q_OBJECT
public:
    explicit NetServer(QObject* parent = nullptr);
    ~NetServer() override;

    // Listens on the configured address (port 0: a free one); false with the reason when it cannot.
    bool start(const ServerConfig& config, QString* error);
    void stop();
    bool running() const { return server_ != nullptr; }
    // The address actually served (with the port chosen when 0 was asked for), and the page's URL.
    ServeAddress address() const { return address_; }
    QString url() const;

    SnapshotStore& store() { return store_; }
    // Thread-safe: the answer is written by the server's own thread.
    void answer(quint64 ticket, const HttpResponse& response);

signals:
    void commandRequested(quint64 ticket, qv::net::NetCommand command);
    // How many viewers hold the live screen's stream open now.
    void liveViewersChanged(int viewers, int instrument);

private:
    SnapshotStore store_;
    QThread thread_;
    HttpServer* server_ = nullptr;  // lives on thread_
    ServeAddress address_;
    bool tls_ = false;
};

}  // namespace qv::net
