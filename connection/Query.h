#pragma once
// The one way the program reads rows: a client-side query of one statement, every row fetched
// at once, handed to the caller row by row.

#include "TADODataSet.h"

#include <functional>

class TADOConnection;

namespace Query {

// Calls row() for each row, in the server's order; the query is open for the call only.
// Raises what opening raises, before any row is handed out.
void eachRow(TADOConnection& connection, const QString& statement, const std::function<void(const TADODataSet&)>& row);

// Calls read() once on the open query, on its first row (reading a field of an empty answer
// raises "no current record").
void firstRow(TADOConnection& connection, const QString& statement,
              const std::function<void(const TADODataSet&)>& read);

} // namespace Query
