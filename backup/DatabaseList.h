#pragma once
// The server's databases, as the backup page's check list and the restore page's combo box
// both show them.

#include <QStringList>

class TADOConnection;

namespace DatabaseList {

// The names, tempdb left out, in database-id order. Raises when the query fails.
QStringList read(TADOConnection& connection);

} // namespace DatabaseList
