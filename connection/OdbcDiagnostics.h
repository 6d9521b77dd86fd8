#pragma once
// Reads ODBC diagnostic records into the program's error type.

#include "EDatabaseError.h"

#include <sql.h>

#include <QString>
#include <QStringList>

struct OdbcDiagnostic {
    QString sqlState;
    int nativeError = 0;
    QString message; // driver prefixes removed
};

// Removes the leading "[vendor][driver][SQL Server]" groups that drivers put before a message.
QString stripDriverPrefixes(const QString& message);

QList<OdbcDiagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The error for a failed call: every error record of the handle (informational records
// left out when there are errors), one per line, in the order sent.
EDatabaseError errorFromDiagnostics(const QList<OdbcDiagnostic>& records, const QString& fallback);
EDatabaseError errorFromHandle(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback);
