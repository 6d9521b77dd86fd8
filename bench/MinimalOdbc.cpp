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

long MinimalOdbc::run(const std::u16string& batch, std::u16string* firstValue) {
    SQLHANDLE stmtHandle = nullptr;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &stmtHandle)))
        fail(SQL_HANDLE_DBC, dbc_.get(), "no statement handle");
    const Handle stmt(stmtHandle, {SQL_HANDLE_STMT});
    std::u16string text = batch;
    SQLRETURN rc = SQLExecDirectW(stmtHandle, reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size()));
    long rows = 0;
    std::vector<SQLWCHAR> buffer(4096);
    while (rc != SQL_NO_DATA) {
        if (!ok(rc))
            fail(SQL_HANDLE_STMT, stmtHandle, "execute");
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmtHandle, &columns);
        while (columns > 0 && ok(rc = SQLFetch(stmtHandle))) {
            ++rows;
            for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
                SQLLEN indicator = 0;
                if (!ok(SQLGetData(stmtHandle, c, SQL_C_WCHAR, buffer.data(), SQLLEN(buffer.size() * sizeof(SQLWCHAR)),
                                   &indicator)))
                    fail(SQL_HANDLE_STMT, stmtHandle, "read");
                if (firstValue && rows == 1 && c == 1 && indicator >= 0)
                    firstValue->assign(reinterpret_cast<const char16_t*>(buffer.data()), size_t(indicator) / 2);
            }
        }
        if (columns > 0 && rc != SQL_NO_DATA)
            fail(SQL_HANDLE_STMT, stmtHandle, "fetch");
        rc = SQLMoreResults(stmtHandle);
    }
    return rows;
}
