#pragma once
// The server's TLS certificate and private key, read with OpenSSL itself rather than QSslKey: QSslKey reads only
// RSA, DSA, EC and DH keys, while an Ed25519 key or a PKCS#8 file of any kind is as good a key for a server. The
// pair is checked before anything listens, so that a key that does not belong to its certificate stops the start
// instead of failing every handshake later.

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

#include <optional>

namespace qv::net {

struct TlsFiles {
    QString certificate;     // PEM: the server's certificate, then any intermediate ones
    QString key;             // PEM: its private key, encrypted or not
    QString passphraseFile;  // empty, or a file whose first line decrypts the key
};

// Empty when the files make a usable pair; otherwise what is wrong, naming the file(s). Needs no Qt TLS back end
// (the command line checks the files before any application object exists).
QString tlsFilesProblem(const TlsFiles& files);

// What a server socket needs: the pair, only TLS 1.2 and later, and only ciphers with forward secrecy.
std::optional<QSslConfiguration> serverTlsConfiguration(const TlsFiles& files, QString* error);

}  // namespace qv::net
