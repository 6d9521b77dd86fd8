#pragma once
// The catalog views the program reads: master..sysdatabases and <db>..sysobjects with the
// column names, order and types of SQL Server 2019; sys.databases, sys.master_files,
// sys.dm_exec_sessions and sys.sysprocesses with their leading columns in the documented order
// (the later, rarely read ones are left out).

#include "EngineState.h"

namespace sqlsim {

class SystemTables {
public:
    // Lock held by the caller.
    static ResultSet sysdatabases(const Catalog& catalog);
    static ResultSet sysobjects(const QString& database, const TempTables& tempTables);
    static ResultSet databases(const Catalog& catalog);
    static ResultSet masterFiles(const EngineState& engine);
    // Without VIEW SERVER STATE (here: without sysadmin) a login sees its own session only.
    static ResultSet execSessions(const EngineState& engine, int ownSpid, bool viewServerState);
    static ResultSet sysprocesses(const EngineState& engine, int ownSpid, bool viewServerState);
};

} // namespace sqlsim
