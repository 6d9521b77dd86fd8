#pragma once
// The LOGIN7 record a client sends to log in.

#include <QByteArray>
#include <QString>

namespace sqlsim::tds {

struct Login7 {
    quint32 tdsVersion = 0;
    quint32 packetSize = 4096;
    bool integratedSecurity = false; // SSPI / Kerberos: not something this server can check
    QString hostName;
    QString userName;
    QString password;
    QString appName;
    QString serverName;
    QString language;
    QString database;
};

// Throws ProtocolError when the record is malformed.
Login7 parseLogin7(const QByteArray& payload);

// The scrambling LOGIN7 applies to the password: nibbles swapped, then XOR 0xA5.
QString unscramblePassword(const QByteArray& bytes);
QByteArray scramblePassword(const QString& password);

} // namespace sqlsim::tds
