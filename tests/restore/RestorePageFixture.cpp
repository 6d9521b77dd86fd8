#include "RestorePageFixture.h"

#include "BackupSetList.h"
#include "GridRestoreSetup.h"
#include "HtGrids.h"
#include "RestoreCellRule.h"
#include "SqlText.h"
#include "TADODataSet.h"

#include <QDir>

RestorePageFixture::RestorePageFixture()
    : CmbDb(new QComboBox(&window)), EdtBakFile(new QLineEdit(&window)), CmbBfj(new QComboBox(&window)),
      Grid(new THtStringGrid(&window)), ChkRestore(new QCheckBox(&window)) {
    CmbDb->setEditable(true);
    EdtBakFile->setReadOnly(true);
    setupRestoreGrid(Grid);
    Grid->OnSelectCell = [](QObject*, int ACol, int ARow, bool& CanSelect) { GridSelectCell(ACol, ARow, CanSelect); };
}

RestorePageFixture::~RestorePageFixture() { connection.Close(); }

bool RestorePageFixture::start(const QStringList& simArgs) {
    if (!sim.start(simArgs)) {
        error_ = sim.errorString();
        return false;
    }
    try {
        connection.setConnectionString(sim.odbcConnectionString());
        connection.setConnectionTimeout(10);
        connection.Open();
    } catch (const std::exception& e) {
        error_ = QString::fromUtf8(e.what());
        return false;
    }
    return connection.Connected();
}

QString RestorePageFixture::hostPath(const QString& serverPath) const {
    QString rest = serverPath.mid(2); // drop "C:"
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(sim.driveC() + QLatin1Char('/') + rest);
}

void RestorePageFixture::makeServerDir(const QString& serverPath) const { QDir().mkpath(hostPath(serverPath)); }

QStringList RestorePageFixture::databases() {
    TADODataSet query(connection);
    query.setCursorLocation(clUseClient);
    query.setCommandText(QStringLiteral("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]"));
    query.Open();
    QStringList names;
    for (int i = 0; i < query.RecordCount(); ++i, query.Next())
        names << query.FieldByName(QStringLiteral("name")).AsString();
    return names;
}

void RestorePageFixture::backup(const QString& database, const QString& serverFile) {
    connection.Execute(QStringLiteral("Backup DataBase [") + SqlText::bracketed(database) +
                       QStringLiteral("] To Disk=N'") + SqlText::literal(serverFile) + QLatin1Char('\''));
}

void RestorePageFixture::loadSet(const QString& serverFile, int set) {
    EdtBakFile->setText(serverFile);
    FillBfjList(connection, serverFile, CmbBfj);
    CmbBfj->setCurrentIndex(set - 1);
    readFileList(connection, CmbBfj, EdtBakFile->text(), Grid);
}

QStringList RestorePageFixture::targets() const {
    QStringList paths;
    for (int row = 1; row < Grid->RowCount(); ++row)
        paths << Grid->CellText(1, row);
    return paths;
}

void RestorePageFixture::setTargets(const QStringList& paths) {
    for (int i = 0; i < paths.size(); ++i)
        Grid->setCellText(1, i + 1, paths[i]);
}
