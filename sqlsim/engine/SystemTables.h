#pragma once
// The catalog views the program reads: master..sysdatabases and <db>..sysobjects,
// with the column names, order and types of SQL Server 2019.

#include "EngineState.h"

namespace sqlsim {

class SystemTables {
public:
    // Lock held by the caller.
    static ResultSet sysdatabases(const Catalog& catalog);
    // sys.databases: the leading columns of the view, through state_desc and the recovery model.
    static ResultSet databases(const Catalog& catalog);
    static ResultSet sysobjects(const QString& database, const TempTables& tempTables);
};

} // namespace sqlsim
