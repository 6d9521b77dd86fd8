#pragma once
// Byte-level reading and writing of TDS structures. Reads are bounds-checked: a malformed
// message raises ProtocolError, which closes that one connection.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>

namespace sqlsim::tds {

class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ByteWriter {
public:
    QByteArray& bytes() { return data_; }
    const QByteArray& bytes() const { return data_; }
    int size() const { return int(data_.size()); }

    void u8(quint8 v) { data_.append(char(v)); }
    void u16le(quint16 v) { u8(v & 0xFF); u8(v >> 8); }
    void u16be(quint16 v) { u8(v >> 8); u8(v & 0xFF); }
    void u32le(quint32 v) { u16le(v & 0xFFFF); u16le(v >> 16); }
    void u32be(quint32 v) { u16be(v >> 16); u16be(v & 0xFFFF); }
    void u64le(quint64 v) { u32le(quint32(v)); u32le(quint32(v >> 32)); }
    void raw(const QByteArray& b) { data_.append(b); }
    void utf16(const QString& s) { data_.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2); }
    // B_VARCHAR: 1-byte length in characters (truncated at 255).
    void bVarchar(const QString& s) {
        const QString t = s.left(255);
        u8(quint8(t.size()));
        utf16(t);
    }
    // US_VARCHAR: 2-byte length in characters.
    void usVarchar(const QString& s) {
        const QString t = s.left(65535);
        u16le(quint16(t.size()));
        utf16(t);
    }
    // Overwrites a 16-bit little-endian value written earlier (token lengths).
    void patchU16le(int offset, quint16 v) {
        data_[offset] = char(v & 0xFF);
        data_[offset + 1] = char(v >> 8);
    }

private:
    QByteArray data_;
};

class ByteReader {
public:
    explicit ByteReader(const QByteArray& data, int offset = 0) : data_(data), pos_(offset) {}

    int pos() const { return pos_; }
    int remaining() const { return int(data_.size()) - pos_; }
    void seek(int pos) {
        if (pos < 0 || pos > data_.size())
            throw ProtocolError("offset outside the message");
        pos_ = pos;
    }
    void skip(int n) { need(n); pos_ += n; }

    quint8 u8() { need(1); return quint8(data_[pos_++]); }
    quint16 u16le() { const quint16 lo = u8(); return quint16(lo | (u8() << 8)); }
    quint16 u16be() { const quint16 hi = u8(); return quint16((hi << 8) | u8()); }
    quint32 u32le() { const quint32 lo = u16le(); return lo | (quint32(u16le()) << 16); }
    QByteArray raw(int n) { need(n); QByteArray b = data_.mid(pos_, n); pos_ += n; return b; }
    QString utf16(int chars) {
        if (chars < 0)
            throw ProtocolError("negative string length");
        const QByteArray b = raw(chars * 2);
        return QString(reinterpret_cast<const QChar*>(b.constData()), chars);
    }
    QString bVarchar() { return utf16(u8()); }
    QString usVarchar() { return utf16(u16le()); }

private:
    void need(int n) const {
        if (n < 0 || pos_ + qint64(n) > data_.size())
            throw ProtocolError("message shorter than its declared contents");
    }

    const QByteArray& data_;
    int pos_;
};

} // namespace sqlsim::tds
