#include "BrowserResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace sqlsim::tds {

namespace {
constexpr quint8 kClientBroadcastEx = 0x02;
constexpr quint8 kClientUnicastEx = 0x03;
constexpr quint8 kClientUnicastInstance = 0x04;
constexpr quint8 kServerResponse = 0x05;
} // namespace

BrowserResponder::BrowserResponder(QString serverName, QString instanceName, quint16 tcpPort)
    : serverName_(std::move(serverName)), instanceName_(std::move(instanceName)), tcpPort_(tcpPort) {}

BrowserResponder::~BrowserResponder() { stop(); }

QByteArray BrowserResponder::instanceRecord() const {
    const QString text = QStringLiteral("ServerName;%1;InstanceName;%2;IsClustered;No;Version;15.0.2000.5;tcp;%3;;")
                             .arg(serverName_, instanceName_)
                             .arg(tcpPort_);
    const QByteArray body = text.toLatin1();
    QByteArray reply;
    reply.append(char(kServerResponse));
    reply.append(char(body.size() & 0xFF));
    reply.append(char(body.size() >> 8));
    reply.append(body);
    return reply;
}

QByteArray BrowserResponder::answer(const QByteArray& request) const {
    if (request.isEmpty() || request.size() > 1024)
        return {};
    const quint8 type = quint8(request[0]);
    if (type == kClientBroadcastEx || type == kClientUnicastEx)
        return request.size() == 1 ? instanceRecord() : QByteArray();
    if (type == kClientUnicastInstance) {
        QByteArray name = request.mid(1);
        const int nul = name.indexOf('\0');
        if (nul >= 0)
            name.truncate(nul);
        if (QString::fromLatin1(name).compare(instanceName_, Qt::CaseInsensitive) == 0)
            return instanceRecord();
    }
    return {};
}

quint16 BrowserResponder::start(quint16 port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error("cannot create a UDP socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("cannot bind UDP 127.0.0.1:" + std::to_string(port));
    }
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    thread_ = std::thread([this] { loop(); });
    return ntohs(address.sin_port);
}

void BrowserResponder::loop() {
    char buffer[2048];
    while (!stopping_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0)
            continue;
        // Answer loopback senders only: the reply goes back where the request came from.
        if ((ntohl(from.sin_addr.s_addr) >> 24) != 127)
            continue;
        const QByteArray reply = answer(QByteArray(buffer, int(n)));
        if (!reply.isEmpty())
            ::sendto(fd_, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

void BrowserResponder::stop() {
    if (stopping_.exchange(true))
        return;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace sqlsim::tds
