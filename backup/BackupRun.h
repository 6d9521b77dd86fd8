#pragma once
// The backup button's run: every chosen database to its own file in the chosen directory,
// reported line by line to the sink. It needs no window.

#include "BackupStatements.h"

#include <QString>
#include <QStringList>

class RunSink;
class TADOConnection;

namespace BackupRun {

inline const QString kSeparator = QString(39, QLatin1Char('-'));

// The file for one database: directory + name + server time stamp + ".Bak".
QString backupFilePath(const QString& directory, const QString& database, const QString& serverTime);

// Whether a database name can stand in a file name as it is. A "\" or "/" would put the backup
// in another directory than the chosen one (a name such as "..\..\x"); the server refuses the other
// characters Windows keeps out of file names.
bool nameFitsFileName(const QString& database);

// The statement without options, with the name and the path escaped so that they stay values.
QString backupStatement(const QString& database, const QString& filePath);

// The line under a failure: every message the server sent, indented, so that a missing
// directory can be told from a service account without write permission.
QString reasonLine(const QString& serverMessage);

// Runs the whole press for the databases in list order. A failing BACKUP is logged for that
// database and the run goes on; a failing server-time query ends the run and raises. A BACKUP
// the user stopped is logged as cancelled and ends the run. With verifyAfterBackup, each set
// written is read back and its result logged after the success line.
void run(TADOConnection& connection, const QString& backupDirectory, const QStringList& databases, RunSink& sink,
         const BackupOptions& options = {});

} // namespace BackupRun
