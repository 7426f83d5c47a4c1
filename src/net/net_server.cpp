#include "net/net_server.h"

namespace qv::net {

using namespace Qt::StringLiterals;

NetServer::NetServer(QObject* parent) : QObject(parent)
{
    thread_.setObjectName(u"qv-web"_s);
}

NetServer::~NetServer() { stop(); }

bool NetServer::start(const ServerConfig& config, QString* error)
{
    stop();
    thread_.start();
    auto* server = new HttpServer(store_, config);
    server->moveToThread(&thread_);
    bool ok = false;
    // Listening happens on the server's thread, so that its sockets and timers belong to it from the start.
    QMetaObject::invokeMethod(server, [&] { ok = server->start(error); }, Qt::BlockingQueuedConnection);
    if (!ok) {
        QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
        return false;
    }
    address_ = server->address();
    tls_ = server->encrypted();
    connect(server, &HttpServer::commandRequested, this,
            [this](quint64 ticket, int kind, const QString& key, const QStringList& details, int instrument) {
        emit commandRequested(ticket, NetCommand{CommandKind(kind), key, details.value(0), details.value(1), details.value(2), instrument});
    });
    connect(server, &HttpServer::liveViewersChanged, this, &NetServer::liveViewersChanged);
    server_ = server;
    return true;
}

void NetServer::stop()
{
    if (!server_)
        return;
    HttpServer* server = server_;
    server_ = nullptr;
    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QString NetServer::url() const
{
    return (tls_ ? u"https://"_s : u"http://"_s) + address_.toString() + u'/';
}

void NetServer::answer(quint64 ticket, const HttpResponse& response)
{
    if (!server_)
        return;
    HttpServer* server = server_;
    QMetaObject::invokeMethod(server, [server, ticket, response] { server->answer(ticket, response); }, Qt::QueuedConnection);
}

}  // namespace qv::net
