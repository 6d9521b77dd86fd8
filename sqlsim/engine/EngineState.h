#pragma once
// What the statement handlers share: the engine-wide state (one per simulator) and the
// context of the batch being run. Catalog, temp tables and the session registry are
// guarded by EngineState::mutex.

#include "Catalog.h"
#include "DriveMap.h"
#include "EngineConfig.h"
#include "Session.h"
#include "StatementLog.h"
#include "TempTables.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>

namespace sqlsim {

struct SessionInfo {
    QString login;
    QDateTime loginTime;
    QString programName; // empty for a client session (the protocol layer does not pass it on)
    bool held = false;   // simulated by --hold-session, no client behind it
};

struct EngineState {
    explicit EngineState(EngineConfig cfg);

    EngineConfig config;
    DriveMap drives;
    StatementLog log;
    std::atomic<int> nextSpid{51};

    // Recursive: functions such as DB_ID read the catalog while a statement may already hold it.
    std::recursive_mutex mutex;
    Catalog catalog;
    TempTables tempTables;
    std::map<int, QString> sessionDatabases; // spid -> current database
    std::map<int, SessionInfo> sessions;     // spid -> who, for sys.dm_exec_sessions
    std::set<int> killedSpids;               // ended by ROLLBACK IMMEDIATE; their next batch fails

    // Adds a session that holds a database open (--hold-session); its spid. Lock held.
    int holdSession(const QString& database);
    // Ends every other session in database; false when there were some and rollback is false.
    // Lock held.
    bool endOtherSessions(const QString& database, int ownSpid, bool rollback);
    // Sessions other than ownSpid whose current database is database. Lock held.
    std::vector<int> otherSessionsIn(const QString& database, int ownSpid) const;

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
