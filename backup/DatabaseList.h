#pragma once
// The database list shared by the backup page (a check list) and the restore page (a combo box).

class QComboBox;
class QListWidget;
class TADOConnection;

namespace DatabaseList {

// Lists the server's databases, tempdb left out, in database-id order. Both controls are
// emptied only once the query is open, so a failing query leaves them as they were.
void fill(TADOConnection& connection, QListWidget* LsbDB, QComboBox* CmbDb);

// Empties both lists; the combo box's edit text stays.
void clear(QListWidget* LsbDB, QComboBox* CmbDb);

} // namespace DatabaseList
