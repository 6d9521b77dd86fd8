#pragma once
// What the server answers a client's PRELOGIN encryption offer, and what TLS follows
// (MS-TDS 2.2.6.5, B_FENCRYPTION; 3.3.5.1 and 3.3.5.2 for the server's states).

#include <QByteArray>
#include <QString>

#include <optional>

namespace sqlsim::tds {

namespace encryptByte {
constexpr quint8 Off = 0x00;        // TLS for the login packet only
constexpr quint8 On = 0x01;         // TLS for the whole session
constexpr quint8 NotSup = 0x02;     // no TLS
constexpr quint8 Req = 0x03;        // the server insists on TLS for the whole session
constexpr quint8 ClientCert = 0x80; // flag: client certificate authentication (not offered here)
} // namespace encryptByte

enum class EncryptionMode {
    Off,    // a server that offers TLS without forcing it (every SQL Server since 2005)
    Force,  // "Force Encryption" set on the server
    Strict, // TDS 8.0: TLS before any TDS traffic
    None,   // a server without TLS support: the wire stays readable, for protocol tests
};

std::optional<EncryptionMode> encryptionModeFromName(const QString& name);

enum class TlsScope {
    None,      // the login and the session in clear
    LoginOnly, // handshake tunnelled in PRELOGIN packets, the first LOGIN7 packet in TLS, the rest in clear
    Session,   // handshake tunnelled in PRELOGIN packets, then every packet in TLS
    Refuse,    // answer, then close the connection
};

struct EncryptionAnswer {
    quint8 answer = encryptByte::NotSup;
    TlsScope scope = TlsScope::None;

    bool operator==(const EncryptionAnswer&) const = default;
};

// The one place the negotiation table lives. `offer` is the client's B_FENCRYPTION byte.
// Strict mode has already run TLS before PRELOGIN; its answer is informational.
EncryptionAnswer negotiateEncryption(EncryptionMode mode, quint8 offer);

// The client's B_FENCRYPTION from its PRELOGIN option table; NOT_SUP when it sends none (a
// client that does not know the option cannot do TLS). Throws ProtocolError on a malformed table.
quint8 encryptionOffer(const QByteArray& preLogin);

} // namespace sqlsim::tds
