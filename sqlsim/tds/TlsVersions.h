#pragma once
// The TLS protocol versions the server accepts, as --tls-versions gives them: "1.2" or "1.0-1.2".

#include <QString>

#include <optional>

namespace sqlsim::tds {

struct TlsVersionRange {
    // OpenSSL's protocol numbers (TLS1_VERSION .. TLS1_3_VERSION).
    int lowest = 0;
    int highest = 0;

    // The range the tunnelled handshake may use. FreeTDS swaps its transport from PRELOGIN
    // packets to the raw socket as soon as its handshake call returns; TLS 1.3 messages after the
    // handshake (session tickets, key updates) would then arrive where it does not expect them,
    // and SQL Server itself speaks TLS 1.3 only under TDS 8.0. So the tunnel stops at TLS 1.2
    // unless only newer versions were allowed at all.
    TlsVersionRange forTunnel() const;

    bool operator==(const TlsVersionRange&) const = default;
};

// Whole range 1.2-1.3: what a current Windows server accepts.
TlsVersionRange defaultTlsVersions();

// Nothing when the text is not a version or a rising range of 1.0, 1.1, 1.2, 1.3.
std::optional<TlsVersionRange> parseTlsVersions(const QString& text);

QString tlsVersionName(int version);

} // namespace sqlsim::tds
