#include "BoundColumn.h"

#include "EDatabaseError.h"

#include <cstring>

namespace {

template <typename T> T element(const char* data, SQLULEN row) {
    T value;
    std::memcpy(&value, data + row * sizeof(T), sizeof(T));
    return value;
}

} // namespace

std::optional<BoundColumn::Kind> BoundColumn::kindFor(const OdbcColumnDescription& column) {
    switch (column.sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return Kind::Integer;
    case SQL_BIT:
        return Kind::Bit;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Kind::Double;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
        return Kind::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
        if (column.size > 0 && column.size <= kMaxBinaryBytes)
            return Kind::Binary;
        return std::nullopt;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        if (column.size > 0 && column.size <= kMaxTextChars)
            return Kind::Numeric;
        return std::nullopt;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_GUID:
        if (column.size > 0 && column.size <= kMaxTextChars)
            return Kind::Text;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

BoundColumn::BoundColumn(const OdbcColumnDescription& column, Kind kind, SQLULEN rows)
    : name_(column.name), kind_(kind), scale_(column.scale) {
    switch (kind_) {
    case Kind::Integer:
        elementBytes_ = sizeof(SQLBIGINT);
        break;
    case Kind::Bit:
        elementBytes_ = sizeof(unsigned char);
        break;
    case Kind::Double:
        elementBytes_ = sizeof(double);
        break;
    case Kind::DateTime:
        elementBytes_ = sizeof(SQL_TIMESTAMP_STRUCT);
        break;
    case Kind::Binary:
        elementBytes_ = SQLLEN(column.size);
        break;
    case Kind::Text:
        // A character of a varchar's code page never becomes more than one UTF-16 unit per byte.
        elementBytes_ = SQLLEN((column.size + 1) * sizeof(SQLWCHAR));
        break;
    case Kind::Numeric:
        // The digits, a sign, a decimal point and a leading zero, and the terminator.
        elementBytes_ = SQLLEN((column.size + 4) * sizeof(SQLWCHAR));
        break;
    }
    data_.resize(size_t(elementBytes_) * rows);
    indicators_.resize(rows);
}

SQLSMALLINT BoundColumn::cType() const {
    switch (kind_) {
    case Kind::Integer:
        return SQL_C_SBIGINT;
    case Kind::Bit:
        return SQL_C_BIT;
    case Kind::Double:
        return SQL_C_DOUBLE;
    case Kind::DateTime:
        return SQL_C_TYPE_TIMESTAMP;
    case Kind::Binary:
        return SQL_C_BINARY;
    case Kind::Text:
    case Kind::Numeric:
        return SQL_C_WCHAR;
    }
    return SQL_C_WCHAR;
}

SQLRETURN BoundColumn::bind(SQLHSTMT stmt, SQLUSMALLINT columnNumber) {
    return SQLBindCol(stmt, columnNumber, cType(), data_.data(), elementBytes_, indicators_.data());
}

QVariant BoundColumn::value(SQLULEN row) const {
    const SQLLEN indicator = indicators_[row];
    if (indicator == SQL_NULL_DATA)
        return QVariant();
    const char* at = data_.data() + row * SQLULEN(elementBytes_);
    auto checkedLength = [&](SQLLEN room) {
        if (indicator == SQL_NO_TOTAL || indicator < 0 || indicator > room)
            throw EDatabaseError(
                QStringLiteral("The server sent a value of column '%1' longer than the column's declared size")
                    .arg(name_));
        return indicator;
    };
    switch (kind_) {
    case Kind::Integer:
        return qint64(element<SQLBIGINT>(data_.data(), row));
    case Kind::Bit:
        return *at != 0;
    case Kind::Double:
        return element<double>(data_.data(), row);
    case Kind::DateTime:
        return serverDateTime(element<SQL_TIMESTAMP_STRUCT>(data_.data(), row));
    case Kind::Binary:
        return QByteArray(at, int(checkedLength(elementBytes_)));
    case Kind::Text:
    case Kind::Numeric: {
        const SQLLEN bytes = checkedLength(elementBytes_ - SQLLEN(sizeof(SQLWCHAR)));
        QVariant text = QString::fromUtf16(reinterpret_cast<const char16_t*>(at), qsizetype(bytes / 2));
        return kind_ == Kind::Numeric ? numericValue(text, scale_) : text;
    }
    }
    return QVariant();
}
