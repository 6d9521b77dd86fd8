#include "TdsPrelogin.h"

#include <iterator>

namespace {

constexpr int kHeaderSize = 8;
constexpr quint8 kEndOfMessage = 0x01;
constexpr quint8 kTerminator = 0xFF;
constexpr quint8 kEncryptionOption = 0x01;

void appendBigEndian16(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

int bigEndian16(const QByteArray& bytes, qsizetype at) {
    return (quint8(bytes[at]) << 8) | quint8(bytes[at + 1]);
}

} // namespace

QByteArray TdsPrelogin::request(Encryption encryption) {
    struct Option {
        quint8 token;
        QByteArray data;
    };
    const Option options[] = {
        {0x00, QByteArray("\x11\x00\x00\x00\x00\x00", 6)}, // VERSION: ours, not the server's
        {kEncryptionOption, QByteArray(1, char(encryption))},
        {0x02, QByteArray(1, '\0')}, // INSTOPT: any instance on this port
        {0x03, QByteArray(4, '\0')}, // THREADID
        {0x04, QByteArray(1, '\0')}, // MARS off
    };
    const int tableSize = int(std::size(options)) * 5 + 1;
    QByteArray table;
    QByteArray data;
    for (const Option& option : options) {
        table.append(char(option.token));
        appendBigEndian16(table, tableSize + int(data.size()));
        appendBigEndian16(table, int(option.data.size()));
        data += option.data;
    }
    table.append(char(kTerminator));
    return table + data;
}

std::optional<quint8> TdsPrelogin::encryptionOf(const QByteArray& payload) {
    std::optional<quint8> encryption;
    qsizetype at = 0;
    for (;;) {
        if (at >= payload.size())
            return std::nullopt; // no terminator
        if (quint8(payload[at]) == kTerminator)
            break;
        if (at + 5 > payload.size())
            return std::nullopt;
        const quint8 token = quint8(payload[at]);
        const int offset = bigEndian16(payload, at + 1);
        const int length = bigEndian16(payload, at + 3);
        if (offset + length > payload.size())
            return std::nullopt;
        if (token == kEncryptionOption) {
            if (length < 1 || encryption)
                return std::nullopt;
            encryption = quint8(payload[offset]);
        }
        at += 5;
    }
    return encryption;
}

QByteArray TdsPrelogin::frame(quint8 type, const QByteArray& payload) {
    constexpr int room = kPacketSize - kHeaderSize;
    QByteArray out;
    quint8 packetId = 1;
    qsizetype at = 0;
    do {
        const QByteArray chunk = payload.mid(at, room);
        at += chunk.size();
        out.append(char(type));
        out.append(char(at >= payload.size() ? kEndOfMessage : 0));
        appendBigEndian16(out, int(chunk.size()) + kHeaderSize);
        out.append(QByteArray("\0\0", 2)); // SPID
        out.append(char(packetId++));
        out.append('\0'); // window
        out += chunk;
    } while (at < payload.size());
    return out;
}

TdsPrelogin::Take TdsPrelogin::takeMessage(QByteArray& buffer, Message& message) {
    QByteArray payload;
    qsizetype at = 0;
    quint8 type = 0;
    for (;;) {
        if (buffer.size() - at < kHeaderSize)
            return Take::NeedMore;
        const quint8 packetType = quint8(buffer[at]);
        const quint8 status = quint8(buffer[at + 1]);
        const int length = bigEndian16(buffer, at + 2);
        if (length < kHeaderSize || (at > 0 && packetType != type))
            return Take::Malformed;
        type = packetType;
        if (payload.size() + length - kHeaderSize > kLongestMessage)
            return Take::Malformed;
        if (buffer.size() - at < length)
            return Take::NeedMore;
        payload += buffer.mid(at + kHeaderSize, length - kHeaderSize);
        at += length;
        if (status & kEndOfMessage)
            break;
    }
    message.type = type;
    message.payload = payload;
    buffer.remove(0, at);
    return Take::Complete;
}
