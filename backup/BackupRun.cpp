#include "BackupRun.h"

#include "EDatabaseError.h"
#include "NewTexts.h"

#include "RunSink.h"
#include "ServerTime.h"
#include "SqlText.h"
#include "TADOConnection.h"

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

void BackupRun::run(TADOConnection& connection, const QString& backupDirectory, const QStringList& databases,
                    RunSink& sink) {
    auto log = [&sink](const QString& line) { sink.logLine(line); };

    if (!connection.Connected()) {
        log(QStringLiteral("SQL SERVER服务器未连接!"));
        return;
    }
    if (backupDirectory.isEmpty()) {
        log(QStringLiteral("备份路径未选择!"));
        return;
    }
    if (databases.isEmpty()) {
        log(QStringLiteral("没有选择备份的数据库!"));
        return;
    }

    for (const QString& name : databases) {
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
        } catch (const EOperationCancelled&) {
            log(NewTexts::text(NewTexts::BackupCancelledLine).arg(name));
            log(kSeparator);
            return;
        } catch (...) {
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份失败!"));
        }
        log(kSeparator);
        // Stopped just as the statement ended: this database is backed up, the rest are not.
        if (connection.cancelRequested())
            return;
    }
}
