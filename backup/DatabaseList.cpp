#include "DatabaseList.h"

#include "TADODataSet.h"

#include <QComboBox>
#include <QListWidget>

namespace {

// QComboBox::clear also empties an editable box's text; the typed name must survive a refill.
void clearKeepingText(QComboBox* box) {
    const QString text = box->currentText();
    box->clear();
    box->setEditText(text);
}

// Every name is added in one insertion per control: one at a time, each insertion costs the
// views a round of model signals, which with thousands of databases is most of the fill.
void addCheckable(QListWidget* list, const QStringList& names) {
    const int first = list->count();
    list->addItems(names);
    // A new QListWidgetItem is already user-checkable; the check state makes the box appear.
    for (int i = first; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Unchecked);
}

} // namespace

void DatabaseList::fill(TADOConnection& connection, QListWidget* LsbDB, QComboBox* CmbDb) {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(QStringLiteral("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]"));
    query.Open();
    LsbDB->clear();
    clearKeepingText(CmbDb);
    const int count = query.RecordCount();
    const QString typed = CmbDb->currentText();
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        names.append(query.FieldByName(QStringLiteral("Name")).AsString());
        query.Next();
    }
    // Only the names are needed from here on: the rest of the rows goes before the controls
    // take their share, so that thousands of databases do not need both at once.
    query.Close();
    addCheckable(LsbDB, names);
    CmbDb->addItems(names);
    CmbDb->setEditText(typed);
}

void DatabaseList::clear(QListWidget* LsbDB, QComboBox* CmbDb) {
    LsbDB->clear();
    clearKeepingText(CmbDb);
}
