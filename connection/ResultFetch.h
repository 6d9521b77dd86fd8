#pragma once
// Fetching every row of the current result of a statement handle.

#include "OdbcConnection.h"

#include <sql.h>

namespace ResultFetch {

// Rows per block when every column can be bound.
constexpr SQLULEN kBlockRows = 256;

// Reads the result in blocks of bound columns where the column types allow it. A result with long
// values binds the other columns and reads the long ones with SQLGetData row by row when the driver
// allows that (dbc tells); otherwise, and whenever binding is refused, it is read value by value.
OdbcResult fetch(SQLHSTMT stmt, SQLHDBC dbc, SQLSMALLINT columnCount);

// Every value of every row with its own SQLGetData call.
OdbcResult fetchValueByValue(SQLHSTMT stmt, SQLSMALLINT columnCount);

} // namespace ResultFetch
