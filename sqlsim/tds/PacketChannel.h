#pragma once
// TDS packets over one connected socket: reading whole messages (packets up to the one with
// the end-of-message bit) with hard size limits, and writing a message split into packets of
// the negotiated size.

#include <QByteArray>

namespace sqlsim::tds {

class TlsStream;

namespace packetType {
constexpr quint8 SqlBatch = 0x01;
constexpr quint8 Rpc = 0x03;
constexpr quint8 TabularResult = 0x04;
constexpr quint8 Attention = 0x06;
constexpr quint8 TransactionManager = 0x0E;
constexpr quint8 Login7 = 0x10;
constexpr quint8 PreLogin = 0x12;
} // namespace packetType

struct TdsMessage {
    quint8 type = 0;
    QByteArray payload;
};

class PacketChannel {
public:
    // The largest request we accept: bounds memory whatever a client declares.
    static constexpr int kMaxMessageBytes = 64 * 1024 * 1024;
    static constexpr int kMaxPacketSize = 32767;

    explicit PacketChannel(int fd) : fd_(fd) {}

    // False on an orderly close or a cut connection; throws ProtocolError on a malformed header.
    bool readMessage(TdsMessage& message);
    // Waits up to timeoutMs for readable data (or a close); true when something is there. A
    // readable wakeFd (when not -1) ends the wait early, returning false unless data came too.
    bool waitReadable(int timeoutMs, int wakeFd = -1) const;
    // False when the peer is gone. With endOfMessage false the payload goes out now in packets
    // without the EOM bit and the next call continues the same message (packet numbers go on).
    bool sendMessage(quint8 type, const QByteArray& payload, bool endOfMessage = true);

    // From now on packets travel inside `tls` (not owned), or, with onePacket, only the next
    // packet read does: the LOGIN7 packet of a login-only encryption. nullptr: in clear.
    void useTls(TlsStream* tls, bool onePacket = false) {
        tls_ = tls;
        tlsForOnePacket_ = onePacket;
    }

    void setPacketSize(int size) { packetSize_ = size; }
    void setSpid(quint16 spid) { spid_ = spid; }

private:
    bool readFully(char* buffer, int length);

    int fd_;
    TlsStream* tls_ = nullptr;
    bool tlsForOnePacket_ = false;
    int packetSize_ = 4096;
    quint16 spid_ = 0;
    quint8 nextPacketId_ = 1; // of the message being sent
};

} // namespace sqlsim::tds
