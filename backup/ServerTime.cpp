#include "ServerTime.h"

#include "TADODataSet.h"

QString GetServerTime(TADOConnection& connection) {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(QStringLiteral("Select GetDate() F_Date"));
    query.Open();
    return query.FieldByName(QStringLiteral("F_Date")).AsDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
}
