#include "RawTdsClient.h"

#include <QtEndian>

namespace {

constexpr quint8 kDoneToken = 0xFD;
constexpr int kDoneLength74 = 13; // token, status, command, 64-bit row count

void appendU16(QByteArray& b, quint16 v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void appendU32(QByteArray& b, quint32 v) {
    appendU16(b, quint16(v & 0xFFFF));
    appendU16(b, quint16(v >> 16));
}

QByteArray utf16(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray scrambled(const QString& password) {
    QByteArray bytes = utf16(password);
    for (auto& c : bytes) {
        const quint8 b = quint8(c);
        c = char(quint8((b << 4) | (b >> 4)) ^ 0xA5);
    }
    return bytes;
}

QByteArray login7(const QString& user, const QString& password) {
    constexpr int fixed = 94;
    const QList<QByteArray> strings = {utf16(QStringLiteral("rawclient")), utf16(user), scrambled(password),
                                       utf16(QStringLiteral("wire-test")), utf16(QStringLiteral("127.0.0.1"))};
    QByteArray record;
    appendU32(record, 0); // length, patched below
    appendU32(record, 0x74000004);
    appendU32(record, 4096);
    appendU32(record, 0);
    appendU32(record, 0);
    appendU32(record, 0);
    record.append(char(0xE0)); // option flags 1: the usual client defaults
    record.append(char(0x03)); // option flags 2: ODBC on, language fatal
    record.append(char(0x00));
    record.append(char(0x00));
    appendU32(record, 0);
    appendU32(record, 0x0409);
    QByteArray data;
    // Host, user, password, application, server, then unused, interface, language, database.
    for (int i = 0; i < 9; ++i) {
        const QByteArray s = i < strings.size() ? strings[i] : QByteArray();
        appendU16(record, quint16(fixed + data.size()));
        appendU16(record, quint16(s.size() / 2));
        data += s;
    }
    record.append(QByteArray(6, '\0')); // client id
    for (int i = 0; i < 3; ++i) {       // SSPI, attach file, change password
        appendU16(record, quint16(fixed + data.size()));
        appendU16(record, 0);
    }
    appendU32(record, 0);
    record += data;
    qToLittleEndian<quint32>(quint32(record.size()), record.data());
    return record;
}

QByteArray allHeaders() {
    // ALL_HEADERS with the transaction descriptor header (required from TDS 7.2).
    QByteArray headers;
    appendU32(headers, 22);
    appendU32(headers, 18);
    appendU16(headers, 2);
    headers.append(QByteArray(8, '\0'));
    appendU32(headers, 1);
    return headers;
}

} // namespace

RawTdsClient::RawTdsClient() {
    clock_.start();
}

void RawTdsClient::send(quint8 type, const QByteArray& payload) {
    QByteArray p;
    p.append(char(type));
    p.append(char(0x01));
    const int length = int(payload.size()) + 8;
    p.append(char(length >> 8));
    p.append(char(length & 0xFF));
    p.append(QByteArray(2, '\0'));
    p.append(char(1));
    p.append(char(0));
    socket_.write(p + payload);
    socket_.waitForBytesWritten(3000);
}

bool RawTdsClient::login(quint16 port, const QString& user, const QString& password) {
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket_.waitForConnected(3000))
        return false;
    // PRELOGIN: the VERSION and ENCRYPTION options (encryption not supported), then their data.
    send(0x12, QByteArray::fromHex("00000b0006"
                                   "0100110001"
                                   "ff"
                                   "0f0000000000"
                                   "02"));
    if (readMessage().isEmpty())
        return false;
    send(0x10, login7(user, password));
    QByteArray answer;
    for (const Packet& p : readMessage())
        answer += p.body;
    const int status = finalDoneStatus(answer);
    return status >= 0 && !(status & 0x02);
}

void RawTdsClient::sendBatch(const QString& sql) {
    send(0x01, allHeaders() + utf16(sql));
}

void RawTdsClient::sendRpc(quint16 procedureId, const QByteArray& parameters) {
    QByteArray payload = allHeaders();
    appendU16(payload, 0xFFFF);
    appendU16(payload, procedureId);
    appendU16(payload, 0); // option flags
    send(0x03, payload + parameters);
}

QByteArray RawTdsClient::intParameter(const QString& name, std::optional<qint32> value, bool output) {
    QByteArray p;
    p.append(char(name.size()));
    p += utf16(name);
    p.append(char(output ? 0x01 : 0x00));
    p.append(char(0x26)); // INTN
    p.append(char(4));
    p.append(char(value ? 4 : 0));
    if (value)
        appendU32(p, quint32(*value));
    return p;
}

QByteArray RawTdsClient::textParameter(const QString& name, const std::optional<QString>& value) {
    QByteArray p;
    p.append(char(name.size()));
    p += utf16(name);
    p.append(char(0x00));
    p.append(char(0xE7)); // NVARCHAR(4000)
    appendU16(p, 8000);
    p += QByteArray::fromHex("0904d00034"); // a collation; the server ignores it for Unicode
    appendU16(p, value ? quint16(value->size() * 2) : 0xFFFF);
    if (value)
        p += utf16(*value);
    return p;
}

void RawTdsClient::sendAttention() {
    send(0x06, {});
}

bool RawTdsClient::nextPacket(Packet& packet, int timeoutMs) {
    QElapsedTimer wait;
    wait.start();
    while (buffer_.size() < 8 || buffer_.size() < ((quint8(buffer_[2]) << 8) | quint8(buffer_[3]))) {
        const qint64 left = timeoutMs - wait.elapsed();
        if (left <= 0 || !socket_.waitForReadyRead(int(left)))
            return false;
        buffer_ += socket_.readAll();
    }
    const int length = (quint8(buffer_[2]) << 8) | quint8(buffer_[3]);
    packet.type = quint8(buffer_[0]);
    packet.status = quint8(buffer_[1]);
    packet.id = quint8(buffer_[6]);
    packet.body = buffer_.mid(8, length - 8);
    packet.arrivedMs = clock_.elapsed();
    buffer_.remove(0, length);
    return length >= 8;
}

QList<RawTdsClient::Packet> RawTdsClient::readMessage(int timeoutMs) {
    QList<Packet> packets;
    Packet p;
    while (nextPacket(p, timeoutMs)) {
        packets.append(p);
        if (p.endOfMessage())
            break;
    }
    return packets;
}

bool RawTdsClient::silentFor(int waitMs) {
    if (!buffer_.isEmpty())
        return false;
    return !socket_.waitForReadyRead(waitMs);
}

QList<int> RawTdsClient::messageNumbers(const QByteArray& tokens) {
    QList<int> numbers;
    int pos = 0;
    while (pos < tokens.size()) {
        const quint8 token = quint8(tokens[pos]);
        if ((token == 0xAA || token == 0xAB || token == 0xE3) && pos + 3 <= tokens.size()) {
            const int length = quint8(tokens[pos + 1]) | (quint8(tokens[pos + 2]) << 8);
            if (token != 0xE3 && pos + 7 <= tokens.size())
                numbers.append(qFromLittleEndian<qint32>(tokens.constData() + pos + 3));
            pos += 3 + length;
        } else if (token == kDoneToken || token == 0xFE || token == 0xFF) {
            pos += kDoneLength74;
        } else {
            break;
        }
    }
    return numbers;
}

int RawTdsClient::finalDoneStatus(const QByteArray& tokens) {
    if (tokens.size() < kDoneLength74 || quint8(tokens[tokens.size() - kDoneLength74]) != kDoneToken)
        return -1;
    return qFromLittleEndian<quint16>(tokens.constData() + tokens.size() - kDoneLength74 + 1);
}
