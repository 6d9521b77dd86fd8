#pragma once
// The buffers of one column bound for block fetch (column-wise: a value array and an indicator
// array, one element per row of the block), and the conversion of an element to the program's
// value, the same value that reading it with SQLGetData gives.

#include "OdbcColumnValue.h"

#include <sql.h>
#include <sqlext.h>

#include <QVariant>

#include <optional>
#include <vector>

class BoundColumn {
public:
    enum class Kind { Integer, Bit, Double, DateTime, Binary, Text, Numeric };

    // Text longer than this many characters and binary longer than this many bytes is read with
    // SQLGetData: a block of such buffers would cost more memory than the calls it saves.
    static constexpr SQLULEN kMaxTextChars = 4000;
    static constexpr SQLULEN kMaxBinaryBytes = 8000;

    // How the column binds; none for long values and types that are read as text piece by piece.
    static std::optional<Kind> kindFor(const OdbcColumnDescription& column);

    BoundColumn(const OdbcColumnDescription& column, Kind kind, SQLULEN rows);
    BoundColumn(BoundColumn&&) noexcept = default;
    BoundColumn& operator=(BoundColumn&&) noexcept = default;
    BoundColumn(const BoundColumn&) = delete;
    BoundColumn& operator=(const BoundColumn&) = delete;

    // The buffers stay owned here and must outlive the binding (SQLFreeStmt SQL_UNBIND ends it).
    SQLRETURN bind(SQLHSTMT stmt, SQLUSMALLINT columnNumber);

    // The value of row (from 0) of the last block. Raises EDatabaseError when the driver had to cut
    // it to fit: the server sent more than the column's description promised.
    QVariant value(SQLULEN row) const;

    // What the driver writes into: elementBytes() per row, and one indicator per row.
    char* data() { return data_.data(); }
    SQLLEN* indicators() { return indicators_.data(); }
    SQLLEN elementBytes() const { return elementBytes_; }
    SQLSMALLINT cType() const;

private:
    QString name_;
    Kind kind_;
    SQLSMALLINT scale_;
    SQLLEN elementBytes_;
    std::vector<char> data_;
    std::vector<SQLLEN> indicators_;
};
