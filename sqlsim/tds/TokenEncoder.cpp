#include "TokenEncoder.h"

#include "TdsVersion.h"
#include "../engine/CodePage.h"
#include "../engine/Evaluator.h"

#include <QDate>

#include <algorithm>

namespace sqlsim::tds {

namespace {

constexpr quint8 kIntN = 0x26;
constexpr quint8 kBitN = 0x68;
constexpr quint8 kDateTimeN = 0x6F;
constexpr quint8 kNumericN = 0x6C;
constexpr quint8 kGuid = 0x24;
constexpr quint8 kBigVarBinary = 0xA5;
constexpr quint8 kBigVarChar = 0xA7;
constexpr quint8 kBigChar = 0xAF;
constexpr quint8 kNVarChar = 0xE7;

int intWidth(SqlType t) {
    switch (t) {
    case SqlType::TinyInt: return 1;
    case SqlType::SmallInt: return 2;
    case SqlType::Int: return 4;
    default: return 8;
    }
}

int numericWidth(int precision) {
    if (precision <= 9)
        return 5;
    if (precision <= 19)
        return 9;
    if (precision <= 28)
        return 13;
    return 17;
}

quint16 byteLimit(int size, int perChar) { return quint16(std::clamp(size * perChar, perChar, 8000)); }

qint64 asInteger(const Value& v) {
    if (const auto* i = std::get_if<qint64>(&v))
        return *i;
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    if (const auto* s = std::get_if<QString>(&v))
        return s->toLongLong();
    return 0;
}

} // namespace

TokenEncoder::TokenEncoder(quint32 tdsVersion, QString serverName)
    : version_(tdsVersion), serverName_(std::move(serverName)) {}

QByteArray TokenEncoder::toCodePage(const QString& text) { return CodePage::encode(text); }

void TokenEncoder::encode(const ResponseItem& item, ByteWriter& out) const {
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, ResultSet>)
                resultSet(x, out);
            else if constexpr (std::is_same_v<T, Message>)
                message(x, out);
            else if constexpr (std::is_same_v<T, Done>)
                done(x, out);
            else if constexpr (std::is_same_v<T, EnvChange>)
                envChange(quint8(x.kind), x.newValue, x.oldValue, out);
            else
                returnStatus(x, out);
        },
        item);
}

void TokenEncoder::columnMetadata(const Column& c, ByteWriter& out) const {
    if (isTds72OrLater(version_))
        out.u32le(0); // UserType
    else
        out.u16le(0);
    out.u16le(c.nullable ? 0x0009 : 0x0008); // nullable bit; "updateable: unknown"
    switch (c.type) {
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt:
        out.u8(kIntN);
        out.u8(quint8(intWidth(c.type)));
        break;
    case SqlType::Bit:
        out.u8(kBitN);
        out.u8(1);
        break;
    case SqlType::NVarChar:
        out.u8(kNVarChar);
        out.u16le(byteLimit(c.size, 2));
        for (quint8 b : kCollation)
            out.u8(b);
        break;
    case SqlType::Char:
    case SqlType::VarChar:
        out.u8(c.type == SqlType::Char ? kBigChar : kBigVarChar);
        out.u16le(byteLimit(c.size, 1));
        for (quint8 b : kCollation)
            out.u8(b);
        break;
    case SqlType::DateTime:
        out.u8(kDateTimeN);
        out.u8(8);
        break;
    case SqlType::Numeric:
        out.u8(kNumericN);
        out.u8(quint8(numericWidth(c.precision)));
        out.u8(quint8(std::clamp(c.precision, 1, 38)));
        out.u8(0); // scale
        break;
    case SqlType::UniqueIdentifier:
        out.u8(kGuid);
        out.u8(16);
        break;
    case SqlType::VarBinary:
        out.u8(kBigVarBinary);
        out.u16le(byteLimit(c.size, 1));
        break;
    }
    out.bVarchar(c.name);
}

void TokenEncoder::value(const Column& c, const Value& v, ByteWriter& out) const {
    const bool isNull = std::holds_alternative<Null>(v);
    switch (c.type) {
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt: {
        if (isNull) {
            out.u8(0);
            break;
        }
        const int width = intWidth(c.type);
        const quint64 n = quint64(asInteger(v));
        out.u8(quint8(width));
        for (int i = 0; i < width; ++i)
            out.u8(quint8(n >> (8 * i)));
        break;
    }
    case SqlType::Bit:
        if (isNull) {
            out.u8(0);
        } else {
            out.u8(1);
            out.u8(asInteger(v) != 0 ? 1 : 0);
        }
        break;
    case SqlType::NVarChar: {
        if (isNull) {
            out.u16le(0xFFFF);
            break;
        }
        const QString text = Evaluator::toText(v).left(byteLimit(c.size, 2) / 2);
        out.u16le(quint16(text.size() * 2));
        out.utf16(text);
        break;
    }
    case SqlType::Char:
    case SqlType::VarChar: {
        if (isNull) {
            out.u16le(0xFFFF);
            break;
        }
        QByteArray bytes = toCodePage(Evaluator::toText(v)).left(byteLimit(c.size, 1));
        if (c.type == SqlType::Char)
            bytes = bytes.leftJustified(byteLimit(c.size, 1), ' ');
        out.u16le(quint16(bytes.size()));
        out.raw(bytes);
        break;
    }
    case SqlType::DateTime: {
        const auto* dt = std::get_if<QDateTime>(&v);
        if (isNull || !dt || !dt->isValid()) {
            out.u8(0);
            break;
        }
        static const QDate epoch(1900, 1, 1);
        const qint64 days = epoch.daysTo(dt->date());
        const QTime t = dt->time();
        const qint64 ms = t.msecsSinceStartOfDay();
        const quint32 ticks = quint32((ms * 300 + 500) / 1000); // 1/300 s since midnight
        out.u8(8);
        out.u32le(quint32(qint32(days)));
        out.u32le(ticks);
        break;
    }
    case SqlType::Numeric: {
        if (isNull) {
            out.u8(0);
            break;
        }
        const int width = numericWidth(c.precision);
        const qint64 n = asInteger(v);
        const quint64 magnitude = n < 0 ? quint64(-(n + 1)) + 1 : quint64(n);
        out.u8(quint8(width));
        out.u8(n < 0 ? 0 : 1);
        for (int i = 0; i < width - 1; ++i)
            out.u8(i < 8 ? quint8(magnitude >> (8 * i)) : 0);
        break;
    }
    case SqlType::UniqueIdentifier: {
        const auto* u = std::get_if<QUuid>(&v);
        if (isNull || !u) {
            out.u8(0);
            break;
        }
        out.u8(16);
        out.u32le(u->data1);
        out.u16le(u->data2);
        out.u16le(u->data3);
        for (unsigned char b : u->data4)
            out.u8(b);
        break;
    }
    case SqlType::VarBinary: {
        const auto* b = std::get_if<QByteArray>(&v);
        if (isNull || !b) {
            out.u16le(0xFFFF);
            break;
        }
        const QByteArray bytes = b->left(byteLimit(c.size, 1));
        out.u16le(quint16(bytes.size()));
        out.raw(bytes);
        break;
    }
    }
}

void TokenEncoder::resultSet(const ResultSet& rs, ByteWriter& out) const {
    // A value never loses characters to its column's declared length: a column reckoned from
    // its first row is declared as long as its longest value instead.
    std::vector<Column> columns = rs.columns;
    for (size_t i = 0; i < columns.size(); ++i)
        for (const auto& row : rs.rows)
            if (i < row.size())
                widenToHold(columns[i], row[i]);
    out.u8(token::ColMetadata);
    out.u16le(quint16(columns.size()));
    for (const Column& c : columns)
        columnMetadata(c, out);
    for (const auto& row : rs.rows) {
        out.u8(token::Row);
        for (size_t i = 0; i < columns.size(); ++i)
            value(columns[i], i < row.size() ? row[i] : Value{Null{}}, out);
    }
}

void TokenEncoder::widenToHold(Column& c, const Value& v) {
    if (std::holds_alternative<Null>(v))
        return;
    switch (c.type) {
    case SqlType::NVarChar:
        c.size = std::max(c.size, int(std::min<qsizetype>(Evaluator::toText(v).size(), 4000)));
        break;
    case SqlType::Char:
    case SqlType::VarChar: {
        const QString text = Evaluator::toText(v);
        // A character takes at most two bytes of code page 936: most values need no encoding here.
        if (text.size() * 2 > c.size)
            c.size = std::max(c.size, int(std::min<qsizetype>(toCodePage(text).size(), 8000)));
        break;
    }
    default:
        break;
    }
}

void TokenEncoder::message(const Message& m, ByteWriter& out) const {
    out.u8(m.isError() ? token::Error : token::Info);
    const int lengthAt = out.size();
    out.u16le(0);
    out.u32le(quint32(m.number));
    out.u8(quint8(m.state));
    out.u8(quint8(m.severity));
    out.usVarchar(m.text);
    out.bVarchar(serverName_);
    out.bVarchar(m.procedure);
    if (isTds72OrLater(version_))
        out.u32le(quint32(m.line));
    else
        out.u16le(quint16(m.line));
    out.patchU16le(lengthAt, quint16(out.size() - lengthAt - 2));
}

void TokenEncoder::done(const Done& d, ByteWriter& out) const {
    quint8 type = token::Done;
    if (d.kind == Done::Kind::DoneProc)
        type = token::DoneProc;
    else if (d.kind == Done::Kind::DoneInProc)
        type = token::DoneInProc;
    quint16 status = 0;
    if (d.more)
        status |= doneStatus::More;
    if (d.error)
        status |= doneStatus::Error;
    if (d.hasCount)
        status |= doneStatus::Count;
    done(type, status, d.currentCommand, quint64(d.count), out);
}

void TokenEncoder::done(quint8 tokenType, quint16 status, quint16 command, quint64 count, ByteWriter& out) const {
    out.u8(tokenType);
    out.u16le(status);
    out.u16le(command);
    if (isTds72OrLater(version_))
        out.u64le(count);
    else
        out.u32le(quint32(count));
}

void TokenEncoder::returnStatus(const ReturnStatus& r, ByteWriter& out) const {
    out.u8(token::ReturnStatus);
    out.u32le(quint32(r.value));
}

void TokenEncoder::returnValue(quint16 ordinal, const QString& name, qint32 value, ByteWriter& out) const {
    // MS-TDS 2.2.7.18: ordinal, name, status 0x01 (output parameter), user type, flags, then
    // TYPE_INFO (INTN of width 4) and the value with its length.
    out.u8(token::ReturnValue);
    out.u16le(ordinal);
    out.bVarchar(name);
    out.u8(0x01);
    if (isTds72OrLater(version_))
        out.u32le(0);
    else
        out.u16le(0);
    out.u16le(0x0001); // nullable
    out.u8(0x26);
    out.u8(4);
    out.u8(4);
    out.u32le(quint32(value));
}

void TokenEncoder::envChange(quint8 type, const QString& newValue, const QString& oldValue, ByteWriter& out) const {
    out.u8(token::EnvChange);
    const int lengthAt = out.size();
    out.u16le(0);
    out.u8(type);
    out.bVarchar(newValue);
    out.bVarchar(oldValue);
    out.patchU16le(lengthAt, quint16(out.size() - lengthAt - 2));
}

void TokenEncoder::envChangeBytes(quint8 type, const QByteArray& newValue, const QByteArray& oldValue,
                                  ByteWriter& out) const {
    out.u8(token::EnvChange);
    const int lengthAt = out.size();
    out.u16le(0);
    out.u8(type);
    out.u8(quint8(newValue.size()));
    out.raw(newValue);
    out.u8(quint8(oldValue.size()));
    out.raw(oldValue);
    out.patchU16le(lengthAt, quint16(out.size() - lengthAt - 2));
}

void TokenEncoder::loginAck(ByteWriter& out) const {
    out.u8(token::LoginAck);
    const int lengthAt = out.size();
    out.u16le(0);
    out.u8(1); // interface: SQL
    out.u32be(version_);
    out.bVarchar(QStringLiteral("Microsoft SQL Server"));
    // 15.0.2000: a SQL Server 2019 build number.
    out.u8(15);
    out.u8(0);
    out.u8(0x07);
    out.u8(0xD0);
    out.patchU16le(lengthAt, quint16(out.size() - lengthAt - 2));
}

} // namespace sqlsim::tds
