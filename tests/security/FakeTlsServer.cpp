#include "FakeTlsServer.h"

#include "TdsPrelogin.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <memory>

namespace {

struct SslFree {
    void operator()(SSL* s) const { SSL_free(s); }
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};

QByteArray preloginAnswer(quint8 encryption) {
    // VERSION 16.0, ENCRYPTION, terminator.
    const char table[] = {0x00, 0x00,       0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                          0x01, char(0xFF), 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    QByteArray payload(table, sizeof table);
    payload.append(char(encryption));
    return TdsPrelogin::frame(TdsPrelogin::kReplyPacket, payload);
}

int selectTds8(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
               unsigned int inLength, void* arg) {
    auto* offered = static_cast<QByteArray*>(arg);
    *offered = QByteArray(reinterpret_cast<const char*>(in), int(inLength));
    static const unsigned char tds8[] = {7, 't', 'd', 's', '/', '8', '.', '0'};
    unsigned char* chosen = nullptr;
    if (SSL_select_next_proto(&chosen, outLength, tds8, sizeof tds8, in, inLength) != OPENSSL_NPN_NEGOTIATED)
        return SSL_TLSEXT_ERR_ALERT_FATAL;
    *out = chosen;
    return SSL_TLSEXT_ERR_OK;
}

} // namespace

FakeTlsServer::FakeTlsServer(FakeServerSetup setup) : setup_(std::move(setup)) {
    start();
    listening_.acquire();
}

FakeTlsServer::~FakeTlsServer() {
    stop_ = true;
    wait();
}

QByteArray FakeTlsServer::received() const {
    QMutexLocker lock(&mutex_);
    return received_;
}

QByteArray FakeTlsServer::offeredAlpn() const {
    QMutexLocker lock(&mutex_);
    return offeredAlpn_;
}

QByteArray FakeTlsServer::wire() const {
    QMutexLocker lock(&mutex_);
    return wire_;
}

void FakeTlsServer::run() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    port_ = server.serverPort();
    listening_.release();
    while (!stop_) {
        if (!server.waitForNewConnection(50))
            continue;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        ++connections_;
        serve(*socket);
    }
}

void FakeTlsServer::serve(QTcpSocket& socket) {
    QByteArray inbox;
    QDeadlineTimer deadline(5000);
    const auto readMore = [&] {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))))
            return false;
        const QByteArray bytes = socket.readAll();
        QMutexLocker lock(&mutex_);
        wire_ += bytes;
        inbox += bytes;
        return true;
    };
    const auto readMessage = [&](TdsPrelogin::Message& message) {
        for (;;) {
            const auto take = TdsPrelogin::takeMessage(inbox, message);
            if (take == TdsPrelogin::Take::Complete)
                return true;
            if (take == TdsPrelogin::Take::Malformed || !readMore())
                return false;
        }
    };
    const auto send = [&](const QByteArray& bytes) {
        socket.write(bytes);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(1000)) {
        }
    };

    const bool strict = setup_.mode == FakeServerSetup::Mode::Strict;
    if (!strict) {
        TdsPrelogin::Message prelogin;
        if (!readMessage(prelogin))
            return;
        if (setup_.mode == FakeServerSetup::Mode::Garbage) {
            send("HTTP/1.0 400 Bad Request\r\n\r\n");
            return;
        }
        send(preloginAnswer(setup_.preloginEncryption));
        if (setup_.preloginEncryption == TdsPrelogin::EncryptNotSupported) {
            readMore(); // the client hangs up
            return;
        }
    }

    std::unique_ptr<SSL_CTX, SslFree> context(SSL_CTX_new(TLS_server_method()));
    const auto* der = reinterpret_cast<const unsigned char*>(setup_.certificateDer.constData());
    SSL_CTX_use_certificate_ASN1(context.get(), int(setup_.certificateDer.size()), der);
    SSL_CTX_use_PrivateKey(context.get(), static_cast<EVP_PKEY*>(setup_.key->evpKey()));
    if (setup_.minTlsVersion)
        SSL_CTX_set_min_proto_version(context.get(), setup_.minTlsVersion);
    if (setup_.maxTlsVersion)
        SSL_CTX_set_max_proto_version(context.get(), setup_.maxTlsVersion);
    QByteArray offered;
    if (strict)
        SSL_CTX_set_alpn_select_cb(context.get(), selectTds8, &offered);
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(context.get()));
    BIO* fromClient = BIO_new(BIO_s_mem());
    BIO* toClient = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl.get(), fromClient, toClient);
    SSL_set_accept_state(ssl.get());

    const auto flush = [&](bool tunnelled) {
        QByteArray bytes;
        char chunk[4096];
        int n = 0;
        while ((n = BIO_read(toClient, chunk, int(sizeof chunk))) > 0)
            bytes.append(chunk, n);
        if (!bytes.isEmpty())
            send(tunnelled ? TdsPrelogin::frame(TdsPrelogin::kPreloginPacket, bytes) : bytes);
    };

    for (;;) {
        if (strict) {
            if (inbox.isEmpty() && !readMore())
                return;
            BIO_write(fromClient, inbox.constData(), int(inbox.size()));
            inbox.clear();
        } else {
            TdsPrelogin::Message message;
            if (!readMessage(message))
                return;
            BIO_write(fromClient, message.payload.constData(), int(message.payload.size()));
        }
        if (setup_.mode == FakeServerSetup::Mode::HangUpInHandshake)
            return;
        const int rc = SSL_do_handshake(ssl.get());
        flush(!strict);
        if (rc == 1)
            break;
        if (SSL_get_error(ssl.get(), rc) != SSL_ERROR_WANT_READ) {
            ERR_clear_error();
            return;
        }
    }
    {
        QMutexLocker lock(&mutex_);
        offeredAlpn_ = offered;
    }
    ++handshakes_;
    // After the handshake TLS records travel bare; keep whatever the client says in them.
    // Records may have come in the same read as the last handshake message.
    do {
        BIO_write(fromClient, inbox.constData(), int(inbox.size()));
        inbox.clear();
        char plain[4096];
        int n = 0;
        while ((n = SSL_read(ssl.get(), plain, int(sizeof plain))) > 0) {
            QMutexLocker lock(&mutex_);
            received_.append(plain, n);
        }
        flush(false);
    } while (readMore());
    ERR_clear_error();
}
