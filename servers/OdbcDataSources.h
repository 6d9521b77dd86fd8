// SPDX-License-Identifier: MIT
#pragma once
// The user and system ODBC data sources that use a SQL Server driver, as server box entries: the
// DSN's name, and the server address it names. The program connects by address, not by DSN=:
// FreeTDS refuses DSN= together with Servername=, which pinned connections need.

#include "ServerChoice.h"

class OdbcDataSources {
public:
    // User DSNs first, then system ones, each name once, in the driver manager's order.
    // Skipped: other drivers, tds versions below 7.0, and DSNs without a server address (one
    // that only names a freetds.conf section is offered through that section).
    static ServerChoices servers();

    // FreeTDS, or one of Microsoft's drivers for SQL Server, by name or by library path.
    static bool isSqlServerDriver(const QString& driver);
};
