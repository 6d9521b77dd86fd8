#include "OdbcConnection.h"

#include "OdbcDiagnostics.h"

#include <QDateTime>

namespace {

QString fromWide(const SQLWCHAR* text, int chars) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), chars);
}

std::u16string toWide(const QString& text) { return text.toStdU16String(); }

SQLWCHAR* wide(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

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

template <typename T>
bool readFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, T& value) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, cType, &value, sizeof value, &indicator);
    if (!succeeded(rc))
        throw errorFromHandle(SQL_HANDLE_STMT, stmt, QStringLiteral("Could not read a column value"));
    return indicator != SQL_NULL_DATA;
}

QVariant readValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT sqlType, SQLSMALLINT scale) {
    switch (sqlType) {
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
        if (!readFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, ts))
            return QVariant();
        // The server sends its own wall-clock time, with no zone. It is kept exactly as sent: read
        // as this machine's local time it would go through the local zone (a time in a
        // daylight-saving gap would move) and cost a zone look-up for every value.
        return QDateTime(QDate(ts.year, ts.month, ts.day),
                         QTime(ts.hour, ts.minute, ts.second, int(ts.fraction / 1000000)), Qt::UTC);
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return readBinary(stmt, column);
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
        const QVariant text = readText(stmt, column);
        if (scale == 0 && !text.isNull()) {
            bool ok = false;
            const qint64 n = text.toString().toLongLong(&ok);
            if (ok)
                return n;
        }
        return text;
    }
    default:
        return readText(stmt, column);
    }
}

OdbcResult fetchResult(SQLHSTMT stmt, SQLSMALLINT columnCount) {
    OdbcResult result;
    std::vector<SQLSMALLINT> types(static_cast<size_t>(columnCount));
    std::vector<SQLSMALLINT> scales(static_cast<size_t>(columnCount));
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columnCount); ++c) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLULEN size = 0;
        SQLSMALLINT nullable = 0;
        SQLDescribeColW(stmt, c, name, SQLSMALLINT(sizeof name / sizeof name[0]), &nameLength, &types[c - 1], &size,
                        &scales[c - 1], &nullable);
        result.columns.append(fromWide(name, std::min<int>(nameLength, 511)));
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            throw errorFromHandle(SQL_HANDLE_STMT, stmt, QStringLiteral("Could not fetch a row"));
        std::vector<QVariant> row;
        row.reserve(size_t(columnCount));
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columnCount); ++c)
            row.push_back(readValue(stmt, c, types[c - 1], scales[c - 1]));
        result.rows.push_back(std::move(row));
    }
    return result;
}

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
                OdbcResult result = fetchResult(stmtHandle, columns);
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
