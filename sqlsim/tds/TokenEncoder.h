#pragma once
// Turns the engine's response items into TDS tokens for one client, in the widths of the
// TDS version negotiated at login.

#include "../engine/Results.h"
#include "WireBuffer.h"

namespace sqlsim::tds {

namespace token {
constexpr quint8 ColMetadata = 0x81;
constexpr quint8 Error = 0xAA;
constexpr quint8 Info = 0xAB;
constexpr quint8 LoginAck = 0xAD;
constexpr quint8 Row = 0xD1;
constexpr quint8 EnvChange = 0xE3;
constexpr quint8 ReturnStatus = 0x79;
constexpr quint8 ReturnValue = 0xAC;
constexpr quint8 Done = 0xFD;
constexpr quint8 DoneProc = 0xFE;
constexpr quint8 DoneInProc = 0xFF;
} // namespace token

namespace doneStatus {
constexpr quint16 More = 0x0001;
constexpr quint16 Error = 0x0002;
constexpr quint16 Count = 0x0010;
constexpr quint16 Attention = 0x0020;
} // namespace doneStatus

// Chinese_PRC_CI_AS: single-byte text columns carry GBK (code page 936), so Chinese file and
// directory names survive varchar columns such as the file picker's scratch table.
constexpr quint8 kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

class TokenEncoder {
public:
    TokenEncoder(quint32 tdsVersion, QString serverName);

    void encode(const ResponseItem& item, ByteWriter& out) const;

    void resultSet(const ResultSet& rs, ByteWriter& out) const;
    void message(const Message& m, ByteWriter& out) const;
    void done(const Done& d, ByteWriter& out) const;
    void done(quint8 tokenType, quint16 status, quint16 command, quint64 count, ByteWriter& out) const;
    void returnStatus(const ReturnStatus& r, ByteWriter& out) const;
    // An int OUTPUT parameter of an RPC (the handle of sp_prepare), by its ordinal and name.
    void returnValue(quint16 ordinal, const QString& name, qint32 value, ByteWriter& out) const;
    void envChange(quint8 type, const QString& newValue, const QString& oldValue, ByteWriter& out) const;
    void envChangeBytes(quint8 type, const QByteArray& newValue, const QByteArray& oldValue, ByteWriter& out) const;
    void loginAck(ByteWriter& out) const;

    // Single-byte text in the collation's code page (GBK).
    static QByteArray toCodePage(const QString& text);

private:
    void columnMetadata(const Column& c, ByteWriter& out) const;
    void value(const Column& c, const Value& v, ByteWriter& out) const;
    static void widenToHold(Column& c, const Value& v);

    quint32 version_;
    QString serverName_;
};

} // namespace sqlsim::tds
