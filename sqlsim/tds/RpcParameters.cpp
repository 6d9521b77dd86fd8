#include "RpcParameters.h"

#include "../engine/CodePage.h"

#include <QtEndian>

namespace sqlsim::tds {

namespace {

namespace type {
constexpr quint8 Int1 = 0x30;
constexpr quint8 Bit = 0x32;
constexpr quint8 Int2 = 0x34;
constexpr quint8 Int4 = 0x38;
constexpr quint8 Int8 = 0x7F;
constexpr quint8 IntN = 0x26;
constexpr quint8 BitN = 0x68;
constexpr quint8 NText = 0x63;
constexpr quint8 Text = 0x23;
constexpr quint8 BigVarChar = 0xA7;
constexpr quint8 BigChar = 0xAF;
constexpr quint8 NVarChar = 0xE7;
constexpr quint8 NChar = 0xEF;
} // namespace type

constexpr quint16 kPlpMarker = 0xFFFF;
constexpr quint16 kNullLength = 0xFFFF;

qint64 littleEndian(const QByteArray& bytes) {
    switch (bytes.size()) {
    case 1:
        return quint8(bytes[0]);
    case 2:
        return qFromLittleEndian<qint16>(bytes.constData());
    case 4:
        return qFromLittleEndian<qint32>(bytes.constData());
    case 8:
        return qFromLittleEndian<qint64>(bytes.constData());
    default:
        throw ProtocolError("integer of an unusual width");
    }
}

// PLP (MS-TDS 2.2.5.2.3): total length (or the NULL marker), then chunks until a zero-length one.
std::optional<QByteArray> plpBytes(ByteReader& r) {
    const quint32 low = r.u32le();
    const quint32 high = r.u32le();
    if (low == 0xFFFFFFFF && high == 0xFFFFFFFF)
        return std::nullopt;
    QByteArray bytes;
    for (quint32 chunk = r.u32le(); chunk != 0; chunk = r.u32le()) {
        if (chunk > quint32(r.remaining()))
            throw ProtocolError("PLP chunk beyond the message");
        bytes += r.raw(int(chunk));
    }
    return bytes;
}

QString unicode(const QByteArray& bytes) {
    return QString(reinterpret_cast<const QChar*>(bytes.constData()), int(bytes.size() / 2));
}

// Text and NTEXT: TYPE_INFO is a 4-byte maximum and the collation; the value a text pointer
// (none for NULL), a timestamp and a 4-byte length.
std::optional<QByteArray> longText(ByteReader& r) {
    r.u32le();
    r.skip(5);
    const quint8 pointerLength = r.u8();
    if (pointerLength == 0)
        return std::nullopt;
    r.skip(pointerLength + 8);
    const quint32 length = r.u32le();
    if (length > quint32(r.remaining()))
        throw ProtocolError("text value beyond the message");
    return r.raw(int(length));
}

// Variable-length text with a 2-byte maximum: a 2-byte length, or PLP when the maximum is 0xFFFF.
std::optional<QByteArray> shortText(ByteReader& r) {
    const quint16 maxLength = r.u16le();
    r.skip(5); // collation
    if (maxLength == kPlpMarker)
        return plpBytes(r);
    const quint16 length = r.u16le();
    if (length == kNullLength)
        return std::nullopt;
    return r.raw(length);
}

} // namespace

std::optional<qint64> RpcParameter::integer() const {
    if (const auto* i = std::get_if<qint64>(&value))
        return *i;
    return std::nullopt;
}

QString RpcParameter::text() const {
    if (const auto* s = std::get_if<QString>(&value))
        return *s;
    return QString();
}

std::vector<RpcParameter> readRpcParameters(ByteReader& r, size_t count) {
    std::vector<RpcParameter> parameters;
    while (r.remaining() > 0 && parameters.size() < count) {
        RpcParameter p;
        p.name = r.bVarchar();
        p.output = (r.u8() & 0x01) != 0; // fByRefValue
        const quint8 t = r.u8();
        switch (t) {
        case type::Int1:
            p.value = qint64(r.u8());
            break;
        case type::Bit:
            p.value = qint64(r.u8() != 0);
            break;
        case type::Int2:
            p.value = littleEndian(r.raw(2));
            break;
        case type::Int4:
            p.value = littleEndian(r.raw(4));
            break;
        case type::Int8:
            p.value = littleEndian(r.raw(8));
            break;
        case type::IntN:
        case type::BitN: {
            r.u8(); // maximum width
            const quint8 length = r.u8();
            if (length != 0)
                p.value = t == type::BitN ? qint64(r.u8() != 0) : littleEndian(r.raw(length));
            break;
        }
        case type::NVarChar:
        case type::NChar:
            if (const auto bytes = shortText(r))
                p.value = unicode(*bytes);
            break;
        case type::BigVarChar:
        case type::BigChar:
            if (const auto bytes = shortText(r))
                p.value = CodePage::decode(*bytes);
            break;
        case type::NText:
            if (const auto bytes = longText(r))
                p.value = unicode(*bytes);
            break;
        case type::Text:
            if (const auto bytes = longText(r))
                p.value = CodePage::decode(*bytes);
            break;
        default:
            throw ProtocolError("RPC parameter of a type this server does not read");
        }
        parameters.push_back(std::move(p));
    }
    return parameters;
}

} // namespace sqlsim::tds
