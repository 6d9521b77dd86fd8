#pragma once
// One server-side TLS session driven through memory buffers: ciphertext goes in with feed() and
// comes out with takeOutgoing(), so that the caller decides how it travels (inside PRELOGIN
// packets during a TDS 7.x handshake, on the bare socket afterwards).

#include "OpenSslHandles.h"

#include <QByteArray>

namespace sqlsim::tds {

class TlsSession {
public:
    explicit TlsSession(SslPtr ssl);
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    enum class Step { Done, NeedMore, Failed };

    void feed(const char* data, int length);
    void feed(const QByteArray& bytes) { feed(bytes.constData(), int(bytes.size())); }
    Step handshake();
    // Ciphertext waiting to go to the client (handshake messages, records, alerts).
    QByteArray takeOutgoing();

    // Encrypts into the outgoing buffer. False when the session is broken.
    bool write(const char* data, int length);
    // Plaintext bytes read into `buffer`; 0 when more ciphertext is needed; -1 when the client
    // closed the session or sent something that is not a valid record.
    int read(char* buffer, int length);
    bool hasPlaintext() const { return SSL_pending(ssl_.get()) > 0; }

    int version() const { return SSL_version(ssl_.get()); }
    QByteArray negotiatedProtocol() const;

private:
    SslPtr ssl_;
    BIO* incoming_; // owned by ssl_
    BIO* outgoing_; // owned by ssl_
};

} // namespace sqlsim::tds
