#pragma once
// Every statement text of the restore page, built in one place. Values are escaped with
// SqlText, so a quote in a path or a "]" in a database name stays part of the value.

#include <QList>
#include <QString>

// One database file of a backup set and where it is to be restored.
struct RestoreFileMove {
    QString logicalName;
    QString physicalName;
};

// The backup sets of a file.
QString headerOnlyStatement(const QString& backupFile);

// The database files of one set of a file.
QString fileListOnlyStatement(const QString& backupFile, int setNumber);

// Whether a path exists on the server: one row, (file exists, is a directory, parent exists).
QString fileExistStatement(const QString& path);

// RESTORE DATABASE of one set, every file moved; "REPLACE" only when replace is set.
// The MOVE clauses are separated by commas; moves must not be empty. statsPercent > 0 asks for a
// progress message at every that many percent.
QString buildRestoreStatement(const QString& database, const QString& backupFile, int setNumber, bool replace,
                              const QList<RestoreFileMove>& moves, int statsPercent = 0);
