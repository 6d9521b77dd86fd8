#pragma once
// Reads a server's TLS certificate before any password is sent: a PRELOGIN exchange that offers
// encryption and a TLS handshake tunnelled in PRELOGIN packets (TDS 7.x), or TLS first with ALPN
// "tds/8.0" (TDS 8.0, strict). The connection is closed after the handshake; no LOGIN7 is ever
// sent. Blocking, with one deadline for the whole exchange.

#include "CertificateInfo.h"

#include <QString>

#include <optional>

struct ProbeRequest {
    QString host;
    quint16 port = 1433;
    bool strict = false;  // TDS 8.0: TLS before PRELOGIN
    QString caFile;       // PEM file of trusted CAs; empty: the system trust store
    int timeoutMs = 5000; // the whole exchange
    // Lowest and highest TLS versions offered (TLS1_2_VERSION...); 0: from TLS 1.2 to the
    // library's highest.
    int minTlsVersion = 0;
    int maxTlsVersion = 0;
};

enum class ProbeFailure {
    None,
    Network,         // no connection, a time-out, or the server hung up before TLS began
    NoTls,           // the server answered that it does not support encryption
    VersionOrCipher, // no TLS version or cipher suite in common
    BrokenHandshake, // the handshake failed otherwise (bad records, the server hung up, ...)
    NotTds,          // the server's answer to PRELOGIN was not TDS
};

struct ProbeResult {
    ProbeFailure failure = ProbeFailure::None;
    QString detail;                         // socket or TLS library text for the user
    std::optional<quint8> serverEncryption; // the PRELOGIN ENCRYPTION answer (not in strict)
    std::optional<CertificateInfo> certificate;
    // The chain verifies against the trust store and the certificate names the host.
    bool trusted = false;
    QString verifyError; // why not trusted, in the library's words
    QString tlsVersion;  // "TLSv1.3"

    bool ok() const { return failure == ProbeFailure::None; }
};

namespace CertificateProbe {

ProbeResult run(const ProbeRequest& request);

} // namespace CertificateProbe
