#pragma once
// The TDS 7.x TLS handshake: TLS handshake messages travel as the payload of PRELOGIN (0x12)
// packets in both directions (MS-TDS 2.2.6.5, 3.3.5.2) until the handshake is complete.

#include <QByteArray>

namespace sqlsim::tds {

class PacketChannel;
class TlsSession;

// Runs the server's side, starting from the client's first tunnelled message (its ClientHello).
// False when the handshake fails or the client leaves; throws ProtocolError when the client sends
// anything but PRELOGIN packets meanwhile.
bool runTunnelledHandshake(PacketChannel& channel, TlsSession& session, const QByteArray& firstPayload);

} // namespace sqlsim::tds
