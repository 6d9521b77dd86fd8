#include "RestoreRun.h"

#include "BackupSetNumber.h"
#include "EDatabaseError.h"
#include "NewTexts.h"
#include "Query.h"
#include "RestoreCheck.h"
#include "RunProgress.h"
#include "RunSink.h"
#include "SqlText.h"
#include "TADOConnection.h"

#include <optional>

namespace {

// The first failing guard's warning, or an empty text when the request is complete.
QString failedGuard(const TADOConnection& connection, const RestoreRequest& request) {
    if (!connection.Connected())
        return QStringLiteral("SQL SERVER服务器未连接!");
    // Empty means no characters at all; blanks pass.
    if (request.database.isEmpty())
        return QStringLiteral("恢复数据库名不能为空!");
    if (request.backupFile.isEmpty())
        return QStringLiteral("数据库备份文件名不能为空!");
    if (request.backupSet.isEmpty())
        return QStringLiteral("数据库备份集未选择!");
    if (request.files.isEmpty())
        return QStringLiteral("原数据库备份文件有误，请核对!");
    return {};
}

// Tests every target path on the server. The index of the first file that the user declined to
// overwrite or whose parent directory is missing, or -1 when all are accepted.
int firstRefusedTarget(TADOConnection& connection, const QList<RestoreFileMove>& files, RunSink& sink) {
    for (int i = 0; i < files.size(); ++i) {
        const QString& target = files[i].physicalName;
        bool fileExists = false;
        bool parentExists = false;
        Query::firstRow(connection, fileExistStatement(target), [&](const TADODataSet& answer) {
            fileExists = answer.Fields(0).AsInteger() == 1;
            parentExists = answer.Fields(2).AsInteger() != 0;
        });
        if (fileExists &&
            !sink.confirm(QStringLiteral("【") + target + QStringLiteral("】移至物理文件名有已经存在,是否继续?")))
            return i;
        if (!parentExists) {
            sink.warn(QStringLiteral("【") + target + QStringLiteral("】移至物理文件名的父级目录不存在，请核对!"));
            return i;
        }
    }
    return -1;
}

// The database's state as the server now sees it: empty when there is no such database, null
// when the question itself failed.
QString databaseState(TADOConnection& connection, const QString& database) {
    // state_desc is nvarchar; DATABASEPROPERTYEX answers sql_variant, which not every driver reads.
    QString state = QStringLiteral("");
    try {
        Query::eachRow(connection,
                       QStringLiteral("Select state_desc From sys.databases Where name = N'") +
                           SqlText::literal(database) + QStringLiteral("'"),
                       [&](const TADODataSet& answer) { state = answer.Fields(0).AsString(); });
    } catch (const EDatabaseError&) {
        return {};
    }
    return state;
}

// Closing the sessions and restoring go in one batch on our own connection, so no one else can
// take the single-user slot in between; the database is opened to everyone again afterwards.
RestoreOutcome restoreClosingSessions(TADOConnection& connection, const QString& database, const QString& restore,
                                      RunSink& sink, const TADOConnection::MessageHandler& onMessage) {
    try {
        connection.ExecuteLong(closeSessionsAndRestoreBatch(database, restore), onMessage);
    } catch (const EOperationCancelled&) {
        throw; // the caller reports the state a stopped restore left
    } catch (const EDatabaseError& e) {
        // A restore that failed half-way leaves the database restoring, where changing its access
        // fails too: the state is what the user needs to know, not a second error.
        if (databaseState(connection, database) == QLatin1String("RESTORING")) {
            sink.warn(NewTexts::text(NewTexts::CheckLeftRestoring).arg(database, e.message()));
            return {};
        }
        connection.Execute(multiUserStatement(database));
        if (e.nativeError() == 3101) { // exclusive access could not be obtained
            sink.warn(NewTexts::text(NewTexts::CheckStillInUse).arg(database));
            return {};
        }
        throw;
    }
    connection.Execute(multiUserStatement(database));
    return {true, -1, false, {}};
}

} // namespace

QString cancelledRestoreReport(const QString& database, const QString& state) {
    using namespace NewTexts;
    if (state.isNull())
        return text(RestoreCancelled).arg(database, text(StateUnknown)) + text(RestoreCancelledOther);
    if (state.isEmpty())
        return text(RestoreCancelled).arg(database, QStringLiteral("-")) + text(RestoreCancelledMissing);
    QString report = text(RestoreCancelled).arg(database, state);
    if (state == QLatin1String("RESTORING"))
        report += text(RestoreCancelledRestoring).arg(SqlText::bracketed(database));
    else if (state == QLatin1String("ONLINE"))
        report += text(RestoreCancelledOnline);
    else
        report += text(RestoreCancelledOther);
    return report;
}

RestoreOutcome runRestore(TADOConnection& connection, const RestoreRequest& request, RunSink& sink) {
    const QString guard = failedGuard(connection, request);
    if (!guard.isEmpty()) {
        sink.warn(guard);
        return {};
    }
    if (const int refused = firstRefusedTarget(connection, request.files, sink); refused >= 0)
        return {false, refused, false, {}};

    const int setNumber = backupSetNumber(request.backupSet);
    const QString restore =
        buildRestoreStatement(request.database, request.backupFile, setNumber, request.replace, request.files,
                              request.statsPercent);
    const RestoreFacts facts =
        gatherRestoreFacts(connection, request.database, request.backupFile, setNumber, request.files);
    if (facts.newerBackup()) {
        sink.warn(newerVersionRefusal(facts));
        return {};
    }
    if (facts.worthAsking()) {
        const char* question = facts.sessionsToClose() ? NewTexts::CheckAskCloseSessions : NewTexts::CheckAskGoOn;
        if (!sink.confirm(restoreSummary(facts, request.database, request.replace) + QStringLiteral("\n\n") +
                          NewTexts::text(question)))
            return {};
    }
    std::optional<ProgressReader> reader;
    TADOConnection::MessageHandler onMessage;
    if (request.statsPercent > 0) {
        RunProgress start{request.database, 1, 1, 0, {}, {}};
        if (facts.backupBytes > 0) {
            start.bytesDone = 0;
            start.bytesTotal = facts.backupBytes;
        }
        reader.emplace(start);
        sink.progress(reader->progress());
        onMessage = [&](const ServerMessage& m) {
            if (reader->read(m))
                sink.progress(reader->progress());
        };
    }
    try {
        if (facts.sessionsToClose())
            return restoreClosingSessions(connection, request.database, restore, sink, onMessage);
        connection.ExecuteLong(restore, onMessage);
    } catch (const EOperationCancelled&) {
        RestoreOutcome outcome;
        outcome.cancelled = true;
        outcome.stateAfterCancel = databaseState(connection, request.database);
        return outcome;
    }
    return {true, -1, false, {}};
}
