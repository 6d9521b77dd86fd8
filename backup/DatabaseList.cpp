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

void addCheckable(QListWidget* list, const QString& name) {
    auto* item = new QListWidgetItem(name, list); // owned by the list
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
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
    for (int i = 0; i < count; ++i) {
        addCheckable(LsbDB, query.FieldByName(QStringLiteral("Name")).AsString());
        CmbDb->addItem(query.FieldByName(QStringLiteral("Name")).AsString());
        query.Next();
    }
    CmbDb->setEditText(typed);
}

void DatabaseList::clear(QListWidget* LsbDB, QComboBox* CmbDb) {
    LsbDB->clear();
    clearKeepingText(CmbDb);
}
