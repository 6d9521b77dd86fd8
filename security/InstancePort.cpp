#include "InstancePort.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QStringList>
#include <QUdpSocket>

namespace {

constexpr char kClientUnicastInstance = 0x04;
constexpr quint8 kServerResponse = 0x05;

} // namespace

std::optional<quint16> InstancePort::parseAnswer(const QByteArray& datagram, const QString& instance) {
    if (datagram.size() < 3 || quint8(datagram[0]) != kServerResponse)
        return std::nullopt;
    const int length = quint8(datagram[1]) | (quint8(datagram[2]) << 8);
    if (length != datagram.size() - 3)
        return std::nullopt;
    const QByteArray text = datagram.mid(3);
    for (const char c : text)
        if (quint8(c) < 0x20 || quint8(c) > 0x7E)
            return std::nullopt;

    // Records of "key;value;" pairs, each ended by one more ";".
    for (const QString& record : QString::fromLatin1(text).split(QStringLiteral(";;"))) {
        const QStringList fields = record.split(QLatin1Char(';'));
        bool named = false;
        std::optional<quint16> port;
        for (int i = 0; i + 1 < fields.size(); i += 2) {
            if (fields[i].compare(QLatin1String("InstanceName"), Qt::CaseInsensitive) == 0)
                named = fields[i + 1].compare(instance, Qt::CaseInsensitive) == 0;
            if (fields[i].compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0) {
                bool ok = false;
                const uint value = fields[i + 1].toUInt(&ok);
                if (ok && value > 0 && value <= 65535)
                    port = quint16(value);
            }
        }
        if (named)
            return port;
    }
    return std::nullopt;
}

std::optional<quint16> InstancePort::ask(const QString& host, const QString& instance, quint16 browserPort,
                                         int timeoutMs) {
    QUdpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(host, browserPort);
    QDeadlineTimer deadline(timeoutMs);
    if (socket.state() != QAbstractSocket::ConnectedState && !socket.waitForConnected(timeoutMs))
        return std::nullopt;
    socket.write(QByteArray(1, kClientUnicastInstance) + instance.toLatin1() + '\0');
    QByteArray datagram(65536, '\0');
    for (;;) {
        const qint64 length = socket.readDatagram(datagram.data(), datagram.size());
        if (length >= 0) {
            if (const auto port = parseAnswer(datagram.left(int(length)), instance))
                return port;
        } else if (socket.error() == QAbstractSocket::ConnectionRefusedError) {
            return std::nullopt; // no Browser there
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    }
}
