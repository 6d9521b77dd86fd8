#pragma once
// One client connection's view of the engine, used by that connection's thread only, and the
// flag through which the protocol layer stops a running statement.

#include "Results.h"

#include <QString>

#include <atomic>

namespace sqlsim {

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

} // namespace sqlsim
