#include "net/net_service.h"

#include "session/session.h"

namespace qv {

using namespace Qt::StringLiterals;

NetService::NetService(Session& session, QObject* parent) : QObject(parent), session_(session) {}

NetService::~NetService() { stop(); }

bool NetService::start(const ServeOptions& o, QString* error)
{
    stop();
    notices_.clear();
    const auto address = net::parseServeAddress(o.address);
    if (!address) {
        *error = u"--serve: \"%1\" is not [ADDRESS:]PORT"_s.arg(o.address);
        return false;
    }
    tokenPath_ = o.tokenFile.isEmpty() ? net::defaultTokenPath() : o.tokenFile;
    const net::TokenFile token = net::loadOrCreateToken(tokenPath_);
    if (!token.error.isEmpty()) {
        *error = token.error;
        return false;
    }
    token_ = token.token;
    net::ServerConfig config;
    config.address = *address;
    config.token = token_;
    config.publicRead = o.publicRead;
    config.allowedHosts = o.allowHosts;
    config.tlsCert = o.tlsCert;
    config.tlsKey = o.tlsKey;
    config.tlsKeyPassFile = o.tlsKeyPassFile;
    if (!server_.start(config, error))
        return false;
    bridge_ = std::make_unique<NetBridge>(session_, server_);
    notices_.append(u"serving %1"_s.arg(server_.url()));
    notices_.append(u"token file: %1%2"_s.arg(tokenPath_, token.created ? u" (new)"_s : QString()));
    if (!address->address.isLoopback() && o.tlsCert.isEmpty())
        notices_.append(u"warning: %1 is not a loopback address and there is no --tls-cert: the token travels in clear"_s
                            .arg(address->address.toString()));
    return true;
}

void NetService::stop()
{
    bridge_.reset();
    server_.stop();
}


}  // namespace qv
