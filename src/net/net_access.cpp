#include "net/net_access.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace qv::net {

using namespace Qt::StringLiterals;

QString ServeAddress::toString() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                               : address.toString();
    return host + u':' + QString::number(port);
}

std::optional<ServeAddress> parseServeAddress(const QString& text)
{
    ServeAddress a;
    QString portText = text;
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon >= 0) {
        QString host = text.first(colon);
        portText = text.sliced(colon + 1);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.sliced(1, host.size() - 2);
        else if (host.contains(u':'))
            return std::nullopt;  // an IPv6 address needs its brackets, or the port is ambiguous
        if (host == u"localhost")
            host = u"127.0.0.1"_s;
        if (!a.address.setAddress(host))
            return std::nullopt;
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    a.port = quint16(port);
    return a;
}

QString defaultTokenPath()
{
    // Beside the settings file, ~/.config/qv7700-remote/ (not the organisation-and-program folder Qt would pick).
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/qv7700-remote/web-token"_s;
}

TokenFile loadOrCreateToken(const QString& path)
{
    TokenFile t;
    QFile file(path);
    if (file.exists()) {
        // Anyone who can read the token can drive the instrument; one who can write it can choose it.
        const QFileDevice::Permissions shared = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (const auto mode = file.permissions(); mode & shared) {
            t.error = u"the token file %1 is %2 by other users; make it private (chmod 600 %1)"_s.arg(
                path, mode & (QFileDevice::ReadGroup | QFileDevice::ReadOther) ? u"readable"_s : u"writable"_s);
            return t;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            t.error = u"cannot read the token file %1"_s.arg(path);
            return t;
        }
        t.token = file.read(4096).trimmed();
        if (t.token.size() < 16)
            t.error = u"the token in %1 is shorter than 16 characters"_s.arg(path);
        return t;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
    // Made with the owner's permissions only from the start: there is no moment when others could read it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(token + '\n') != token.size() + 1 || !file.flush()) {
        t.error = u"cannot create the token file %1"_s.arg(path);
        return t;
    }
    t.token = token;
    t.created = true;
    return t;
}

bool bearerMatches(const QByteArray& authorization, const QByteArray& token)
{
    // The scheme's name is case-insensitive (RFC 9110); the token itself is not.
    if (token.isEmpty() || authorization.size() < 7 || authorization.first(7).toLower() != "bearer ")
        return false;
    // Comparing digests makes the time independent of the length and of the first differing character.
    const QByteArray a = QCryptographicHash::hash(authorization.sliced(7).trimmed(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
    unsigned diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= unsigned(uchar(a[i]) ^ uchar(b[i]));
    return diff == 0;
}

HostCheck::HostCheck(const ServeAddress& served, const QStringList& extraNames) : port_(served.port)
{
    const auto addAddress = [this](const QHostAddress& a) {
        names_.append(a.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + a.toString() + u']' : a.toString());
    };
    if (served.address == QHostAddress::AnyIPv4 || served.address == QHostAddress::AnyIPv6 ||
        served.address == QHostAddress::Any) {
        for (const QHostAddress& a : QNetworkInterface::allAddresses())
            addAddress(a);
    } else {
        addAddress(served.address);
    }
    if (served.address.isLoopback())
        names_.append(u"localhost"_s);
    for (const QString& name : extraNames)
        names_.append(name.toLower());
}

bool HostCheck::allowed(const QByteArray& host) const
{
    QString name = QString::fromLatin1(host).toLower();
    const qsizetype colon = name.lastIndexOf(u':');
    if (colon >= 0 && !name.endsWith(u']')) {
        bool ok = false;
        if (name.sliced(colon + 1).toUInt(&ok) != port_ || !ok)
            return false;
        name.truncate(colon);
    }
    return !name.isEmpty() && names_.contains(name);
}

bool RateLimiter::allow(const QByteArray& client, qint64 nowMs)
{
    if (buckets_.size() > 4096)
        buckets_.clear();  // a flood from many addresses must not grow the table without end
    auto it = buckets_.find(client);
    if (it == buckets_.end())
        it = buckets_.insert(client, Bucket{burst_, nowMs});
    Bucket& b = *it;
    b.tokens = std::min(burst_, b.tokens + double(nowMs - b.lastMs) * rate_ / 1000.0);
    b.lastMs = nowMs;
    if (b.tokens < 1)
        return false;
    b.tokens -= 1;
    return true;
}

}  // namespace qv::net
