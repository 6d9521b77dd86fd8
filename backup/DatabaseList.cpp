#include "DatabaseList.h"

#include "Query.h"

QStringList DatabaseList::read(TADOConnection& connection) {
    QStringList names;
    Query::eachRow(
        connection, QStringLiteral("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]"),
        [&names](const TADODataSet& row) { names.append(row.FieldByName(QStringLiteral("Name")).AsString()); });
    return names;
}
