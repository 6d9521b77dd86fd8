#include "TlsSession.h"

#include <openssl/err.h>

namespace sqlsim::tds {

TlsSession::TlsSession(SslPtr ssl) : ssl_(std::move(ssl)) {
    incoming_ = BIO_new(BIO_s_mem());
    outgoing_ = BIO_new(BIO_s_mem());
    if (!incoming_ || !outgoing_) {
        BIO_free(incoming_);
        BIO_free(outgoing_);
        throw TlsError("TLS buffers: " + takeOpenSslError());
    }
    // An empty input buffer means "more to come", not the end of the stream.
    BIO_set_mem_eof_return(incoming_, -1);
    SSL_set_bio(ssl_.get(), incoming_, outgoing_);
    SSL_set_accept_state(ssl_.get());
}

void TlsSession::feed(const char* data, int length) {
    if (length > 0)
        BIO_write(incoming_, data, length);
}

TlsSession::Step TlsSession::handshake() {
    const int result = SSL_do_handshake(ssl_.get());
    if (result == 1)
        return Step::Done;
    const int error = SSL_get_error(ssl_.get(), result);
    if (error == SSL_ERROR_WANT_READ)
        return Step::NeedMore;
    ERR_clear_error();
    return Step::Failed;
}

QByteArray TlsSession::takeOutgoing() {
    QByteArray bytes;
    char chunk[16384];
    for (int n; (n = BIO_read(outgoing_, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, n);
    return bytes;
}

bool TlsSession::write(const char* data, int length) {
    while (length > 0) {
        const int n = SSL_write(ssl_.get(), data, length);
        if (n <= 0) {
            ERR_clear_error();
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

int TlsSession::read(char* buffer, int length) {
    const int n = SSL_read(ssl_.get(), buffer, length);
    if (n > 0)
        return n;
    const int error = SSL_get_error(ssl_.get(), n);
    if (error == SSL_ERROR_WANT_READ)
        return 0;
    ERR_clear_error();
    return -1;
}

QByteArray TlsSession::negotiatedProtocol() const {
    const unsigned char* data = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(ssl_.get(), &data, &length);
    return QByteArray(reinterpret_cast<const char*>(data), int(length));
}

} // namespace sqlsim::tds
