#pragma once
// What the program shows of a server's certificate and what it pins: read from DER or PEM bytes
// that a server sent, so every field is checked before it is trusted.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

struct CertificateInfo {
    QString subject; // RFC 2253 form, UTF-8 fields decoded
    QString issuer;
    QDateTime notBefore; // UTC
    QDateTime notAfter;  // UTC
    QByteArray sha256;   // 32 bytes over the DER encoding
    QByteArray der;

    // "AB:CD:..." upper-case hex, the form certificate tools print.
    QString fingerprintText() const;
    // One "-----BEGIN CERTIFICATE-----" block.
    QByteArray pem() const;
    bool isValidAt(const QDateTime& when) const { return when >= notBefore && when <= notAfter; }
};

namespace CertificateReader {

// Empty on anything that is not exactly one well-formed X.509 certificate (trailing bytes included).
std::optional<CertificateInfo> fromDer(const QByteArray& der);
// The first certificate of a PEM text; empty when there is none or it does not parse.
std::optional<CertificateInfo> fromPem(const QByteArray& pem);

// Fingerprint text of raw SHA-256 bytes, for stored fingerprints.
QString fingerprintText(const QByteArray& sha256);

} // namespace CertificateReader
