#include "RestoreCheck.h"

#include "EDatabaseError.h"
#include "NewTexts.h"
#include "Query.h"
#include "SqlText.h"
#include "TADOConnection.h"

#include <QStringList>

namespace {

using NewTexts::text;

QChar driveOf(const QString& path) {
    if (path.size() < 2 || path[1] != u':' || !path[0].isLetter())
        return {};
    return path[0].toUpper();
}

qint64 bytesToMbRoundedUp(qint64 bytes) { return (bytes + (1 << 20) - 1) >> 20; }

QString nameLiteral(const QString& database) { return QStringLiteral("N'") + SqlText::literal(database) + u'\''; }

QString bracketed(const QString& database) { return u'[' + SqlText::bracketed(database) + u']'; }

// A NULL reads as empty: host and program names are optional.
QString textOf(const TField& field) { return field.IsNull() ? QString() : field.Value().toString(); }

// Sessions in the database other than ours. Nothing when the only session visible at all is
// our own: without VIEW SERVER STATE the server hides the others instead of refusing.
std::optional<QList<OtherSession>> readOtherSessions(TADOConnection& connection, int ownSpid, int databaseId) {
    QList<OtherSession> inTarget;
    bool seesOthers = false;
    Query::eachRow(connection,
                   QStringLiteral("SELECT session_id, login_name, host_name, program_name, database_id, "
                                  "is_user_process FROM sys.dm_exec_sessions"),
                   [&](const TADODataSet& row) {
                       const int id = row.Fields(0).AsInteger();
                       if (id == ownSpid)
                           return;
                       seesOthers = true;
                       if (row.Fields(4).AsInteger() == databaseId && row.Fields(5).Value().toBool())
                           inTarget.append({id, textOf(row.Fields(1)), textOf(row.Fields(2)), textOf(row.Fields(3))});
                   });
    if (!seesOthers)
        return std::nullopt;
    return inTarget;
}

} // namespace

bool RestoreFacts::newerBackup() const {
    const int server = majorVersion(serverVersion);
    return server > 0 && majorVersion(backupVersion) > server;
}

int majorVersion(const QString& version) { return version.section(u'.', 0, 0).trimmed().toInt(); }

QList<SpaceShortage> spaceShortages(const QMap<QChar, qint64>& freeMb, const QList<TargetSize>& targets) {
    QMap<QChar, qint64> neededBytes;
    for (const TargetSize& t : targets)
        if (const QChar drive = driveOf(t.path); !drive.isNull())
            neededBytes[drive] += t.bytes;
    QList<SpaceShortage> out;
    for (auto it = neededBytes.cbegin(); it != neededBytes.cend(); ++it) {
        const auto free = freeMb.constFind(it.key());
        if (free == freeMb.cend())
            continue; // a drive the server did not report: nothing to judge by
        const qint64 needed = bytesToMbRoundedUp(it.value());
        if (needed > *free)
            out.append({it.key(), needed, *free});
    }
    return out;
}

QList<FileClash> fileClashes(const QString& target, const QList<RestoreFileMove>& files,
                             const QList<ServerFile>& serverFiles) {
    QList<FileClash> out;
    for (const RestoreFileMove& f : files)
        for (const ServerFile& s : serverFiles)
            if (s.path.compare(f.physicalName, Qt::CaseInsensitive) == 0 &&
                s.database.compare(target, Qt::CaseInsensitive) != 0) {
                out.append({f.physicalName, s.database});
                break;
            }
    return out;
}

RestoreFacts gatherRestoreFacts(TADOConnection& connection, const QString& database, const QString& backupFile,
                                int setNumber, const QList<RestoreFileMove>& files) {
    RestoreFacts facts;
    int ownSpid = 0;
    int databaseId = 0;
    Query::firstRow(connection,
                    // Named columns: a field is read by its name, and unnamed ones would all be the first.
                    QStringLiteral("SELECT @@SPID AS own_spid, DB_ID(") + nameLiteral(database) +
                        QStringLiteral(") AS target_id, SERVERPROPERTY('ProductVersion') AS product_version"),
                    [&](const TADODataSet& row) {
                        ownSpid = row.Fields(0).AsInteger();
                        facts.targetExists = !row.Fields(1).IsNull();
                        databaseId = facts.targetExists ? row.Fields(1).AsInteger() : 0;
                        facts.serverVersion = textOf(row.Fields(2));
                    });
    Query::eachRow(connection, headerOnlyStatement(backupFile), [&](const TADODataSet& row) {
        if (row.FieldByName(QStringLiteral("Position")).AsInteger() != setNumber)
            return;
        facts.backupVersion = QStringList{textOf(row.FieldByName(QStringLiteral("SoftwareVersionMajor"))),
                                          textOf(row.FieldByName(QStringLiteral("SoftwareVersionMinor"))),
                                          textOf(row.FieldByName(QStringLiteral("SoftwareVersionBuild")))}
                                  .join(u'.');
        facts.backupBytes = row.FieldByName(QStringLiteral("BackupSize")).Value().toLongLong();
    });

    QList<TargetSize> sizes;
    Query::eachRow(connection, fileListOnlyStatement(backupFile, setNumber), [&](const TADODataSet& row) {
        const QString logical = row.FieldByName(QStringLiteral("LogicalName")).AsString();
        const qint64 bytes = row.FieldByName(QStringLiteral("Size")).Value().toLongLong();
        for (const RestoreFileMove& f : files)
            if (f.logicalName.compare(logical, Qt::CaseInsensitive) == 0)
                sizes.append({f.physicalName, bytes});
    });
    // Only members of sysadmin may list the drives; without it the space goes unjudged.
    try {
        QMap<QChar, qint64> freeMb;
        Query::eachRow(connection, QStringLiteral("EXEC master..xp_fixeddrives"), [&](const TADODataSet& row) {
            freeMb.insert(row.Fields(0).AsString().at(0).toUpper(), row.Fields(1).AsLargeInt());
        });
        facts.shortages = spaceShortages(freeMb, sizes);
    } catch (const EDatabaseError&) {
    }
    try {
        QMap<int, QString> names;
        Query::eachRow(connection, QStringLiteral("SELECT database_id, name FROM sys.databases"),
                       [&](const TADODataSet& row) { names.insert(row.Fields(0).AsInteger(), textOf(row.Fields(1))); });
        QList<ServerFile> serverFiles;
        Query::eachRow(connection, QStringLiteral("SELECT database_id, physical_name FROM sys.master_files"),
                       [&](const TADODataSet& row) {
                           serverFiles.append({names.value(row.Fields(0).AsInteger()), textOf(row.Fields(1))});
                       });
        facts.clashes = fileClashes(database, files, serverFiles);
    } catch (const EDatabaseError&) {
    }
    if (facts.targetExists) {
        try {
            facts.sessions = readOtherSessions(connection, ownSpid, databaseId);
        } catch (const EDatabaseError&) {
        }
    } else {
        facts.sessions = QList<OtherSession>{};
    }
    return facts;
}

QString restoreSummary(const RestoreFacts& facts, const QString& database, bool replace) {
    QStringList lines{text(NewTexts::CheckSummaryHead)};
    if (!facts.targetExists)
        lines << text(NewTexts::CheckTargetNew).arg(database);
    else
        lines << text(replace ? NewTexts::CheckTargetOverwritten : NewTexts::CheckTargetExists).arg(database);
    if (facts.targetExists) {
        if (!facts.sessions) {
            lines << text(NewTexts::CheckSessionsNotChecked);
        } else if (facts.sessions->isEmpty()) {
            lines << text(NewTexts::CheckSessionsNone);
        } else {
            QStringList each;
            for (const OtherSession& s : *facts.sessions)
                each << text(NewTexts::CheckSession).arg(s.id).arg(s.login, s.host, s.program);
            lines << text(NewTexts::CheckSessions).arg(facts.sessions->size()).arg(each.join(QStringLiteral("；")));
        }
    }
    for (const SpaceShortage& s : facts.shortages)
        lines << text(NewTexts::CheckSpaceShort).arg(s.drive).arg(s.neededMb).arg(s.freeMb);
    for (const FileClash& c : facts.clashes)
        lines << text(NewTexts::CheckFileClash).arg(c.path, c.database);
    return lines.join(u'\n');
}

QString newerVersionRefusal(const RestoreFacts& facts) {
    return text(NewTexts::CheckNewerVersion).arg(facts.backupVersion, facts.serverVersion);
}

QString closeSessionsAndRestoreBatch(const QString& database, const QString& restoreStatement) {
    return QStringLiteral("ALTER DATABASE ") + bracketed(database) +
           QStringLiteral(" SET SINGLE_USER WITH ROLLBACK IMMEDIATE\n") + restoreStatement;
}

QString multiUserStatement(const QString& database) {
    return QStringLiteral("ALTER DATABASE ") + bracketed(database) + QStringLiteral(" SET MULTI_USER");
}

