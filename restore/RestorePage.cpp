#include "RestorePage.h"

#include "BackupSetList.h"
#include "BackupSetNumber.h"
#include "ConnectionHolder.h"
#include "EventGuard.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "PickerButton.h"
#include "Placement.h"
#include "RestoreGrid.h"
#include "RestoreRun.h"
#include "NewTexts.h"
#include "RunProgressArea.h"
#include "RunSink.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "TargetFileNames.h"

#include <QCompleter>
#include <QListView>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QStringListModel>

namespace {

// The run's warnings and questions go to message boxes over the page's window.
class MessageBoxSink : public RunSink {
public:
    MessageBoxSink(QWidget* owner, RunProgressArea* area) : owner_(owner), area_(area) {}
    void logLine(const QString&) override {} // the restore page keeps no log
    void warn(const QString& text) override { MessageBox::warning(owner_, text); }
    bool confirm(const QString& question) override { return MessageBox::question(owner_, question); }
    void progress(const RunProgress& progress) override { area_->showProgress(progress); }

private:
    QWidget* owner_;
    RunProgressArea* area_;
};

} // namespace

RestorePage::RestorePage(ConnectionHolder& connection, FilePicker pickFile, std::function<void()> refillDatabaseLists,
                         QWidget* parent)
    : QWidget(parent), connection_(connection), pickFile_(std::move(pickFile)),
      refillDatabaseLists_(std::move(refillDatabaseLists)) {
    setObjectName(QStringLiteral("TabSheet2"));
    Label1 = placeLabel(this, "Label1", QStringLiteral("还原数据库名:"), 8, 4, 78, 12);
    CmbDb = place<QComboBox>(this, "CmbDb", 88, 0, 333, 20);
    CmbDb->setEditable(true);
    CmbDb->setInsertPolicy(QComboBox::NoInsert);
    databaseNames_ = new QStringListModel(CmbDb);
    CmbDb->setModel(databaseNames_);
    // Its list would measure every name when it first opens.
    if (auto* list = qobject_cast<QListView*>(CmbDb->view()))
        list->setUniformItemSizes(true);
    // With a case-blind completer, finishing the edit replaces a typed name by the listed name that
    // differs only in letter case: on a case-sensitive server that restores over another database.
    CmbDb->completer()->setCaseSensitivity(Qt::CaseSensitive);
    announceAs(CmbDb, Label1);
    Label3 = placeLabel(this, "Label3", QStringLiteral("原备份文件名:"), 8, 29, 78, 12);
    EdtBakFile = place<QLineEdit>(this, "EdtBakFile", 88, 24, 312, 20);
    EdtBakFile->setReadOnly(true);
    announceAs(EdtBakFile, Label3);
    FlatButton1 = place<TFlatButton>(this, "FlatButton1", 402, 23, 18, 19);
    setupPickerButton(FlatButton1);
    FlatButton1->setAccessibleName(QStringLiteral("请选择服务器文件"));
    Label5 = placeLabel(this, "Label5", QStringLiteral("恢复备份集:"), 8, 53, 66, 12);
    CmbBfj = place<QComboBox>(this, "CmbBfj", 88, 49, 333, 20);
    announceAs(CmbBfj, Label5);
    BtnRead = place<QPushButton>(this, "BtnRead", 252, 73, 169, 21);
    BtnRead->setText(QStringLiteral("从媒体读取(&M)"));
    Label4 = placeLabel(this, "Label4", QStringLiteral("将数据文件还原为:"), 8, 81, 102, 12);
    Grid = place<THtStringGrid>(this, "Grid", 8, 97, 413, 73);
    Grid->OnSelectCell = [this](QObject* sender, int col, int row, bool& canSelect) {
        GridSelectCell(sender, col, row, canSelect);
    };
    setupRestoreGrid(Grid);
    announceAs(Grid, Label4);
    ChkRestore = place<QCheckBox>(this, "ChkRestore", 8, 175, 177, 17);
    ChkRestore->setText(QStringLiteral("在现有数据库上强行还原(&F)"));
    BtnRestore = place<QPushButton>(this, "BtnRestore", 341, 171, 79, 24);
    BtnRestore->setText(QStringLiteral("还原(&H)"));
    ProgressArea = place<RunProgressArea>(this, "ProgressArea", 189, 171, 149, 24);

    connectGuarded(FlatButton1, &TFlatButton::clicked, this, [this] { FlatButton1Click(); });
    // Only a choice by the user reads the set's files; filling the list does not.
    connectGuarded(CmbBfj, &QComboBox::activated, this, [this] { CmbBfjChange(); });
    connectGuarded(BtnRead, &QPushButton::clicked, this, [this] { BtnReadClick(); });
    connectGuarded(BtnRestore, &QPushButton::clicked, this, [this] { BtnRestoreClick(); });
}

void RestorePage::FlatButton1Click() {
    if (!connection_.get().Connected()) {
        MessageBox::information(this, QStringLiteral("SQL SERVER服务器未成功连接!"));
        return;
    }
    const std::optional<QString> chosen = pickFile_();
    if (!chosen) {
        EdtBakFile->clear();
        return;
    }
    EdtBakFile->setText(*chosen);
    FillBfjList(EdtBakFile->text());
}

void RestorePage::FillBfjList(const QString& file) {
    // Filling is not a choice of the user: the change handler must not read a file list now.
    const QSignalBlocker blocker(CmbBfj);
    CmbBfj->clear();
    setDatabases_.clear();
    CmbBfj->addItems(readBackupSets(connection_.get(), file, &setDatabases_));
    // A combo box chooses its first entry by itself when one is added.
    CmbBfj->setCurrentIndex(-1);
}

void RestorePage::CmbBfjChange() {
    const QString bakFile = EdtBakFile->text();
    if (CmbBfj->count() == 0 || CmbBfj->currentIndex() == -1 || bakFile.isEmpty() || !connection_.connected())
        return;
    const int setNumber = backupSetNumber(CmbBfj->currentText());
    const QList<RestoreFileMove> files = readSetFiles(connection_.get(), bakFile, setNumber);
    if (files.isEmpty())
        return;
    const QString source = setDatabases_.value(setNumber);
    const QString target = CmbDb->currentText();
    const bool rename = proposesRenamedFiles(source, target);
    Grid->setRowCount(int(files.size()) + 1);
    for (int row = 1; row <= files.size(); ++row) {
        const QString& path = files[row - 1].physicalName;
        Grid->setCellText(0, row, files[row - 1].logicalName);
        Grid->setCellText(1, row, rename ? renamedAfterTarget(path, source, target) : path);
    }
}

void RestorePage::BtnReadClick() {
    CmbBfjChange();
}

void RestorePage::BtnRestoreClick() {
    RestoreRequest request{
        CmbDb->currentText(), EdtBakFile->text(), CmbBfj->currentText(), {}, ChkRestore->isChecked(), statsPercent_};
    for (int row = 1; row < Grid->RowCount(); ++row)
        request.files.append({Grid->CellText(0, row), Grid->CellText(1, row)});
    MessageBoxSink sink(this, ProgressArea);
    restoring_ = true;
    if (statsPercent_ > 0)
        ProgressArea->begin();
    const auto restoringEnds = qScopeGuard([this] {
        restoring_ = false;
        ProgressArea->end();
    });
    const RestoreOutcome outcome = runRestore(connection_.get(), request, sink);
    if (outcome.fileToCorrect >= 0)
        focusTarget(outcome.fileToCorrect + 1);
    if (outcome.cancelled) {
        MessageBox::warning(this, cancelledRestoreReport(request.database, outcome.stateAfterCancel));
        return;
    }
    if (!outcome.restored)
        return;
    refillDatabaseLists_();
    MessageBox::information(this, QStringLiteral("数据库还原成功!"));
}

void RestorePage::GridSelectCell(QObject*, int ACol, int ARow, bool& CanSelect) {
    CanSelect = ACol != 0 && ARow != 0;
}

// Puts the user on the target path of the row that needs correcting. While the current cell
// is still in column 0 (as after loading) the grid refuses the row move, so the row is set
// again once the column is 1; otherwise the user would land on the wrong file.
void RestorePage::focusTarget(int row) {
    Grid->setFocus();
    Grid->setCurrentRow(row);
    Grid->setCurrentCol(1);
    if (Grid->CurrentRow() != row)
        Grid->setCurrentRow(row);
}

QString RestorePage::stopQuestion() const {
    QString question = NewTexts::text(NewTexts::StopRestoreQuestion).arg(CmbDb->currentText());
    if (ChkRestore->isChecked())
        question += NewTexts::text(NewTexts::StopRestoreReplaceWarning);
    return question;
}

void RestorePage::showDatabases(const QStringList& names) {
    // Replacing the list empties an editable box's text; the typed name must survive a refill.
    const QString typed = CmbDb->currentText();
    databaseNames_->setStringList(names);
    if (!names.isEmpty())
        CmbDb->setCurrentIndex(0); // as filling an empty box does
    CmbDb->setEditText(typed);
}

void RestorePage::clearDatabases() {
    const QString typed = CmbDb->currentText();
    databaseNames_->setStringList({});
    CmbDb->setEditText(typed);
}
