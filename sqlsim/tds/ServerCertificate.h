#pragma once
// The certificate and key the server presents. Like SQL Server without a configured
// certificate, a fresh self-signed one by default; or one kept in the state directory across
// restarts; or one given as PEM files.

#include "OpenSslHandles.h"

#include <QByteArray>
#include <QString>

namespace sqlsim::tds {

class ServerCertificate {
public:
    // RSA 2048, SHA-256, CN = hostName, subject alternative names hostName, localhost and
    // 127.0.0.1, valid from an hour ago for a year.
    static ServerCertificate selfSigned(const QString& hostName);
    // Throws TlsError when a file is unreadable, not PEM, or the key does not match.
    static ServerCertificate fromPemFiles(const QString& certificatePath, const QString& keyPath);
    // The pair in `dir` when it is there and loads; otherwise a new self-signed one written there
    // (the key readable by its owner only).
    static ServerCertificate keptIn(const QString& dir, const QString& hostName);

    static QString certificateFileName() { return QStringLiteral("tls-certificate.pem"); }
    static QString keyFileName() { return QStringLiteral("tls-key.pem"); }

    void writePemFiles(const QString& certificatePath, const QString& keyPath) const;

    X509* certificate() const { return certificate_.get(); }
    EVP_PKEY* key() const { return key_.get(); }
    QByteArray certificatePem() const;
    // SHA-256 of the DER form, colon-separated hex: what `openssl x509 -fingerprint -sha256` shows.
    QString fingerprint() const;

private:
    ServerCertificate(X509Ptr certificate, EvpPkeyPtr key);

    X509Ptr certificate_;
    EvpPkeyPtr key_;
};

} // namespace sqlsim::tds
