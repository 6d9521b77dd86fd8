#pragma once
// The few TDS pieces the certificate probe needs: the PRELOGIN request, the ENCRYPTION value of
// the server's PRELOGIN answer, and packet framing both ways. Everything that reads server bytes
// is bounded and total, since the server may be hostile.

#include <QByteArray>

#include <optional>

namespace TdsPrelogin {

constexpr quint8 kPreloginPacket = 0x12;
constexpr quint8 kReplyPacket = 0x04;
constexpr int kPacketSize = 4096;              // what clients ask for before LOGIN7 has fixed a size
constexpr qsizetype kLongestMessage = 1 << 18; // a certificate chain fits many times over

enum Encryption : quint8 { EncryptOff = 0x00, EncryptOn = 0x01, EncryptNotSupported = 0x02, EncryptRequired = 0x03 };

// A PRELOGIN payload with VERSION, ENCRYPTION, INSTOPT (empty), THREADID and MARS (off).
QByteArray request(Encryption encryption);

// The ENCRYPTION value of a PRELOGIN answer payload; empty when the option table is malformed or
// has no ENCRYPTION option.
std::optional<quint8> encryptionOf(const QByteArray& payload);

// payload framed as one message of the given packet type, split into packets of at most
// kPacketSize bytes, the last one marked end-of-message.
QByteArray frame(quint8 type, const QByteArray& payload);

struct Message {
    quint8 type = 0;
    QByteArray payload;
};

enum class Take { Complete, NeedMore, Malformed };

// Takes one whole message (all its packets up to end-of-message) from the front of buffer.
// Complete removes it from buffer into message; NeedMore leaves buffer as it is; Malformed means
// a bad header, packets of mixed types or a message over kLongestMessage.
Take takeMessage(QByteArray& buffer, Message& message);

} // namespace TdsPrelogin
