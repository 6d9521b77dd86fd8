#include "Login7.h"

#include "WireBuffer.h"

namespace sqlsim::tds {

namespace {

constexpr int kFixedPart71 = 86;

QString stringAt(const QByteArray& payload, int fieldOffset) {
    ByteReader r(payload, fieldOffset);
    const int offset = r.u16le();
    const int chars = r.u16le();
    if (chars == 0)
        return {};
    ByteReader s(payload, offset);
    return s.utf16(chars);
}

} // namespace

QString unscramblePassword(const QByteArray& bytes) {
    QByteArray plain(bytes.size(), '\0');
    for (int i = 0; i < bytes.size(); ++i) {
        const quint8 b = quint8(bytes[i]) ^ 0xA5;
        plain[i] = char(quint8((b << 4) | (b >> 4)));
    }
    return QString(reinterpret_cast<const QChar*>(plain.constData()), int(plain.size() / 2));
}

QByteArray scramblePassword(const QString& password) {
    QByteArray bytes(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
    for (auto& c : bytes) {
        const quint8 b = quint8(c);
        c = char(quint8((b << 4) | (b >> 4)) ^ 0xA5);
    }
    return bytes;
}

Login7 parseLogin7(const QByteArray& payload) {
    if (payload.size() < kFixedPart71)
        throw ProtocolError("LOGIN7 shorter than its fixed part");
    ByteReader r(payload);
    const quint32 length = r.u32le();
    if (length > quint32(payload.size()))
        throw ProtocolError("LOGIN7 length beyond the message");
    Login7 login;
    login.tdsVersion = r.u32le();
    login.packetSize = r.u32le();
    r.skip(12); // client program version, process id, connection id
    r.u8();     // option flags 1
    const quint8 optionFlags2 = r.u8();
    login.integratedSecurity = (optionFlags2 & 0x80) != 0;

    login.hostName = stringAt(payload, 36);
    login.userName = stringAt(payload, 40);
    {
        ByteReader p(payload, 44);
        const int offset = p.u16le();
        const int chars = p.u16le();
        ByteReader s(payload, offset);
        login.password = unscramblePassword(s.raw(chars * 2));
    }
    login.appName = stringAt(payload, 48);
    login.serverName = stringAt(payload, 52);
    login.language = stringAt(payload, 64);
    login.database = stringAt(payload, 68);
    ByteReader sspi(payload, 78);
    sspi.u16le();
    if (sspi.u16le() != 0)
        login.integratedSecurity = true;
    return login;
}

} // namespace sqlsim::tds
