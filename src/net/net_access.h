#pragma once
// Who may do what over the network: the served address, the token (its file, its comparison), the Host header
// rule against DNS rebinding, and the per-client limit on requests that drive the instrument.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

namespace qv::net {

struct ServeAddress {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;  // 0: any free port (the program prints the one it got)
    QString toString() const;  // "127.0.0.1:8080", "[::1]:8080"
};
// "[ADDRESS:]PORT", with IPv6 addresses in brackets; the address defaults to 127.0.0.1.
std::optional<ServeAddress> parseServeAddress(const QString& text);

struct TokenFile {
    QByteArray token;  // empty when it could not be read or made
    bool created = false;
    QString error;
};
// Reads the token from the file, or makes the file (mode 0600) with 128 random bits in hexadecimal when it
// does not exist yet.
TokenFile loadOrCreateToken(const QString& path);
// Where the token lives without --token-file: the user's configuration folder.
QString defaultTokenPath();

// "Bearer TOKEN" against the token, in time that does not depend on where they differ.
bool bearerMatches(const QByteArray& authorization, const QByteArray& token);

// The Host header must name the served address (or, on a loopback address, localhost) or one of the names the
// user allowed: a page on another site whose name was made to resolve to this machine is refused.
class HostCheck {
public:
    HostCheck() = default;
    HostCheck(const ServeAddress& served, const QStringList& extraNames);
    bool allowed(const QByteArray& host) const;

private:
    QStringList names_;  // lower case, without the port
    quint16 port_ = 0;
};

// A token bucket per client address for the requests that drive the instrument.
class RateLimiter {
public:
    RateLimiter(double perSecond = 10, double burst = 20) : rate_(perSecond), burst_(burst) {}
    bool allow(const QByteArray& client, qint64 nowMs);

private:
    struct Bucket {
        double tokens = 0;
        qint64 lastMs = 0;
    };
    QHash<QByteArray, Bucket> buckets_;
    double rate_, burst_;
};

struct AccessPolicy {
    QByteArray token;
    bool openReading = true;  // reading without the token: on a loopback address, or with --public-read
    HostCheck hosts;
};

}  // namespace qv::net
