#include "BackupSetList.h"

#include "BackupSetNumber.h"
#include "Query.h"

QStringList readBackupSets(TADOConnection& connection, const QString& file, QMap<int, QString>* databaseNames) {
    QStringList entries;
    Query::eachRow(connection, headerOnlyStatement(file), [&](const TADODataSet& set) {
        const int position = set.FieldByName(QStringLiteral("Position")).AsInteger();
        if (databaseNames)
            databaseNames->insert(position, set.FieldByName(QStringLiteral("DatabaseName")).AsString());
        const QDateTime finished = set.FieldByName(QStringLiteral("BackupFinishDate")).AsDateTime();
        entries.append(backupSetEntryText(position, finished));
    });
    return entries;
}

QList<RestoreFileMove> readSetFiles(TADOConnection& connection, const QString& file, int setNumber) {
    QList<RestoreFileMove> files;
    Query::eachRow(connection, fileListOnlyStatement(file, setNumber), [&files](const TADODataSet& row) {
        files.append({row.FieldByName(QStringLiteral("LogicalName")).AsString(),
                      row.FieldByName(QStringLiteral("PhysicalName")).AsString()});
    });
    return files;
}
