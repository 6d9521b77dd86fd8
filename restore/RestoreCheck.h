#pragma once
// What the server can tell before a restore starts that decides whether it will succeed: the
// target database and the sessions in it, the version that wrote the backup, free space on the
// target drives and target files that belong to other databases. Gathered from plain values and
// the connection; judging and wording them needs no server.

#include "RestoreStatements.h"

#include <QChar>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class TADOConnection;

struct OtherSession {
    int id = 0;
    QString login;
    QString host;
    QString program;
};

struct SpaceShortage {
    QChar drive;
    qint64 neededMb = 0;
    qint64 freeMb = 0;
};

struct FileClash {
    QString path;
    QString database; // the database that uses the path
};

// A target path and the size FILELISTONLY gives for its file, in bytes.
struct TargetSize {
    QString path;
    qint64 bytes = 0;
};

// A file of a database on the server (sys.master_files).
struct ServerFile {
    QString database;
    QString path;
};

struct RestoreFacts {
    bool targetExists = false;
    // Nothing when the login may not see other sessions: "not checked" rather than "none".
    std::optional<QList<OtherSession>> sessions;
    QString backupVersion; // "major.minor.build" of the server that wrote the set
    QString serverVersion; // SERVERPROPERTY('ProductVersion')
    qint64 backupBytes = 0; // BackupSize of the set, 0 when not given
    QList<SpaceShortage> shortages;
    QList<FileClash> clashes;

    // Only the major version matters: a later build of the same major version restores.
    bool newerBackup() const;
    bool sessionsToClose() const { return sessions && !sessions->isEmpty(); }
    // Something will fail or sessions must be closed: the user is asked. Replacing an existing
    // database that the user chose to replace is no reason on its own.
    bool worthAsking() const { return sessionsToClose() || !shortages.isEmpty() || !clashes.isEmpty(); }
};

// The leading number of a version text ("15.0.2000.5" -> 15), or 0.
int majorVersion(const QString& version);

// Per drive letter, when the files going there need more than the drive has free. Paths
// without a drive letter (UNC) are not judged.
QList<SpaceShortage> spaceShortages(const QMap<QChar, qint64>& freeMb, const QList<TargetSize>& targets);

// Target paths already used by a database other than the target (names and paths compared
// without letter case, as on Windows).
QList<FileClash> fileClashes(const QString& target, const QList<RestoreFileMove>& files,
                             const QList<ServerFile>& serverFiles);

// Asks the server. Facts the login may not read (free space, other databases' files, other
// sessions) are left out rather than raised; reading the backup itself raises.
RestoreFacts gatherRestoreFacts(TADOConnection& connection, const QString& database, const QString& backupFile,
                                int setNumber, const QList<RestoreFileMove>& files);

// The summary shown before asking, without the question.
QString restoreSummary(const RestoreFacts& facts, const QString& database, bool replace);
// The refusal for a backup written by a newer server.
QString newerVersionRefusal(const RestoreFacts& facts);

// The batch that closes every other session of the database and restores in one go, and the
// statement that opens the database to everyone again.
QString closeSessionsAndRestoreBatch(const QString& database, const QString& restoreStatement);
QString multiUserStatement(const QString& database);
