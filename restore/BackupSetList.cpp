#include "BackupSetList.h"

#include "BackupSetNumber.h"
#include "Query.h"

QStringList readBackupSets(TADOConnection& connection, const QString& file) {
    QStringList entries;
    Query::eachRow(connection, headerOnlyStatement(file), [&entries](const TADODataSet& set) {
        const int position = set.FieldByName(QStringLiteral("Position")).AsInteger();
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
