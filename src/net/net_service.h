#pragma once
// Serving one running remote control over the network, as --serve and the window's Network... dialog start
// it: the token, the server on its own thread, and the bridge that feeds it snapshots and runs its requests.

#include "net/serve_options.h"
#include "net/net_bridge.h"
#include "net/net_server.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace qv {

class Session;

// The token read or made and the server listening, as every way of serving starts: notices says what the user
// should know (address, token file, a token travelling in clear).
struct Listening {
    QString tokenPath;
    QByteArray token;
    QStringList notices;
};
bool listen(net::NetServer& server, const ServeOptions& options, std::shared_ptr<net::InstrumentDirectory> instruments,
            Listening* result, QString* error);

class NetService : public QObject {
    Q_OBJECT
public:
    explicit NetService(Session& session, QObject* parent = nullptr);
    ~NetService() override;

    // Reads or makes the token, then listens. notices() says what the user should know (address, token file,
    // a token travelling in clear).
    bool start(const ServeOptions& options, QString* error);
    void stop();
    bool running() const { return server_.running(); }
    QString url() const { return server_.url(); }
    QString tokenPath() const { return tokenPath_; }
    QByteArray token() const { return token_; }
    QStringList notices() const { return notices_; }
    NetBridge* bridge() { return bridge_.get(); }

private:
    Session& session_;
    net::NetServer server_;
    std::unique_ptr<NetBridge> bridge_;
    QString tokenPath_;
    QByteArray token_;
    QStringList notices_;
};

}  // namespace qv
