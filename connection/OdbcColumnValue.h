#pragma once
// One column of a result as the driver describes it, and reading one value of the current row
// with SQLGetData, converted to the program's value types.

#include <sql.h>
#include <sqlext.h>

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <vector>

struct OdbcColumnDescription {
    QString name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0; // characters for text, bytes for binary, digits for numeric; 0 when unbounded
    SQLSMALLINT scale = 0;
};

std::vector<OdbcColumnDescription> describeColumns(SQLHSTMT stmt, SQLSMALLINT columnCount);

// The value of the column (from 1) in the current row: a null QVariant for SQL NULL, qint64 for
// integers and numerics without scale, bool, double, QDateTime as the server sent it (UTC, no
// zone), QByteArray for binary, QString for the rest. Long values are read in pieces.
QVariant readColumnValue(SQLHSTMT stmt, SQLUSMALLINT column, const OdbcColumnDescription& description);

// A numeric's text as the program keeps it: a whole number when there is no scale.
QVariant numericValue(const QVariant& text, SQLSMALLINT scale);

// The server's wall-clock time, kept exactly as sent: read as this machine's local time it would
// go through the local zone (a time in a daylight-saving gap would move) and cost a zone look-up
// for every value.
QDateTime serverDateTime(const SQL_TIMESTAMP_STRUCT& ts);
