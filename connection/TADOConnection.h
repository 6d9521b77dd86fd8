#pragma once
// The one server connection of the program, over ODBC. Owned by the main window through its
// ConnectionHolder; the pages and pickers borrow the holder.

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class LongRunWorker;
class OdbcConnection; // RAII owner of the ODBC environment and connection handles

// An informational message of the server, such as 3211 "10 percent processed.".
struct ServerMessage {
    int number = 0;
    QString text;
};

class TADOConnection : public QObject {
    Q_OBJECT
public:
    explicit TADOConnection(QObject* owner = nullptr);
    ~TADOConnection() override; // closes first

    QString ConnectionString() const;
    void setConnectionString(const QString& connectionString);

    // Login time-out in seconds; a new object has 15, ConnSql sets 10 on every connect.
    int ConnectionTimeout() const;
    void setConnectionTimeout(int seconds);

    // Statement time-out in seconds for Execute and queries: 30, never changed by the program.
    int CommandTimeout() const;
    // Tests only: a short time-out, so that a time-out can be provoked quickly.
    void setCommandTimeoutForTesting(int seconds);

    // One synchronous attempt; throws EDatabaseError.
    void Open();
    // Nothing happens when already closed.
    void Close();
    // Reads the connection's own state; sends nothing to the server.
    bool Connected() const;

    // Runs one batch under the 30-second statement time-out; results are discarded.
    // Throws EDatabaseError with every error message of the batch, one per line.
    void Execute(const QString& statement);

    // Runs one batch without a statement time-out (BACKUP, RESTORE). The call stays
    // synchronous for the caller, but the window's event loop runs, user input included (the
    // window holds back what must not reach its pages), and the connection is busy meanwhile.
    // Throws EOperationCancelled when cancelLong() stopped the batch.
    // onMessage is told each informational message on this (the window's) thread, in the order
    // sent: while the batch runs when the driver hands them over early, and all of them before
    // ExecuteLong returns. It must not throw.
    using MessageHandler = std::function<void(const ServerMessage&)>;
    void ExecuteLong(const QString& statement, const MessageHandler& onMessage = {});

    // From the window's thread while ExecuteLong runs: asks the driver to stop the batch.
    // False when no long batch is running.
    bool cancelLong();
    // Whether cancelLong() was asked during the last (or the running) ExecuteLong, even when
    // the batch had already finished by then.
    bool cancelRequested() const { return cancelRequested_; }

    // True while ExecuteLong runs (the main window refuses to close meanwhile).
    bool busy() const;
    // Told true when a long statement starts and false when it has ended: the window's busy
    // pointer, which is no business of the database layer.
    void setBusyNotifier(std::function<void(bool)> notify);

    // For queries on this connection. Throws EDatabaseError when not connected.
    OdbcConnection& odbc();

private:
    std::unique_ptr<OdbcConnection> odbc_;
    QString connectionString_;
    int connectionTimeout_ = 15;
    int commandTimeout_ = 30;
    std::atomic<int> busyCount_{0};
    bool cancelRequested_ = false;
    std::function<void(bool)> busyNotifier_;
    // Made at the first long statement; destroyed (joined) before odbc_, which its jobs use.
    std::unique_ptr<LongRunWorker> worker_;
};
