#include "ConnectionEncryption.h"

#include "PacketChannel.h"
#include "TlsContext.h"
#include "TlsSession.h"
#include "TlsStream.h"
#include "TunnelledHandshake.h"
#include "WireBuffer.h"

namespace sqlsim::tds {

ConnectionEncryption::ConnectionEncryption(int fd, EncryptionPolicy policy) : fd_(fd), policy_(std::move(policy)) {
    if (!policy_.context)
        policy_.mode = EncryptionMode::None;
}

ConnectionEncryption::~ConnectionEncryption() = default;

bool ConnectionEncryption::beforePreLogin(PacketChannel& channel) {
    if (policy_.mode != EncryptionMode::Strict)
        return true;
    stream_ = std::make_unique<TlsStream>(fd_, policy_.context->newSession(TlsContext::Framing::Direct));
    if (!stream_->acceptOnSocket())
        return false;
    channel.useTls(stream_.get());
    return true;
}

EncryptionAnswer ConnectionEncryption::answer(const QByteArray& preLogin) const {
    return negotiateEncryption(policy_.mode, encryptionOffer(preLogin));
}

bool ConnectionEncryption::afterAnswer(PacketChannel& channel, const EncryptionAnswer& agreed) {
    if (agreed.scope == TlsScope::None)
        return true;
    if (agreed.scope == TlsScope::Refuse)
        return false;
    // MS-TDS 3.3.5.2: once TLS is agreed, anything but a PRELOGIN packet ends the connection.
    TdsMessage hello;
    if (!channel.readMessage(hello))
        return false;
    if (hello.type != packetType::PreLogin)
        return false;
    stream_ = std::make_unique<TlsStream>(fd_, policy_.context->newSession(TlsContext::Framing::Tunnelled));
    if (!runTunnelledHandshake(channel, stream_->session(), hello.payload))
        return false;
    // Login-only: the client's first LOGIN7 packet is in TLS, then both sides go on in clear
    // (MS-TDS 3.2.5.2), so the login response already travels in clear.
    channel.useTls(stream_.get(), agreed.scope == TlsScope::LoginOnly);
    return true;
}

bool ConnectionEncryption::acceptsLoginWithoutPreLogin() const {
    return policy_.mode != EncryptionMode::Force;
}

} // namespace sqlsim::tds
