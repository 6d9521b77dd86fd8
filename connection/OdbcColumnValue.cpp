#include "OdbcColumnValue.h"

#include "OdbcDiagnostics.h"

#include <QDateTime>

#include <algorithm>
#include <type_traits>

namespace {

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

QString fromWide(const SQLWCHAR* text, int chars) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), chars);
}

// Reads a long value in pieces: the driver returns SQL_SUCCESS_WITH_INFO while more remains, and
// a text piece leaves room for its terminator.
template <typename Value>
QVariant readInPieces(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, char* buffer, SQLLEN capacity,
                      int terminatorBytes) {
    Value value;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, cType, buffer, capacity, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            throw errorFromHandle(SQL_HANDLE_STMT, stmt, QStringLiteral("Could not read a column value"));
        if (indicator == SQL_NULL_DATA)
            return QVariant();
        const SQLLEN room = capacity - terminatorBytes;
        const int bytes = int((indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator);
        if constexpr (std::is_same_v<Value, QString>)
            value += fromWide(reinterpret_cast<const SQLWCHAR*>(buffer), bytes / 2);
        else
            value.append(buffer, bytes);
        if (rc == SQL_SUCCESS)
            break;
    }
    return value;
}

QVariant readText(SQLHSTMT stmt, SQLUSMALLINT column) {
    alignas(SQLWCHAR) char buffer[8192];
    return readInPieces<QString>(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, sizeof(SQLWCHAR));
}

QVariant readBinary(SQLHSTMT stmt, SQLUSMALLINT column) {
    char buffer[8192];
    return readInPieces<QByteArray>(stmt, column, SQL_C_BINARY, buffer, sizeof buffer, 0);
}

template <typename T> bool readFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, T& value) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, cType, &value, sizeof value, &indicator);
    if (!succeeded(rc))
        throw errorFromHandle(SQL_HANDLE_STMT, stmt, QStringLiteral("Could not read a column value"));
    return indicator != SQL_NULL_DATA;
}

} // namespace

std::vector<OdbcColumnDescription> describeColumns(SQLHSTMT stmt, SQLSMALLINT columnCount) {
    std::vector<OdbcColumnDescription> columns(size_t(std::max<SQLSMALLINT>(columnCount, 0)));
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns.size()); ++c) {
        OdbcColumnDescription& d = columns[c - 1];
        SQLWCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT nullable = 0;
        SQLDescribeColW(stmt, c, name, SQLSMALLINT(sizeof name / sizeof name[0]), &nameLength, &d.sqlType, &d.size,
                        &d.scale, &nullable);
        d.name = fromWide(name, std::clamp<int>(nameLength, 0, 511));
    }
    return columns;
}

QVariant numericValue(const QVariant& text, SQLSMALLINT scale) {
    if (scale == 0 && !text.isNull()) {
        bool ok = false;
        const qint64 n = text.toString().toLongLong(&ok);
        if (ok)
            return n;
    }
    return text;
}

QDateTime serverDateTime(const SQL_TIMESTAMP_STRUCT& ts) {
    return QDateTime(QDate(ts.year, ts.month, ts.day), QTime(ts.hour, ts.minute, ts.second, int(ts.fraction / 1000000)),
                     Qt::UTC);
}

QVariant readColumnValue(SQLHSTMT stmt, SQLUSMALLINT column, const OdbcColumnDescription& description) {
    switch (description.sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
        SQLBIGINT v = 0;
        return readFixed(stmt, column, SQL_C_SBIGINT, v) ? QVariant(qint64(v)) : QVariant();
    }
    case SQL_BIT: {
        unsigned char v = 0;
        return readFixed(stmt, column, SQL_C_BIT, v) ? QVariant(v != 0) : QVariant();
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
        double v = 0;
        return readFixed(stmt, column, SQL_C_DOUBLE, v) ? QVariant(v) : QVariant();
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE: {
        SQL_TIMESTAMP_STRUCT ts{};
        return readFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, ts) ? QVariant(serverDateTime(ts)) : QVariant();
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return readBinary(stmt, column);
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return numericValue(readText(stmt, column), description.scale);
    default:
        return readText(stmt, column);
    }
}
