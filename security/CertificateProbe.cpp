#include "CertificateProbe.h"

#include "OpenSslHandles.h"
#include "TdsPrelogin.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <mutex>

namespace {

// The socket with the probe's one deadline.
class Channel {
public:
    explicit Channel(int timeoutMs) : deadline_(timeoutMs) { socket_.setProxy(QNetworkProxy::NoProxy); }

    bool connectTo(const QString& host, quint16 port) {
        socket_.connectToHost(host, port);
        return socket_.waitForConnected(remaining());
    }

    bool write(const QByteArray& bytes) {
        if (socket_.write(bytes) != bytes.size())
            return false;
        while (socket_.bytesToWrite() > 0)
            if (!socket_.waitForBytesWritten(remaining()))
                return false;
        return true;
    }

    // Appends what arrives to inbox; false when the peer closed or the deadline passed.
    bool readMore() {
        if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(remaining()))
            return false;
        inbox += socket_.readAll();
        return true;
    }

    QString errorText() const { return deadline_.hasExpired() ? QStringLiteral("timed out") : socket_.errorString(); }
    void close() { socket_.abort(); }

    QByteArray inbox;

private:
    int remaining() const { return int(std::max<qint64>(deadline_.remainingTime(), 0)); }

    QTcpSocket socket_;
    QDeadlineTimer deadline_;
};

bool isVersionOrCipherReason(int reason) {
    switch (reason) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_WRONG_SSL_VERSION:
    case SSL_R_VERSION_TOO_LOW:
    case SSL_R_VERSION_TOO_HIGH:
    case SSL_R_NO_SHARED_CIPHER:
    case SSL_R_NO_CIPHERS_AVAILABLE:
    case SSL_R_WRONG_CIPHER_RETURNED:
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE: // what a server sends when nothing matches
    case SSL_R_TLSV1_ALERT_INSUFFICIENT_SECURITY:
    case SSL_R_LEGACY_SIGALG_DISALLOWED_OR_UNSUPPORTED:
        return true;
    default:
        return false;
    }
}

// The failure kind and text of the errors OpenSSL queued for the failed handshake.
ProbeFailure classifyTlsErrors(QString& detail) {
    ProbeFailure kind = ProbeFailure::BrokenHandshake;
    while (const unsigned long error = ERR_get_error()) {
        if (detail.isEmpty()) {
            char text[256] = {};
            ERR_error_string_n(error, text, sizeof text);
            detail = QString::fromLatin1(text);
        }
        if (ERR_GET_LIB(error) == ERR_LIB_SSL && isVersionOrCipherReason(ERR_GET_REASON(error)))
            kind = ProbeFailure::VersionOrCipher;
    }
    return kind;
}

// The system's trust as OpenSSL's defaults give it. Where the default directory holds the hashed
// links that `openssl rehash` makes (Debian's update-ca-certificates does), that directory alone
// is used: it is read lazily, one issuer's file when a chain needs it, instead of parsing the
// whole bundle file on every first connect. SSL_CERT_FILE, when set, is honoured as OpenSSL does.
bool loadSystemTrust(X509_STORE* store) {
    const QString directory = qEnvironmentVariableIsSet("SSL_CERT_DIR")
                                  ? qEnvironmentVariable("SSL_CERT_DIR")
                                  : QString::fromLocal8Bit(X509_get_default_cert_dir());
    const bool hashed =
        !qEnvironmentVariableIsSet("SSL_CERT_FILE") && !directory.contains(QLatin1Char(':')) &&
        !QDir(directory)
             .entryList({QStringLiteral("????????.0")}, QDir::Files | QDir::System, QDir::NoSort)
             .isEmpty();
    if (hashed)
        return X509_STORE_load_path(store, directory.toLocal8Bit().constData()) == 1;
    return X509_STORE_set_default_paths(store) == 1;
}

// The trust store a probe judges the certificate by. Reading the system's CA bundle (some 140
// certificates) costs more than the rest of a probe, so a store once read serves every later
// probe of the process; it is read again when its source changes (another CA file, the file
// rewritten, SSL_CERT_FILE or SSL_CERT_DIR set otherwise).
bool useTrustStore(SSL_CTX* ctx, const QString& caFile) {
    static std::mutex mutex;
    static OpenSsl::X509StorePtr cached;
    static QString cachedSource;
    QString source;
    if (caFile.isEmpty()) {
        source = QStringLiteral("system|") + qEnvironmentVariable("SSL_CERT_FILE") + QLatin1Char('|') +
                 qEnvironmentVariable("SSL_CERT_DIR");
    } else {
        // A CA file is small: its bytes tell whether it was rewritten, whatever its time stamp.
        QFile file(caFile);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        source = QStringLiteral("file|") + caFile + QLatin1Char('|') + QString::fromLatin1(file.readAll().toBase64());
    }
    std::lock_guard lock(mutex);
    if (!cached || source != cachedSource) {
        OpenSsl::X509StorePtr store(X509_STORE_new());
        if (!store)
            return false;
        const bool loaded = caFile.isEmpty() ? loadSystemTrust(store.get())
                                             : X509_STORE_load_file(store.get(), caFile.toLocal8Bit().constData()) == 1;
        if (!loaded)
            return false;
        cached = std::move(store);
        cachedSource = source;
    }
    SSL_CTX_set1_cert_store(ctx, cached.get()); // the context takes a reference of its own
    return true;
}

class TlsClient {
public:
    bool setUp(const ProbeRequest& request) {
        ctx_.reset(SSL_CTX_new(TLS_client_method()));
        if (!ctx_)
            return false;
        // The handshake must finish even for a certificate nobody vouches for: that is the one
        // the user is shown. The verdict is read afterwards.
        SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_NONE, nullptr);
        if (!useTrustStore(ctx_.get(), request.caFile))
            return false;
        // TLS 1.2 at least, as current drivers ask: an older server fails here with a clear
        // version mismatch rather than later on a legacy signature.
        const int lowest = request.minTlsVersion ? request.minTlsVersion : TLS1_2_VERSION;
        if (SSL_CTX_set_min_proto_version(ctx_.get(), lowest) != 1)
            return false;
        if (request.maxTlsVersion && SSL_CTX_set_max_proto_version(ctx_.get(), request.maxTlsVersion) != 1)
            return false;

        ssl_.reset(SSL_new(ctx_.get()));
        if (!ssl_)
            return false;
        BIO* fromServer = BIO_new(BIO_s_mem());
        BIO* toServer = BIO_new(BIO_s_mem());
        if (!fromServer || !toServer) {
            BIO_free(fromServer);
            BIO_free(toServer);
            return false;
        }
        SSL_set_bio(ssl_.get(), fromServer, toServer); // the SSL object owns both from here
        fromServer_ = fromServer;
        toServer_ = toServer;
        SSL_set_connect_state(ssl_.get());

        const QByteArray host = request.host.toUtf8();
        if (QHostAddress address; address.setAddress(request.host)) {
            if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_.get()), host.constData()) != 1)
                return false;
        } else {
            if (SSL_set1_host(ssl_.get(), host.constData()) != 1 ||
                SSL_set_tlsext_host_name(ssl_.get(), host.constData()) != 1)
                return false;
        }
        if (request.strict) {
            static const unsigned char alpn[] = {7, 't', 'd', 's', '/', '8', '.', '0'};
            if (SSL_set_alpn_protos(ssl_.get(), alpn, sizeof alpn) != 0) // 0 is success here
                return false;
        }
        return true;
    }

    int handshake() { return SSL_do_handshake(ssl_.get()); }
    int lastError(int rc) const { return SSL_get_error(ssl_.get(), rc); }

    QByteArray takeOutgoing() {
        QByteArray bytes;
        char chunk[4096];
        int n = 0;
        while ((n = BIO_read(toServer_, chunk, int(sizeof chunk))) > 0)
            bytes.append(chunk, n);
        return bytes;
    }

    void give(const QByteArray& bytes) { BIO_write(fromServer_, bytes.constData(), int(bytes.size())); }

    SSL* ssl() const { return ssl_.get(); }

private:
    OpenSsl::SslCtxPtr ctx_;
    OpenSsl::SslPtr ssl_;
    BIO* fromServer_ = nullptr; // owned by ssl_
    BIO* toServer_ = nullptr;   // owned by ssl_
};

ProbeResult fail(ProbeResult result, ProbeFailure kind, const QString& detail) {
    result.failure = kind;
    result.detail = detail;
    return result;
}

// Reads one whole TDS message of an expected type; false with the failure filled in when none
// arrives. Something else than TDS is known by its first byte, without waiting for the deadline.
bool readMessage(Channel& channel, std::initializer_list<quint8> types, TdsPrelogin::Message& message,
                 ProbeResult& result, ProbeFailure onSilence) {
    for (;;) {
        if (!channel.inbox.isEmpty() &&
            std::find(types.begin(), types.end(), quint8(channel.inbox[0])) == types.end()) {
            result = fail(result, ProbeFailure::NotTds, QStringLiteral("the server's answer is not TDS"));
            return false;
        }
        switch (TdsPrelogin::takeMessage(channel.inbox, message)) {
        case TdsPrelogin::Take::Complete:
            return true;
        case TdsPrelogin::Take::Malformed:
            result = fail(result, ProbeFailure::NotTds, QStringLiteral("the server's answer is not TDS"));
            return false;
        case TdsPrelogin::Take::NeedMore:
            if (!channel.readMore()) {
                result = fail(result, onSilence, channel.errorText());
                return false;
            }
        }
    }
}

void readCertificate(TlsClient& tls, ProbeResult& result) {
    OpenSsl::X509Ptr peer(SSL_get1_peer_certificate(tls.ssl()));
    if (!peer)
        return;
    unsigned char* encoded = nullptr;
    const int length = i2d_X509(peer.get(), &encoded);
    if (length <= 0)
        return;
    result.certificate = CertificateReader::fromDer(QByteArray(reinterpret_cast<const char*>(encoded), length));
    OPENSSL_free(encoded);
    const long verdict = SSL_get_verify_result(tls.ssl());
    result.trusted = verdict == X509_V_OK;
    if (!result.trusted)
        result.verifyError = QString::fromLatin1(X509_verify_cert_error_string(verdict));
    result.tlsVersion = QString::fromLatin1(SSL_get_version(tls.ssl()));
}

} // namespace

ProbeResult CertificateProbe::run(const ProbeRequest& request) {
    ProbeResult result;
    Channel channel(request.timeoutMs);
    if (!channel.connectTo(request.host, request.port))
        return fail(result, ProbeFailure::Network, channel.errorText());

    if (!request.strict) {
        if (!channel.write(
                TdsPrelogin::frame(TdsPrelogin::kPreloginPacket, TdsPrelogin::request(TdsPrelogin::EncryptOn))))
            return fail(result, ProbeFailure::Network, channel.errorText());
        TdsPrelogin::Message answer;
        if (!readMessage(channel, {TdsPrelogin::kReplyPacket}, answer, result, ProbeFailure::Network))
            return result;
        const auto encryption = TdsPrelogin::encryptionOf(answer.payload);
        if (!encryption)
            return fail(result, ProbeFailure::NotTds, QStringLiteral("the server's answer is not TDS"));
        result.serverEncryption = *encryption;
        if (*encryption == TdsPrelogin::EncryptNotSupported)
            return fail(result, ProbeFailure::NoTls, QStringLiteral("the server does not support encryption"));
    }

    ERR_clear_error();
    TlsClient tls;
    if (!tls.setUp(request)) {
        QString detail;
        classifyTlsErrors(detail);
        return fail(result, ProbeFailure::BrokenHandshake, detail);
    }
    for (;;) {
        const int rc = tls.handshake();
        const int error = rc == 1 ? SSL_ERROR_NONE : tls.lastError(rc);
        if (const QByteArray outgoing = tls.takeOutgoing(); !outgoing.isEmpty()) {
            const QByteArray wire =
                request.strict ? outgoing : TdsPrelogin::frame(TdsPrelogin::kPreloginPacket, outgoing);
            if (!channel.write(wire) && rc != 1)
                return fail(result, ProbeFailure::BrokenHandshake, channel.errorText());
        }
        if (rc == 1)
            break;
        if (error != SSL_ERROR_WANT_READ) {
            QString detail;
            const ProbeFailure kind = classifyTlsErrors(detail);
            return fail(result, kind, detail.isEmpty() ? QStringLiteral("TLS error %1").arg(error) : detail);
        }
        if (request.strict) {
            if (channel.inbox.isEmpty() && !channel.readMore())
                return fail(result, ProbeFailure::BrokenHandshake,
                            QStringLiteral("the server ended the handshake: %1").arg(channel.errorText()));
            tls.give(channel.inbox);
            channel.inbox.clear();
        } else {
            TdsPrelogin::Message message;
            // Handshake answers come as PRELOGIN packets; some servers still label them as replies.
            if (!readMessage(channel, {TdsPrelogin::kPreloginPacket, TdsPrelogin::kReplyPacket}, message, result,
                             ProbeFailure::BrokenHandshake))
                return result;
            tls.give(message.payload);
        }
    }

    readCertificate(tls, result);
    channel.close();
    if (!result.certificate)
        return fail(result, ProbeFailure::BrokenHandshake, QStringLiteral("the server sent no readable certificate"));
    return result;
}
