#include "MinimalOdbc.h"

#include <stdexcept>
#include <vector>

namespace {

bool ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    SQLCHAR state[6] = {};
    SQLCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::string message = what;
    if (ok(SQLGetDiagRecA(type, handle, 1, state, &native, text, sizeof text, &length)))
        message += std::string(": ") + reinterpret_cast<char*>(text);
    throw std::runtime_error(message);
}

} // namespace

MinimalOdbc::MinimalOdbc(const std::string& connectionString) {
    SQLHANDLE env = nullptr;
    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw std::runtime_error("no ODBC environment");
    env_.reset(env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHANDLE dbc = nullptr;
    if (!ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)))
        fail(SQL_HANDLE_ENV, env, "no ODBC connection handle");
    dbc_.reset(dbc);
    std::string text = connectionString;
    if (!ok(SQLDriverConnectA(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQLSMALLINT(text.size()), nullptr,
                              0, nullptr, SQL_DRIVER_NOPROMPT)))
        fail(SQL_HANDLE_DBC, dbc, "connect");
    connected_ = true;
}

MinimalOdbc::~MinimalOdbc() {
    if (connected_)
        SQLDisconnect(dbc_.get());
}

namespace {

constexpr SQLULEN kBlockRows = 256;
constexpr SQLULEN kMaxBoundChars = 4000;

// Reads the current result one value at a time; returns its row count.
long fetchValues(SQLHSTMT stmt, SQLSMALLINT columns, std::u16string* firstValue) {
    std::vector<SQLWCHAR> buffer(4096);
    long rows = 0;
    SQLRETURN rc;
    while (ok(rc = SQLFetch(stmt))) {
        ++rows;
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
            SQLLEN indicator = 0;
            if (!ok(SQLGetData(stmt, c, SQL_C_WCHAR, buffer.data(), SQLLEN(buffer.size() * sizeof(SQLWCHAR)),
                               &indicator)))
                fail(SQL_HANDLE_STMT, stmt, "read");
            if (firstValue && rows == 1 && c == 1 && indicator >= 0)
                firstValue->assign(reinterpret_cast<const char16_t*>(buffer.data()), size_t(indicator) / 2);
        }
    }
    if (rc != SQL_NO_DATA)
        fail(SQL_HANDLE_STMT, stmt, "fetch");
    return rows;
}

// Reads the current result in blocks, every column bound as text; -1 when a column is too long to
// bind (nothing is fetched then).
long fetchBlocks(SQLHSTMT stmt, SQLSMALLINT columns, std::u16string* firstValue) {
    std::vector<SQLLEN> widths(static_cast<size_t>(columns)); // characters per value, terminator included
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
        SQLULEN size = 0;
        if (!ok(SQLDescribeColW(stmt, c, nullptr, 0, nullptr, nullptr, &size, nullptr, nullptr)) || size == 0 ||
            size > kMaxBoundChars)
            return -1;
        widths[c - 1] = SQLLEN(size) + 4; // room for a sign, a point and a leading zero
    }
    std::vector<std::vector<SQLWCHAR>> values(static_cast<size_t>(columns));
    std::vector<std::vector<SQLLEN>> indicators(static_cast<size_t>(columns), std::vector<SQLLEN>(kBlockRows));
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlockRows), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
        values[c - 1].resize(size_t(widths[c - 1]) * kBlockRows);
        SQLBindCol(stmt, c, SQL_C_WCHAR, values[c - 1].data(), widths[c - 1] * SQLLEN(sizeof(SQLWCHAR)),
                   indicators[c - 1].data());
    }
    long rows = 0;
    SQLRETURN rc;
    while (ok(rc = SQLFetch(stmt))) {
        if (firstValue && rows == 0 && fetched > 0 && indicators[0][0] >= 0)
            firstValue->assign(reinterpret_cast<const char16_t*>(values[0].data()), size_t(indicators[0][0]) / 2);
        rows += long(fetched);
    }
    // The buffers go away with this frame: the handle must not keep pointing at them.
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    if (rc != SQL_NO_DATA)
        fail(SQL_HANDLE_STMT, stmt, "fetch");
    return rows;
}

} // namespace

long MinimalOdbc::run(const std::u16string& batch, std::u16string* firstValue) {
    return execute(batch, firstValue, true);
}

long MinimalOdbc::runValueByValue(const std::u16string& batch, std::u16string* firstValue) {
    return execute(batch, firstValue, false);
}

long MinimalOdbc::execute(const std::u16string& batch, std::u16string* firstValue, bool inBlocks) {
    SQLHANDLE stmtHandle = nullptr;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &stmtHandle)))
        fail(SQL_HANDLE_DBC, dbc_.get(), "no statement handle");
    const Handle stmt(stmtHandle, {SQL_HANDLE_STMT});
    std::u16string text = batch;
    SQLRETURN rc = SQLExecDirectW(stmtHandle, reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size()));
    long rows = 0;
    while (rc != SQL_NO_DATA) {
        if (!ok(rc))
            fail(SQL_HANDLE_STMT, stmtHandle, "execute");
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmtHandle, &columns);
        if (columns > 0) {
            std::u16string* first = rows == 0 ? firstValue : nullptr;
            const long blockRows = inBlocks ? fetchBlocks(stmtHandle, columns, first) : -1;
            rows += blockRows >= 0 ? blockRows : fetchValues(stmtHandle, columns, first);
        }
        rc = SQLMoreResults(stmtHandle);
    }
    return rows;
}
