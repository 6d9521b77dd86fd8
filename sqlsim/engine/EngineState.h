#pragma once
// What the statement handlers share: the engine-wide state (one per simulator) and the
// context of the batch being run. Catalog, temp tables and the session registry are
// guarded by EngineState::mutex.

#include "Catalog.h"
#include "DriveMap.h"
#include "Engine.h"
#include "StatementLog.h"
#include "TempTables.h"

#include <atomic>
#include <map>
#include <mutex>

namespace sqlsim {

struct EngineState {
    explicit EngineState(EngineConfig cfg);

    EngineConfig config;
    DriveMap drives;
    StatementLog log;
    std::atomic<int> nextSpid{51};

    std::mutex mutex;
    Catalog catalog;
    TempTables tempTables;
    std::map<int, QString> sessionDatabases; // spid -> current database

    // Serialises the read-append-rename of backup files, so that two backups to one file both land.
    std::mutex backupFileMutex;

    // Host path of a database file, or empty when its path lies outside the drives.
    QString hostPathOf(const QString& physicalName) const;
    // The database whose file is at this host path (compared after resolving), if any. Lock held.
    const Database* ownerOfHostPath(const QString& hostPath) const;
};

struct SessionState {
    QString login;
    bool sysadmin = true;
    int spid = 0;
    QString database = QStringLiteral("master");
    QString language = QStringLiteral("us_english");
    int tranCount = 0;
};

struct ExecContext {
    EngineState& engine;
    SessionState& session;
    ResponseSink& sink;
    const CancelToken& cancel;
};

} // namespace sqlsim
