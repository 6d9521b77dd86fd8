#include "BackupRun.h"

#include "EDatabaseError.h"
#include "NewTexts.h"
#include "Query.h"
#include "RunProgress.h"
#include "RunSink.h"
#include "ServerTime.h"
#include "SqlText.h"
#include "TADOConnection.h"
#include "TADODataSet.h"

#include <algorithm>

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
    return BackupStatements::backup(database, filePath);
}

QString BackupRun::reasonLine(const QString& serverMessage) {
    // The messages arrive one per line; the log keeps the reason to one line under its failure.
    return QStringLiteral("    ") + serverMessage.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
}

namespace {

// The newest set of the file: a file already holding a set of the same second gets another.
int lastPosition(TADOConnection& connection, const QString& file) {
    int last = 0;
    Query::eachRow(connection, BackupStatements::headerOnly(file), [&last](const TADODataSet& set) {
        last = std::max(last, set.FieldByName(QStringLiteral("Position")).AsInteger());
    });
    if (last == 0)
        throw EDatabaseError(NewTexts::text(NewTexts::BackupSetNotFound));
    return last;
}

void verify(TADOConnection& connection, const QString& name, const QString& file, RunSink& sink) {
    try {
        connection.ExecuteLong(BackupStatements::verifyOnly(file, lastPosition(connection, file)));
        sink.logLine(NewTexts::text(NewTexts::BackupVerified).arg(name));
    } catch (const EDatabaseError& e) {
        sink.logLine(NewTexts::text(NewTexts::BackupVerifyFailed).arg(name));
        sink.logLine(BackupRun::reasonLine(e.message()));
    }
}

} // namespace

void BackupRun::run(TADOConnection& connection, const QString& backupDirectory, const QStringList& databases,
                    RunSink& sink, const BackupOptions& options) {
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

    for (qsizetype i = 0; i < databases.size(); ++i) {
        const QString& name = databases[i];
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
            const QString statement = BackupStatements::backup(name, file, options);
            if (options.statsPercent > 0) {
                ProgressReader reader({name, int(i + 1), int(databases.size()), 0, {}, {}});
                sink.progress(reader.progress());
                connection.ExecuteLong(statement, [&](const ServerMessage& m) {
                    if (reader.read(m))
                        sink.progress(reader.progress());
                });
            } else {
                connection.ExecuteLong(statement);
            }
        } catch (const EOperationCancelled&) {
            log(NewTexts::text(NewTexts::BackupCancelledLine).arg(name));
            log(kSeparator);
            return;
        } catch (const EDatabaseError& e) {
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份失败!"));
            log(reasonLine(e.message()));
            log(kSeparator);
            continue;
        } catch (...) {
            log(QStringLiteral("数据库【") + name + QStringLiteral("】备份失败!"));
            log(kSeparator);
            continue;
        }
        log(QStringLiteral("数据库【") + name + QStringLiteral("】备份成功!"));
        if (options.verifyAfterBackup)
            verify(connection, name, file, sink);
        log(kSeparator);
        // Stopped just as the statement ended: this database is backed up, the rest are not.
        if (connection.cancelRequested())
            return;
    }
}
