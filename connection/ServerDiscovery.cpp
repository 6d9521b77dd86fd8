#include "ServerDiscovery.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

constexpr char kClientUnicastEx = 0x03;
constexpr quint8 kServerResponse = 0x05;

// A minimal TDS PRELOGIN request: VERSION and ENCRYPTION (not supported), nothing else.
QByteArray preLoginProbe() {
    const char payload[] = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, char(0xFF),
                            0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};
    QByteArray packet;
    const int length = int(sizeof payload) + 8;
    packet.append(char(0x12)); // PRELOGIN
    packet.append(char(0x01)); // end of message
    packet.append(char(length >> 8));
    packet.append(char(length & 0xFF));
    packet.append(QByteArray(4, '\0'));
    packet.append(payload, int(sizeof payload));
    return packet;
}

bool isRecordText(const QByteArray& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E)
            return false;
    }
    return true;
}

QStringList askBrowser(const DiscoveryTargets& targets) {
    QUdpSocket socket;
    // Only this machine is asked: no proxy applies, and asking the system for one costs start-up
    // a thread and the proxy library's set-up.
    socket.setProxy(QNetworkProxy::NoProxy);
    if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
        throw EDiscoveryError("cannot open a UDP socket");
    const QHostAddress host(targets.host);
    if (!host.isLoopback())
        throw EDiscoveryError("discovery only asks this machine");
    // Connected, so that "port unreachable" comes back as an error at once: with no Browser on
    // this machine (the usual case) start-up does not sit out the whole time-out.
    socket.connectToHost(host, targets.browserPort);
    if (socket.state() != QAbstractSocket::ConnectedState && !socket.waitForConnected(targets.timeoutMs))
        return {};
    socket.write(QByteArray(1, kClientUnicastEx));
    QDeadlineTimer deadline(targets.timeoutMs);
    QByteArray datagram(65536, '\0');
    for (;;) {
        // Read before waiting: on loopback the "refused" is there as soon as the write returns,
        // and Qt's wait would swallow it and sit out the time-out.
        const qint64 length = socket.readDatagram(datagram.data(), datagram.size());
        if (length >= 0) {
            const QStringList names = parseBrowserAnswer(datagram.left(int(length)), targets.host);
            if (!names.isEmpty())
                return names;
            if (deadline.hasExpired())
                return {};
            continue;
        }
        if (socket.error() == QAbstractSocket::ConnectionRefusedError || deadline.hasExpired() ||
            !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {};
    }
}

bool defaultInstanceAnswers(const DiscoveryTargets& targets) {
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(targets.host, targets.defaultInstancePort);
    if (!socket.waitForConnected(targets.timeoutMs))
        return false;
    socket.write(preLoginProbe());
    QByteArray answer;
    QDeadlineTimer deadline(targets.timeoutMs);
    while (answer.size() < 8 && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.readAll();
    }
    // A tabular-result packet is how a SQL Server answers PRELOGIN.
    return answer.size() >= 8 && quint8(answer[0]) == 0x04;
}

} // namespace

QStringList parseBrowserAnswer(const QByteArray& datagram, const QString& host) {
    if (datagram.size() < 3 || quint8(datagram[0]) != kServerResponse)
        return {};
    const int length = quint8(datagram[1]) | (quint8(datagram[2]) << 8);
    if (length != datagram.size() - 3)
        return {};
    const QByteArray text = datagram.mid(3);
    if (!isRecordText(text))
        return {};

    QStringList names;
    // Records are "key;value;...;" pairs, each record ended by an extra ";" (so ";;").
    for (const QString& record : QString::fromLatin1(text).split(QStringLiteral(";;"))) {
        const QStringList fields = record.split(QLatin1Char(';'));
        for (int i = 0; i + 1 < fields.size(); i += 2) {
            if (fields[i].compare(QLatin1String("InstanceName"), Qt::CaseInsensitive) != 0 || fields[i + 1].isEmpty())
                continue;
            const QString& instance = fields[i + 1];
            names.append(instance.compare(QLatin1String("MSSQLSERVER"), Qt::CaseInsensitive) == 0
                             ? host
                             : host + QLatin1Char('\\') + instance);
        }
    }
    return names;
}

void ListAvailableSQLServers(const std::function<void(const QString&)>& append, const DiscoveryTargets& targets) {
    QStringList found = askBrowser(targets);
    if (!found.contains(targets.host) && defaultInstanceAnswers(targets))
        found.append(targets.host);
    for (const QString& name : found)
        append(name);
}
