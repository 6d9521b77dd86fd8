#include "BackupSetList.h"

#include "BackupSetNumber.h"
#include "HtGrids.h"
#include "RestoreStatements.h"
#include "TADOConnection.h"
#include "TADODataSet.h"

#include <QComboBox>
#include <QSignalBlocker>

void FillBfjList(TADOConnection& connection, const QString& file, QComboBox* CmbBfj) {
    // Filling is not a choice of the user: the change handler must not read a file list now.
    const QSignalBlocker blocker(CmbBfj);
    CmbBfj->clear();

    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(headerOnlyStatement(file));
    query.Open();
    const int count = query.RecordCount();
    for (int i = 0; i < count; ++i) {
        const int position = query.FieldByName(QStringLiteral("Position")).AsInteger();
        const QDateTime finished = query.FieldByName(QStringLiteral("BackupFinishDate")).AsDateTime();
        CmbBfj->addItem(backupSetEntryText(position, finished));
        query.Next();
    }
    // A combo box chooses its first entry by itself when one is added.
    CmbBfj->setCurrentIndex(-1);
}

void readFileList(TADOConnection& connection, QComboBox* CmbBfj, const QString& bakFile, THtStringGrid* Grid) {
    if (CmbBfj->count() == 0 || CmbBfj->currentIndex() == -1 || bakFile.isEmpty() || !connection.Connected())
        return;

    const int setNumber = backupSetNumber(CmbBfj->currentText());

    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(fileListOnlyStatement(bakFile, setNumber));
    query.Open();
    const int count = query.RecordCount();
    if (count != 0)
        Grid->setRowCount(count + 1);
    for (int row = 1; row <= count; ++row) {
        Grid->setCellText(0, row, query.FieldByName(QStringLiteral("LogicalName")).AsString());
        Grid->setCellText(1, row, query.FieldByName(QStringLiteral("PhysicalName")).AsString());
        query.Next();
    }
}
