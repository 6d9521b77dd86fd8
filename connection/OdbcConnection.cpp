#include "OdbcConnection.h"

#include "OdbcDiagnostics.h"
#include "ResultFetch.h"

namespace {

std::u16string toWide(const QString& text) { return text.toStdU16String(); }

SQLWCHAR* wide(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

} // namespace

OdbcConnection::OdbcConnection() {
    SQLHANDLE env = SQL_NULL_HANDLE;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw EDatabaseError(QStringLiteral("Could not allocate the ODBC environment"));
    environment_ = OdbcHandle(SQL_HANDLE_ENV, env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

OdbcConnection::~OdbcConnection() { disconnect(); }

void OdbcConnection::connect(const QString& connectionString, int loginTimeoutSeconds) {
    disconnect();
    SQLHANDLE dbc = SQL_NULL_HANDLE;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment_.get(), &dbc)))
        throw errorFromHandle(SQL_HANDLE_ENV, environment_.get(),
                              QStringLiteral("Could not allocate an ODBC connection"));
    OdbcHandle handle(SQL_HANDLE_DBC, dbc);
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeoutSeconds)), 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    std::u16string text = toWide(connectionString);
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, wide(text), SQLSMALLINT(text.size()), nullptr, 0, nullptr,
                                           SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc))
        throw errorFromHandle(SQL_HANDLE_DBC, dbc, QStringLiteral("Could not connect to the server"));
    connection_ = std::move(handle);
    connected_ = true;
}

void OdbcConnection::disconnect() {
    if (connected_)
        SQLDisconnect(connection_.get());
    connected_ = false;
    connection_.reset();
}

namespace {

// Publishes the running batch's handle for cancel() and withdraws it before the handle is freed.
class RunningStatement {
public:
    RunningStatement(std::mutex& mutex, SQLHANDLE& slot, SQLHANDLE handle) : mutex_(mutex), slot_(slot) {
        std::lock_guard lock(mutex_);
        slot_ = handle;
    }
    ~RunningStatement() {
        std::lock_guard lock(mutex_);
        slot_ = SQL_NULL_HANDLE;
    }
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;

private:
    std::mutex& mutex_;
    SQLHANDLE& slot_;
};

} // namespace

bool OdbcConnection::cancel() {
    std::lock_guard lock(runningMutex_);
    return running_ != SQL_NULL_HANDLE && succeeded(SQLCancel(running_));
}

std::optional<OdbcResult> OdbcConnection::run(const QString& statement, int timeoutSeconds,
                                              const InfoHandler& onInfo) {
    if (!connected_)
        throw EDatabaseError(QStringLiteral("Connection is closed"));
    SQLHANDLE stmtHandle = SQL_NULL_HANDLE;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection_.get(), &stmtHandle)))
        throw errorFromHandle(SQL_HANDLE_DBC, connection_.get(), QStringLiteral("Could not allocate a statement"));
    OdbcHandle stmt(SQL_HANDLE_STMT, stmtHandle);
    RunningStatement running(runningMutex_, running_, stmtHandle);
    SQLSetStmtAttr(stmtHandle, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(timeoutSeconds)), 0);

    std::optional<OdbcResult> firstWithColumns;
    // Every record of every call that failed. A failed call counts even when its records are
    // all informational: FreeTDS reports a server that vanished mid-batch as SQL_ERROR with only
    // 01000 "Unexpected EOF from the server".
    bool failed = false;
    QList<OdbcDiagnostic> records;
    bool linkLost = false;
    auto tell = [&](const QList<OdbcDiagnostic>& read) {
        for (const OdbcDiagnostic& d : read)
            if (d.sqlState.startsWith(QLatin1String("01")))
                onInfo(d);
    };
    auto collect = [&](SQLRETURN rc) {
        // Records are read only when someone listens: a run of many statements pays nothing.
        if (rc == SQL_SUCCESS_WITH_INFO && onInfo)
            tell(readDiagnostics(SQL_HANDLE_STMT, stmtHandle));
        if (rc != SQL_ERROR)
            return;
        failed = true;
        const QList<OdbcDiagnostic> read = readDiagnostics(SQL_HANDLE_STMT, stmtHandle);
        if (onInfo)
            tell(read);
        records += read;
        SQLUINTEGER dead = SQL_CD_FALSE;
        linkLost = linkLost || (SQLGetConnectAttr(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr) ==
                                    SQL_SUCCESS &&
                                dead == SQL_CD_TRUE);
    };

    std::u16string text = toWide(statement);
    SQLRETURN rc = SQLExecDirectW(stmtHandle, wide(text), SQLINTEGER(text.size()));
    collect(rc);
    // A time-out or a lost link ends the batch: there are no further results to read.
    auto fatal = [&] {
        if (linkLost)
            return true;
        for (const OdbcDiagnostic& d : records) {
            if (d.sqlState == QLatin1String("HYT00") || d.sqlState == QLatin1String("HY008") ||
                d.sqlState.startsWith(QLatin1String("08")))
                return true;
        }
        return false;
    };
    while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE && !fatal()) {
        if (succeeded(rc)) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmtHandle, &columns);
            if (columns > 0) {
                OdbcResult result = ResultFetch::fetch(stmtHandle, connection_.get(), columns);
                if (!firstWithColumns)
                    firstWithColumns = std::move(result);
            }
        }
        rc = SQLMoreResults(stmtHandle);
        collect(rc);
    }
    if (failed)
        throw errorFromDiagnostics(records, QStringLiteral("The statement failed"));
    return firstWithColumns;
}
