#include "Query.h"

void Query::eachRow(TADOConnection& connection, const QString& statement,
                    const std::function<void(const TADODataSet&)>& row) {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(statement);
    query.Open();
    const int count = query.RecordCount();
    for (int i = 0; i < count; ++i) {
        row(query);
        query.Next();
    }
}

void Query::firstRow(TADOConnection& connection, const QString& statement,
                     const std::function<void(const TADODataSet&)>& read) {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(statement);
    query.Open();
    read(query);
}
