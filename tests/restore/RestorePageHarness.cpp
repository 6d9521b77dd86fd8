#include "RestorePageHarness.h"

#include "DatabaseList.h"
#include "HtGrids.h"
#include "SqlText.h"

#include <QDir>

namespace {
TADOConnection& created(ConnectionHolder& holder) {
    holder.create();
    return holder.get();
}
} // namespace

RestorePageHarness::RestorePageHarness()
    : connection(created(holder)), page(
                                       holder,
                                       [this] {
                                           pickerShown = true;
                                           return pickAnswer;
                                       },
                                       [this] { ++refills; }),
      CmbDb(page.CmbDb), EdtBakFile(page.EdtBakFile), CmbBfj(page.CmbBfj), Grid(page.Grid),
      ChkRestore(page.ChkRestore) {}

bool RestorePageHarness::start(const QStringList& simArgs) {
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

QString RestorePageHarness::hostPath(const QString& serverPath) const {
    QString rest = serverPath.mid(2); // drop "C:"
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(sim.driveC() + QLatin1Char('/') + rest);
}

void RestorePageHarness::makeServerDir(const QString& serverPath) const {
    QDir().mkpath(hostPath(serverPath));
}

QStringList RestorePageHarness::sentWithoutChecksSince(int from) const {
    QStringList out;
    for (const QString& statement : sentSince(from)) {
        const bool checkRead = statement.startsWith(QStringLiteral("SELECT ")) ||
                               statement.startsWith(QStringLiteral("RESTORE HEADERONLY ")) ||
                               statement.startsWith(QStringLiteral("RESTORE FILELISTONLY ")) ||
                               statement == QStringLiteral("EXEC master..xp_fixeddrives");
        if (!checkRead)
            out << statement;
    }
    return out;
}

QStringList RestorePageHarness::databases() { return DatabaseList::read(connection); }

void RestorePageHarness::backup(const QString& database, const QString& serverFile) {
    connection.Execute(QStringLiteral("Backup DataBase [") + SqlText::bracketed(database) +
                       QStringLiteral("] To Disk=N'") + SqlText::literal(serverFile) + QLatin1Char('\''));
}

void RestorePageHarness::readFileList(const QString& serverFile) {
    EdtBakFile->setText(serverFile);
    page.CmbBfjChange();
}

void RestorePageHarness::loadSet(const QString& serverFile, int set) {
    EdtBakFile->setText(serverFile);
    page.FillBfjList(serverFile);
    CmbBfj->setCurrentIndex(set - 1);
    page.CmbBfjChange();
}

QStringList RestorePageHarness::targets() const {
    QStringList paths;
    for (int row = 1; row < Grid->RowCount(); ++row)
        paths << Grid->CellText(1, row);
    return paths;
}

void RestorePageHarness::setTargets(const QStringList& paths) {
    for (int i = 0; i < paths.size(); ++i)
        Grid->setCellText(1, i + 1, paths[i]);
}
