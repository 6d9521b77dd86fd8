#include "TlsStream.h"

#include "SocketIo.h"
#include "TlsSession.h"
#include "WireBuffer.h"

namespace sqlsim::tds {

int tlsRecordBodyLength(const unsigned char* header) {
    const quint8 contentType = header[0];
    // change_cipher_spec, alert, handshake, application_data, heartbeat
    if (contentType < 20 || contentType > 24)
        throw ProtocolError("not a TLS record");
    if (header[1] != 3)
        throw ProtocolError("not a TLS record version");
    const int length = (header[3] << 8) | header[4];
    if (length == 0 || length > TlsStream::kMaxRecordBody)
        throw ProtocolError("TLS record length out of range");
    return length;
}

TlsStream::TlsStream(int fd, std::unique_ptr<TlsSession> session) : fd_(fd), session_(std::move(session)) {}

TlsStream::~TlsStream() = default;

bool TlsStream::readRecord() {
    unsigned char header[5];
    if (!receiveAll(fd_, reinterpret_cast<char*>(header), sizeof header))
        return false;
    const int length = tlsRecordBodyLength(header);
    QByteArray record(reinterpret_cast<const char*>(header), sizeof header);
    record.resize(sizeof header + length);
    if (!receiveAll(fd_, record.data() + sizeof header, length))
        return false;
    session_->feed(record);
    return true;
}

bool TlsStream::flushOutgoing() {
    const QByteArray out = session_->takeOutgoing();
    return sendAll(fd_, out.constData(), out.size());
}

bool TlsStream::acceptOnSocket() {
    for (;;) {
        const TlsSession::Step step = session_->handshake();
        // Also on failure: the alert tells the client why.
        const bool sent = flushOutgoing();
        if (step == TlsSession::Step::Done)
            return sent;
        if (step == TlsSession::Step::Failed || !sent || !readRecord())
            return false;
    }
}

bool TlsStream::readFully(char* buffer, int length) {
    int done = 0;
    while (done < length) {
        const int n = session_->read(buffer + done, length - done);
        if (n < 0) {
            flushOutgoing(); // a close_notify or an alert in answer
            return false;
        }
        if (n > 0) {
            done += n;
            continue;
        }
        if (!readRecord())
            return false;
    }
    return true;
}

bool TlsStream::write(const char* data, qsizetype length) {
    return session_->write(data, int(length)) && flushOutgoing();
}

bool TlsStream::hasBufferedPlaintext() const {
    return session_->hasPlaintext();
}

} // namespace sqlsim::tds
