#pragma once
// The simulated server's state and statement semantics, independent of the wire protocol.
// One Engine per running simulator, shared by all connections (thread-safe); one Session
// per client connection, used by that connection's thread only.

#include "Results.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace sqlsim {

struct LoginAccount {
    QString name;
    QString password;
    bool sysadmin = true;
};

struct EngineConfig {
    QString stateDir;                    // catalog and default drive C: live here
    QMap<QChar, QString> drives;         // upper-case drive letter -> host directory
    std::vector<LoginAccount> logins;    // empty: none can log in
    bool seed = false;                   // create sample databases when there is no user database
    int sampleDatabases = 0;             // and this many small numbered ones (benchmarks)
    QString statementLogPath;            // empty: no statement log
    int delayPerMbMs = 0;                // BACKUP/RESTORE pacing
    std::vector<std::pair<QString, int>> failRules; // batch containing text -> error number
    std::vector<std::pair<QString, int>> delayRules; // batch containing text -> milliseconds before it runs
    QString serverName = QStringLiteral("SQLSIM"); // @@SERVERNAME, MachineName in headers
};

// Set by the protocol layer when the client sends ATTENTION; long-running statements poll it
// and stop, leaving no half-done state behind.
class CancelToken {
public:
    void cancel() { cancelled_.store(true); }
    void reset() { cancelled_.store(false); }
    bool isCancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

class Engine;

class Session {
public:
    virtual ~Session() = default; // drops the global temporary tables this session created

    // Runs one SQL batch (the text after ALL_HEADERS) and writes its response items,
    // ending with a final Done. Never throws for SQL-level failures: those are Messages.
    virtual void executeBatch(const QString& batch, ResponseSink& sink, const CancelToken& cancel) = 0;

    // Transaction-manager requests. BACKUP and RESTORE inside an open transaction fail with 3021.
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;
    virtual bool inTransaction() const = 0;

    virtual QString loginName() const = 0;
    virtual int spid() const = 0;
};

class Engine {
public:
    // Opens (or creates) the state directory, loads the catalog, seeds when asked.
    // Throws std::runtime_error when the state cannot be opened.
    explicit Engine(EngineConfig config);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Checks a SQL login. On failure returns nullptr and fills *failure with the message
    // to send (18456, "Login failed for user '<name>'.").
    std::unique_ptr<Session> login(const QString& user, const QString& password, Message* failure);

    const EngineConfig& config() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sqlsim
