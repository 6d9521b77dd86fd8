#include "TlsContext.h"

#include "ServerCertificate.h"
#include "TlsSession.h"

#include <cstring>

namespace sqlsim::tds {

namespace {

// ALPN as TDS 8.0 has it: "tds/8.0" when the client offers it; a client offering only other
// protocols gets no_application_protocol (RFC 7301 3.2); a client offering none goes on without.
int selectTds8(SSL*, const unsigned char** selected, unsigned char* selectedLength, const unsigned char* offered,
               unsigned int offeredLength, void*) {
    static const unsigned char kTds8[] = "\x07tds/8.0";
    unsigned char* chosen = nullptr;
    if (SSL_select_next_proto(&chosen, selectedLength, kTds8, sizeof kTds8 - 1, offered, offeredLength) !=
        OPENSSL_NPN_NEGOTIATED)
        return SSL_TLSEXT_ERR_ALERT_FATAL;
    *selected = chosen;
    return SSL_TLSEXT_ERR_OK;
}

} // namespace

TlsContext::TlsContext(const ServerCertificate& certificate, TlsVersionRange versions)
    : context_(SSL_CTX_new(TLS_server_method())), versions_(versions) {
    if (!context_)
        throw TlsError("TLS context: " + takeOpenSslError());
    SSL_CTX* c = context_.get();
    if (versions.lowest < TLS1_2_VERSION) {
        // TLS 1.0 and 1.1 sign their handshake with SHA-1, which OpenSSL 3 refuses above
        // security level 0: an old server is played only with that level.
        SSL_CTX_set_security_level(c, 0);
        SSL_CTX_set_cipher_list(c, "DEFAULT:@SECLEVEL=0");
    }
    if (SSL_CTX_use_certificate(c, certificate.certificate()) != 1 ||
        SSL_CTX_use_PrivateKey(c, certificate.key()) != 1 || SSL_CTX_check_private_key(c) != 1)
        throw TlsError("TLS certificate: " + takeOpenSslError());
    if (SSL_CTX_set_min_proto_version(c, versions.lowest) != 1 ||
        SSL_CTX_set_max_proto_version(c, versions.highest) != 1)
        throw TlsError("TLS versions: " + takeOpenSslError());
    // Every connection makes a full handshake: no tickets, no session cache. A TLS 1.3 ticket
    // would also arrive after the handshake, which a tunnelled client does not expect.
    SSL_CTX_set_options(c, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_num_tickets(c, 0);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_alpn_select_cb(c, selectTds8, nullptr);
}

std::unique_ptr<TlsSession> TlsContext::newSession(Framing framing) const {
    SslPtr ssl(SSL_new(context_.get()));
    if (!ssl)
        throw TlsError("TLS session: " + takeOpenSslError());
    if (framing == Framing::Tunnelled) {
        const TlsVersionRange tunnel = versions_.forTunnel();
        SSL_set_min_proto_version(ssl.get(), tunnel.lowest);
        SSL_set_max_proto_version(ssl.get(), tunnel.highest);
    }
    return std::make_unique<TlsSession>(std::move(ssl));
}

} // namespace sqlsim::tds
