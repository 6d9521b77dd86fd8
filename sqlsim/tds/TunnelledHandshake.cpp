#include "TunnelledHandshake.h"

#include "PacketChannel.h"
#include "TlsSession.h"
#include "WireBuffer.h"

namespace sqlsim::tds {

bool runTunnelledHandshake(PacketChannel& channel, TlsSession& session, const QByteArray& firstPayload) {
    session.feed(firstPayload);
    for (;;) {
        const TlsSession::Step step = session.handshake();
        const QByteArray out = session.takeOutgoing();
        // The server's flight (and on failure its alert) goes back in PRELOGIN packets too.
        if (!out.isEmpty() && !channel.sendMessage(packetType::PreLogin, out))
            return false;
        if (step == TlsSession::Step::Done)
            return true;
        if (step == TlsSession::Step::Failed)
            return false;
        TdsMessage message;
        if (!channel.readMessage(message))
            return false;
        if (message.type != packetType::PreLogin)
            throw ProtocolError("a packet other than PRELOGIN during the TLS handshake");
        session.feed(message.payload);
    }
}

} // namespace sqlsim::tds
