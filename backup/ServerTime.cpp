#include "ServerTime.h"

#include "Query.h"

QString GetServerTime(TADOConnection& connection) {
    QString stamp;
    Query::firstRow(connection, QStringLiteral("Select GetDate() F_Date"), [&stamp](const TADODataSet& row) {
        stamp = row.FieldByName(QStringLiteral("F_Date")).AsDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    });
    return stamp;
}
