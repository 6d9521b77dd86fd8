#include "RestoreRun.h"

#include "BackupSetNumber.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "RestoreStatements.h"
#include "TADOConnection.h"
#include "TADODataSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

// The first failing guard's warning, or an empty text when the page is complete.
QString failedGuard(const TADOConnection& connection, const RestorePage& page) {
    if (!connection.Connected())
        return QStringLiteral("SQL SERVER服务器未连接!");
    // Empty means no characters at all; blanks pass.
    if (page.CmbDb->currentText().isEmpty())
        return QStringLiteral("恢复数据库名不能为空!");
    if (page.EdtBakFile->text().isEmpty())
        return QStringLiteral("数据库备份文件名不能为空!");
    if (page.CmbBfj->currentText().isEmpty())
        return QStringLiteral("数据库备份集未选择!");
    if (page.Grid->RowCount() == 1)
        return QStringLiteral("原数据库备份文件有误，请核对!");
    return {};
}

// Puts the user on the target path of the row that needs correcting. While the current cell
// is still in column 0 (as after loading) the grid refuses the row move, so the row is set
// again once the column is 1; otherwise the user would land on the wrong file.
void focusTarget(THtStringGrid* grid, int row) {
    grid->setFocus();
    grid->setCurrentRow(row);
    grid->setCurrentCol(1);
    if (grid->CurrentRow() != row)
        grid->setCurrentRow(row);
}

// Tests every target path on the server. False when the user declined to overwrite a file or
// a parent directory is missing; the grid is then on that row.
bool targetsAccepted(TADOConnection& connection, THtStringGrid* grid) {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    for (int row = 1; row < grid->RowCount(); ++row) {
        const QString target = grid->CellText(1, row);
        query.Close();
        query.setCommandText(fileExistStatement(target));
        query.Open();
        const bool fileExists = query.Fields(0).AsInteger() == 1;
        const bool parentExists = query.Fields(2).AsInteger() != 0;
        if (fileExists &&
            !MessageBox::question(QStringLiteral("【") + target + QStringLiteral("】移至物理文件名有已经存在,是否继续?"))) {
            focusTarget(grid, row);
            return false;
        }
        if (!parentExists) {
            MessageBox::warning(QStringLiteral("【") + target + QStringLiteral("】移至物理文件名的父级目录不存在，请核对!"));
            focusTarget(grid, row);
            return false;
        }
    }
    return true;
}

} // namespace

void runRestore(TADOConnection& connection, const RestorePage& page, const std::function<void()>& refillDatabaseLists) {
    const QString guard = failedGuard(connection, page);
    if (!guard.isEmpty()) {
        MessageBox::warning(guard);
        return;
    }
    if (!targetsAccepted(connection, page.Grid))
        return;

    const int setNumber = backupSetNumber(page.CmbBfj->currentText());
    QList<RestoreFileMove> moves;
    for (int row = 1; row < page.Grid->RowCount(); ++row)
        moves.append({page.Grid->CellText(0, row), page.Grid->CellText(1, row)});
    const QString statement = buildRestoreStatement(page.CmbDb->currentText(), page.EdtBakFile->text(), setNumber,
                                                    page.ChkRestore->isChecked(), moves);

    connection.ExecuteLong(statement);
    refillDatabaseLists();
    MessageBox::information(QStringLiteral("数据库还原成功!"));
}
