#include "PacketChannel.h"

#include "SocketIo.h"
#include "TlsStream.h"
#include "WireBuffer.h"

#include <poll.h>
#include <sys/socket.h>

namespace sqlsim::tds {

bool PacketChannel::readFully(char* buffer, int length) {
    if (tls_)
        return tls_->readFully(buffer, length);
    return receiveAll(fd_, buffer, length);
}

bool PacketChannel::readMessage(TdsMessage& message) {
    message.payload.clear();
    for (;;) {
        unsigned char header[8];
        if (!readFully(reinterpret_cast<char*>(header), 8))
            return false;
        const quint8 type = header[0];
        const quint8 status = header[1];
        const int length = (header[2] << 8) | header[3];
        if (length < 8 || length > kMaxPacketSize)
            throw ProtocolError("packet length out of range");
        if (message.payload.isEmpty())
            message.type = type;
        else if (type != message.type)
            throw ProtocolError("packet type changed inside a message");
        const int bodyLength = length - 8;
        if (message.payload.size() + bodyLength > kMaxMessageBytes)
            throw ProtocolError("request larger than the server accepts");
        const auto offset = message.payload.size();
        message.payload.resize(offset + bodyLength);
        if (!readFully(message.payload.data() + offset, bodyLength))
            return false;
        if (tlsForOnePacket_)
            useTls(nullptr);
        if (status & 0x01)
            return true;
    }
}

bool PacketChannel::waitReadable(int timeoutMs, int wakeFd) const {
    if (tls_ && tls_->hasBufferedPlaintext())
        return true;
    pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int r = ::poll(p, wakeFd >= 0 ? 2 : 1, timeoutMs);
    return r > 0 && p[0].revents != 0;
}

bool PacketChannel::sendMessage(quint8 type, const QByteArray& payload, bool endOfMessage) {
    const int chunk = packetSize_ - 8;
    int offset = 0;
    QByteArray wire;
    wire.reserve(payload.size() + (payload.size() / chunk + 1) * 8);
    do {
        const int n = std::min(chunk, int(payload.size()) - offset);
        const bool last = endOfMessage && offset + n >= payload.size();
        const int length = n + 8;
        wire.append(char(type));
        wire.append(char(last ? 0x01 : 0x00));
        wire.append(char(length >> 8));
        wire.append(char(length & 0xFF));
        wire.append(char(spid_ >> 8));
        wire.append(char(spid_ & 0xFF));
        wire.append(char(nextPacketId_++)); // modulo 256 (MS-TDS 2.2.3.1.5)
        wire.append(char(0));
        wire.append(payload.constData() + offset, n);
        offset += n;
    } while (offset < payload.size());
    if (endOfMessage)
        nextPacketId_ = 1;

    if (tls_)
        return tls_->write(wire.constData(), wire.size());
    return sendAll(fd_, wire.constData(), wire.size());
}

} // namespace sqlsim::tds
