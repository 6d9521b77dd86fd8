#pragma once
// A TLS session on the bare socket: whole TLS records are read from the socket (never a byte
// beyond the record, so that a switch back to clear text loses nothing), decrypted, and handed
// out as a byte stream; what is written goes out as records.

#include <QByteArray>

#include <memory>

namespace sqlsim::tds {

class TlsSession;

class TlsStream {
public:
    // The largest TLS record: 2^14 bytes of plaintext plus the most expansion a cipher may add.
    static constexpr int kMaxRecordBody = 16384 + 2048;

    TlsStream(int fd, std::unique_ptr<TlsSession> session);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // The server's side of a handshake on the bare socket (TDS 8.0). False when it fails.
    bool acceptOnSocket();

    // Exactly `length` plaintext bytes; false when the client leaves or breaks the session.
    // Throws ProtocolError when the socket carries something that is not a TLS record.
    bool readFully(char* buffer, int length);
    bool write(const char* data, qsizetype length);
    // Plaintext already decrypted and not yet read: the socket may be silent while there is.
    bool hasBufferedPlaintext() const;

    TlsSession& session() { return *session_; }

private:
    bool readRecord();
    bool flushOutgoing();

    int fd_;
    std::unique_ptr<TlsSession> session_;
};

// The 5-byte TLS record header: content type, version, length. Throws ProtocolError when it
// cannot start a record (RFC 8446 5.1, RFC 5246 6.2.1); returns the body length.
int tlsRecordBodyLength(const unsigned char* header);

} // namespace sqlsim::tds
