#include "net/net_service.h"

#include "session/session.h"

namespace qv {

using namespace Qt::StringLiterals;

NetService::NetService(Session& session, QObject* parent) : QObject(parent), session_(session) {}

NetService::~NetService() { stop(); }

bool listen(net::NetServer& server, const ServeOptions& o, std::shared_ptr<net::InstrumentDirectory> instruments,
            Listening* result, QString* error)
{
    const auto address = net::parseServeAddress(o.address);
    if (!address) {
        *error = u"--serve: \"%1\" is not [ADDRESS:]PORT"_s.arg(o.address);
        return false;
    }
    result->tokenPath = o.tokenFile.isEmpty() ? net::defaultTokenPath() : o.tokenFile;
    const net::TokenFile token = net::loadOrCreateToken(result->tokenPath);
    if (!token.error.isEmpty()) {
        *error = token.error;
        return false;
    }
    result->token = token.token;
    net::ServerConfig config;
    config.address = *address;
    config.token = result->token;
    config.publicRead = o.publicRead;
    config.allowedHosts = o.allowHosts;
    config.tlsCert = o.tlsCert;
    config.tlsKey = o.tlsKey;
    config.tlsKeyPassFile = o.tlsKeyPassFile;
    config.instruments = std::move(instruments);
    if (!server.start(config, error))
        return false;
    result->notices.append(u"serving %1"_s.arg(server.url()));
    result->notices.append(u"token file: %1%2"_s.arg(result->tokenPath, token.created ? u" (new)"_s : QString()));
    if (!address->address.isLoopback() && o.tlsCert.isEmpty())
        result->notices.append(u"warning: %1 is not a loopback address and there is no --tls-cert: the token travels in clear"_s
                                   .arg(address->address.toString()));
    return true;
}

bool NetService::start(const ServeOptions& o, QString* error)
{
    stop();
    notices_.clear();
    Listening listening;
    if (!listen(server_, o, nullptr, &listening, error))
        return false;
    tokenPath_ = listening.tokenPath;
    token_ = listening.token;
    notices_ = listening.notices;
    bridge_ = std::make_unique<NetBridge>(session_, server_);
    return true;
}

void NetService::stop()
{
    bridge_.reset();
    server_.stop();
}


}  // namespace qv
