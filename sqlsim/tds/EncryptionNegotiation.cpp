#include "EncryptionNegotiation.h"

#include "WireBuffer.h"

namespace sqlsim::tds {

std::optional<EncryptionMode> encryptionModeFromName(const QString& name) {
    if (name == QLatin1String("off"))
        return EncryptionMode::Off;
    if (name == QLatin1String("force"))
        return EncryptionMode::Force;
    if (name == QLatin1String("strict"))
        return EncryptionMode::Strict;
    if (name == QLatin1String("none"))
        return EncryptionMode::None;
    return std::nullopt;
}

EncryptionAnswer negotiateEncryption(EncryptionMode mode, quint8 offer) {
    // Client certificate authentication is not offered; the rest of the byte still counts.
    offer &= quint8(~encryptByte::ClientCert);
    const bool clientCanDoTls = offer != encryptByte::NotSup;
    // A client's REQ (or a value this table does not know) asks for at least what ON asks for.
    const bool clientWantsSession = offer != encryptByte::Off && offer != encryptByte::NotSup;

    switch (mode) {
    case EncryptionMode::None:
        return {encryptByte::NotSup, TlsScope::None};
    case EncryptionMode::Off:
        if (!clientCanDoTls)
            return {encryptByte::NotSup, TlsScope::None};
        if (clientWantsSession)
            return {encryptByte::On, TlsScope::Session};
        return {encryptByte::Off, TlsScope::LoginOnly};
    case EncryptionMode::Force:
        if (!clientCanDoTls)
            return {encryptByte::Req, TlsScope::Refuse};
        if (clientWantsSession)
            return {encryptByte::On, TlsScope::Session};
        return {encryptByte::Req, TlsScope::Session};
    case EncryptionMode::Strict:
        // Unconfirmed what a TDS 8.0 server puts here; the session is in TLS already and TDS 8.0
        // clients ignore the byte. NOT_SUP keeps a TDS 7 client from nesting a second handshake.
        return {encryptByte::NotSup, TlsScope::None};
    }
    return {encryptByte::NotSup, TlsScope::None};
}

quint8 encryptionOffer(const QByteArray& preLogin) {
    constexpr quint8 kEncryption = 0x01;
    constexpr quint8 kTerminator = 0xFF;
    ByteReader r(preLogin);
    for (;;) {
        const quint8 token = r.u8();
        if (token == kTerminator)
            return encryptByte::NotSup;
        const quint16 offset = r.u16be();
        const quint16 length = r.u16be();
        if (token != kEncryption)
            continue;
        if (length < 1 || offset + 1 > preLogin.size())
            throw ProtocolError("PRELOGIN encryption option outside the message");
        return quint8(preLogin[offset]);
    }
}

} // namespace sqlsim::tds
