#pragma once
// Reading a backup file on the server: its backup sets, and the database files of one set.

#include "RestoreStatements.h"

#include <QList>
#include <QMap>
#include <QStringList>

class TADOConnection;

// One entry per backup set, "<position> <finish time>", in the server's order.
// Raises EDatabaseError when the server cannot read the file.
// databaseNames, when given, receives the name of the backed-up database of each set by position.
QStringList readBackupSets(TADOConnection& connection, const QString& file, QMap<int, QString>* databaseNames = nullptr);

// The database files of one set: logical name and physical path, in the server's order.
QList<RestoreFileMove> readSetFiles(TADOConnection& connection, const QString& file, int setNumber);
