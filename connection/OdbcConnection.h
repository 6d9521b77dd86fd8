#pragma once
// The ODBC side of the server connection: environment and connection handles, and running
// one batch on a fresh statement handle with every result drained.

#include "OdbcDiagnostics.h"
#include "OdbcHandles.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// The first result of a batch that carried columns, every row fetched.
struct OdbcResult {
    QStringList columns;
    // Row after row, one value per column; a null QVariant is SQL NULL. One array, as a vector per
    // row costs an allocation per row: with tens of thousands of rows, much of a fetch. A QList,
    // which moves its values as bytes when it grows.
    QList<QVariant> values;
    size_t rowCount = 0;

    const QVariant& value(size_t row, size_t column) const { return values[qsizetype(row * size_t(columns.size()) + column)]; }
};

class OdbcConnection {
public:
    OdbcConnection();
    ~OdbcConnection(); // disconnects before the handles are freed
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    // One attempt, no prompt. Throws EDatabaseError.
    void connect(const QString& connectionString, int loginTimeoutSeconds);
    void disconnect();
    bool connected() const { return connected_; }

    // Runs the batch with the given statement time-out (0: none). Every result is drained so
    // that an error in any of them is seen; all error messages are raised together.
    // Returns the first result that has columns.
    // onInfo, when given, is told every informational message (SQLSTATE 01xxx: "10 percent
    // processed.", "Processed 1 pages ...") as soon as it is read, on the calling thread. The
    // batch is read to its last result, as Microsoft's driver requires: it hands each later
    // message out through SQLMoreResults, and closing the statement early cancels a BACKUP.
    using InfoHandler = std::function<void(const OdbcDiagnostic&)>;
    std::optional<OdbcResult> run(const QString& statement, int timeoutSeconds, const InfoHandler& onInfo = {});

    // Asks the driver to stop the batch that run() is executing on another thread (SQLCancel,
    // which ODBC allows from any thread). The batch then fails with HY008 and the connection stays
    // usable. False when no batch is running.
    bool cancel();

private:
    // The statement handle of the running batch, for cancel(); guarded so that it is never
    // cancelled after run() has freed it.
    std::mutex runningMutex_;
    SQLHANDLE running_ = SQL_NULL_HANDLE;

    OdbcHandle environment_;
    OdbcHandle connection_;
    bool connected_ = false;
};
