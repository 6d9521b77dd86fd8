#pragma once
// The server's TLS configuration, shared by every connection: its certificate, the versions it
// accepts, no session resumption. Hands out one TlsSession per handshake.

#include "OpenSslHandles.h"
#include "TlsVersions.h"

#include <memory>

namespace sqlsim::tds {

class ServerCertificate;
class TlsSession;

class TlsContext {
public:
    // Throws TlsError when OpenSSL refuses the certificate or the versions.
    TlsContext(const ServerCertificate& certificate, TlsVersionRange versions);

    enum class Framing {
        Tunnelled, // TDS 7.x: handshake inside PRELOGIN packets, capped as TlsVersionRange::forTunnel says
        Direct,    // TDS 8.0: handshake on the bare socket, ALPN "tds/8.0"
    };
    std::unique_ptr<TlsSession> newSession(Framing framing) const;

    TlsVersionRange versions() const { return versions_; }

private:
    SslCtxPtr context_;
    TlsVersionRange versions_;
};

} // namespace sqlsim::tds
