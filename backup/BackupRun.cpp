#include "BackupRun.h"

#include "ServerTime.h"
#include "SqlText.h"
#include "TADOConnection.h"

#include <QListWidget>
#include <QPlainTextEdit>

QString BackupRun::backupFilePath(const QString& directory, const QString& database, const QString& serverTime) {
    return directory + database + serverTime + QStringLiteral(".Bak");
}

bool BackupRun::nameFitsFileName(const QString& database) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : database)
        if (c.unicode() < 32 || forbidden.contains(c))
            return false;
    return true;
}

QString BackupRun::backupStatement(const QString& database, const QString& filePath) {
    // N'...': a plain literal is narrowed to the server's code page, and a path with a character
    // outside it (Arabic on a Chinese server) would name another file.
    return QStringLiteral("Backup DataBase [") + SqlText::bracketed(database) + QStringLiteral("] To Disk=N'") +
           SqlText::literal(filePath) + QStringLiteral("'");
}

void BackupRun::run(TADOConnection& connection, const QString& backupDirectory, QListWidget* LsbDB,
                    QPlainTextEdit* MemoInfo) {
    MemoInfo->clear();
    auto log = [MemoInfo](const QString& line) { MemoInfo->appendPlainText(line); };

    if (!connection.Connected()) {
        log(QStringLiteral("SQL SERVER服务器未连接!"));
        return;
    }
    if (backupDirectory.isEmpty()) {
        log(QStringLiteral("备份路径未选择!"));
        return;
    }
    bool anyTicked = false;
    for (int i = 0; i < LsbDB->count(); ++i)
        anyTicked = anyTicked || LsbDB->item(i)->checkState() == Qt::Checked;
    if (!anyTicked) {
        log(QStringLiteral("没有选择备份的数据库!"));
        return;
    }

    const int count = LsbDB->count();
    for (int i = 0; i < count; ++i) {
        if (LsbDB->item(i)->checkState() != Qt::Checked)
            continue;
        const QString name = LsbDB->item(i)->text();
        // The server's clock, fetched anew for each database before its first line; a failure
        // here is not the database's failure and ends the run.
        const QString file = backupFilePath(backupDirectory, name, GetServerTime(connection));
        log(QStringLiteral("开始备份数据库【") + name + QStringLiteral("】..."));
        if (!nameFitsFileName(name)) {
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份失败!"));
            log(kSeparator);
            continue;
        }
        try {
            // No statement time-out: a large database takes as long as it takes.
            connection.ExecuteLong(backupStatement(name, file));
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份成功!"));
        } catch (...) {
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份失败!"));
        }
        log(kSeparator);
    }
}
