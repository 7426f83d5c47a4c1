#include "net/tls_identity.h"

#include <QFile>
#include <QSslCipher>
#include <QSslSocket>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
template <auto Free>
struct Freer {
    template <class T>
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509_free>>;
using PrivateKey = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;

bool readFile(const QString& path, QByteArray& out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    out = f.read(1 << 20);  // PEM files are a few kilobytes; a device or a huge file is not one
    return true;
}

Bio memoryBio(const QByteArray& bytes) { return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size()))); }

// OpenSSL's own default would ask on the terminal; a server started by a service manager has none, so an absent
// passphrase simply fails.
int givePassphrase(char* buf, int size, int, void* user)
{
    const auto* pass = static_cast<const QByteArray*>(user);
    if (!pass || pass->size() > size)
        return -1;
    std::memcpy(buf, pass->constData(), size_t(pass->size()));
    return int(pass->size());
}

struct Pair {
    QByteArray certificatePem;
    Certificate certificate;
    PrivateKey key;
};

std::optional<Pair> loadPair(const TlsFiles& f, QString* error)
{
    Pair p;
    QByteArray keyPem;
    if (!readFile(f.certificate, p.certificatePem)) {
        *error = u"cannot read the TLS certificate %1"_s.arg(f.certificate);
        return std::nullopt;
    }
    if (!readFile(f.key, keyPem)) {
        *error = u"cannot read the TLS key %1"_s.arg(f.key);
        return std::nullopt;
    }
    std::optional<QByteArray> pass;
    if (!f.passphraseFile.isEmpty()) {
        QByteArray text;
        if (!readFile(f.passphraseFile, text)) {
            *error = u"cannot read the passphrase file %1"_s.arg(f.passphraseFile);
            return std::nullopt;
        }
        const qsizetype eol = text.indexOf('\n');
        pass = eol < 0 ? text : text.first(eol);
        if (pass->endsWith('\r'))
            pass->chop(1);
    }
    p.certificate.reset(PEM_read_bio_X509(memoryBio(p.certificatePem).get(), nullptr, givePassphrase, nullptr));
    p.key.reset(PEM_read_bio_PrivateKey(memoryBio(keyPem).get(), nullptr, givePassphrase, pass ? &*pass : nullptr));
    const bool paired = p.certificate && p.key && X509_check_private_key(p.certificate.get(), p.key.get()) == 1;
    ERR_clear_error();  // what failed is said below; Qt's own TLS code must not find these errors later
    if (!p.certificate)
        *error = u"%1 holds no PEM certificate"_s.arg(f.certificate);
    else if (!p.key && keyPem.contains("ENCRYPTED"))
        *error = pass ? u"the passphrase in %1 does not decrypt the TLS key %2"_s.arg(f.passphraseFile, f.key)
                      : u"the TLS key %1 is encrypted: give its passphrase with --tls-key-pass-file"_s.arg(f.key);
    else if (!p.key)
        *error = u"%1 holds no PEM private key"_s.arg(f.key);
    else if (!paired)
        *error = u"the TLS key %1 does not belong to the certificate %2"_s.arg(f.key, f.certificate);
    if (!paired)
        return std::nullopt;
    return p;
}

// Key exchange by ephemeral (EC)DH: a key stolen later does not open recorded sessions. TLS 1.3's suites name no
// key exchange because all of theirs are ephemeral.
bool forwardSecret(const QSslCipher& cipher)
{
    if (cipher.protocol() == QSsl::TlsV1_3)
        return true;
    const QString exchange = cipher.keyExchangeMethod(), authentication = cipher.authenticationMethod();
    return (exchange == u"ECDH" || exchange == u"DH") && authentication != u"None" &&
           !cipher.name().contains(u"PSK"_s);
}
}  // namespace

QString tlsFilesProblem(const TlsFiles& files)
{
    QString error;
    return loadPair(files, &error) ? QString() : error;
}

std::optional<QSslConfiguration> serverTlsConfiguration(const TlsFiles& files, QString* error)
{
    std::optional<Pair> pair = loadPair(files, error);
    if (!pair)
        return std::nullopt;
    if (!QSslSocket::supportsSsl()) {
        *error = u"TLS is not available: Qt finds no OpenSSL"_s;
        return std::nullopt;
    }
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setLocalCertificateChain(QSslCertificate::fromData(pair->certificatePem, QSsl::Pem));
    c.setPrivateKey(QSslKey(Qt::HANDLE(pair->key.release()), QSsl::PrivateKey));  // the QSslKey owns it now
    c.setProtocol(QSsl::TlsV1_2OrLater);
    QList<QSslCipher> kept;
    for (const QSslCipher& cipher : c.ciphers())
        if (forwardSecret(cipher))
            kept.append(cipher);
    if (kept.isEmpty()) {
        *error = u"this OpenSSL offers no cipher with forward secrecy"_s;
        return std::nullopt;
    }
    c.setCiphers(kept);
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    return c;
}

}  // namespace qv::net
