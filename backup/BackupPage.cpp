#include "BackupPage.h"

#include "BackupRun.h"
#include "ConnectionHolder.h"
#include "EventGuard.h"
#include "MessageBox.h"
#include "NewTexts.h"
#include "PickerButton.h"
#include "Placement.h"
#include "RunProgressArea.h"
#include "RunSink.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "UniformRows.h"

#include <QSignalBlocker>

#include <QScopeGuard>

namespace {

// The run's reports go into the log box; the run asks nothing.
class LogBoxSink : public RunSink {
public:
    LogBoxSink(QPlainTextEdit* memo, RunProgressArea* area) : memo_(memo), area_(area) {}
    void logLine(const QString& line) override { memo_->appendPlainText(line); }
    void warn(const QString& text) override { MessageBox::warning(memo_, text); }
    bool confirm(const QString& question) override { return MessageBox::question(memo_, question); }
    void progress(const RunProgress& progress) override { area_->showProgress(progress); }

private:
    QPlainTextEdit* memo_;
    RunProgressArea* area_;
};

} // namespace

BackupPage::BackupPage(ConnectionHolder& connection, DirectoryPicker pickDirectory, QWidget* parent)
    : QWidget(parent), connection_(connection), pickDirectory_(std::move(pickDirectory)) {
    setObjectName(QStringLiteral("TabSheet1"));
    Label7 = placeLabel(this, "Label7", QStringLiteral("数据库列表:"), 8, 4, 66, 12);
    LsbDB = place<QListWidget>(this, "LsbDB", 8, 21, 139, 154);
    announceAs(LsbDB, Label7);
    UniformRows::enable(LsbDB);
    Label8 = placeLabel(this, "Label8", QStringLiteral("数据库备份路径:"), 152, 4, 90, 12);
    EdtPath = place<QLineEdit>(this, "EdtPath", 152, 21, 249, 20);
    EdtPath->setReadOnly(true);
    announceAs(EdtPath, Label8);
    BtnPath = place<TFlatButton>(this, "BtnPath", 402, 21, 18, 19);
    setupPickerButton(BtnPath);
    BtnPath->setAccessibleName(QStringLiteral("选择服务器路径"));
    Label9 = placeLabel(this, "Label9", QStringLiteral("提示信息:"), 152, 43, 54, 12);
    MemoInfo = place<QPlainTextEdit>(this, "MemoInfo", 152, 56, 265, 93);
    MemoInfo->setReadOnly(true);
    MemoInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    announceAs(MemoInfo, Label9);
    BtnBackup = place<QPushButton>(this, "BtnBackup", 342, 153, 75, 25);
    BtnBackup->setText(QStringLiteral("备份(&B)"));
    Label10 = placeLabel(this, "Label10",
                         QStringLiteral("备份文件的格式为:数据库名20050101123045.bak【数据库名+备份时间+.bak】"), 8,
                         181, 414, 12);
    ProgressArea = place<RunProgressArea>(this, "ProgressArea", 152, 151, 186, 28);

    connectGuarded(BtnPath, &TFlatButton::clicked, this, [this] { BtnPathClick(); });
    connectGuarded(BtnBackup, &QPushButton::clicked, this, [this] { BtnBackupClick(); });
}

void BackupPage::BtnPathClick() {
    if (!connection_.get().Connected()) {
        MessageBox::information(this, QStringLiteral("SQL SERVER服务器未成功连接!"));
        return;
    }
    const std::optional<QString> path = pickDirectory_();
    if (!path) {
        EdtPath->clear();
        return;
    }
    EdtPath->setText(path->endsWith(QLatin1Char('\\')) ? *path : *path + QLatin1Char('\\'));
}

void BackupPage::BtnBackupClick() {
    MemoInfo->clear();
    LogBoxSink sink(MemoInfo, ProgressArea);
    if (options_.statsPercent > 0)
        ProgressArea->begin();
    const auto runEnds = qScopeGuard([this] { ProgressArea->end(); });
    BackupRun::run(connection_.get(), EdtPath->text(), tickedDatabases(), sink, options_);
}

QString BackupPage::stopQuestion() const { return NewTexts::text(NewTexts::StopBackupQuestion); }

void BackupPage::showDatabases(const QStringList& names) {
    LsbDB->clear();
    // One insertion for all names: one at a time, each insertion costs the view a round of
    // model signals, which with thousands of databases is most of the fill.
    LsbDB->addItems(names);
    // A new QListWidgetItem is already user-checkable; the check state makes the box appear. The
    // rows are new, so no one needs telling of each box: one repaint shows them all.
    {
        const QSignalBlocker quiet(LsbDB->model());
        for (int i = 0; i < LsbDB->count(); ++i)
            LsbDB->item(i)->setCheckState(Qt::Unchecked);
    }
    LsbDB->viewport()->update();
    UniformRows::fitWidest(LsbDB, names);
}

void BackupPage::clearDatabases() {
    LsbDB->clear();
}

QStringList BackupPage::tickedDatabases() const {
    QStringList names;
    for (int i = 0; i < LsbDB->count(); ++i)
        if (LsbDB->item(i)->checkState() == Qt::Checked)
            names.append(LsbDB->item(i)->text());
    return names;
}
