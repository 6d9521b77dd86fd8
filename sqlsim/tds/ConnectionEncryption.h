#pragma once
// One connection's encryption: TLS before PRELOGIN in strict mode, the answer to the client's
// offer, the tunnelled handshake, and which packets then travel in TLS.

#include "EncryptionNegotiation.h"

#include <memory>

namespace sqlsim::tds {

class PacketChannel;
class TlsContext;
class TlsStream;

// What the whole server does. Without a context only `none` is possible.
struct EncryptionPolicy {
    EncryptionMode mode = EncryptionMode::None;
    std::shared_ptr<const TlsContext> context;
};

class ConnectionEncryption {
public:
    ConnectionEncryption(int fd, EncryptionPolicy policy);
    ~ConnectionEncryption();
    ConnectionEncryption(const ConnectionEncryption&) = delete;
    ConnectionEncryption& operator=(const ConnectionEncryption&) = delete;

    // TDS 8.0: TLS on the bare socket before any TDS packet. True when there is nothing to do.
    bool beforePreLogin(PacketChannel& channel);
    // The answer to the client's PRELOGIN, by the negotiation table.
    EncryptionAnswer answer(const QByteArray& preLogin) const;
    // After the answer went out: the tunnelled handshake when one was agreed, then the channel
    // switched to TLS for the agreed packets. False when the connection is to close.
    bool afterAnswer(PacketChannel& channel, const EncryptionAnswer& agreed);
    // A login without PRELOGIN (a TDS 7.0 client) never negotiated TLS.
    bool acceptsLoginWithoutPreLogin() const;

private:
    int fd_;
    EncryptionPolicy policy_;
    std::unique_ptr<TlsStream> stream_;
};

} // namespace sqlsim::tds
