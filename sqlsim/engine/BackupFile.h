#pragma once
// The simulator's own backup file format. A file is a sequence of backup sets; each set is
//   "SQLSIMBK", u32 format version, u32 header length, header (UTF-8 JSON),
//   SHA-256 of the header, the database files' bytes one after the other, SHA-256 of those bytes.
// Integers are little-endian. Appending a set never rewrites the sets before it.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <vector>

namespace sqlsim {

struct BackupSetFile {
    QString logicalName;
    QString physicalName;
    QChar type = u'D';
    int fileId = 1;
    qint64 size = 0;
};

struct BackupSetHeader {
    int position = 0;          // 1-based order in the file; not stored, counted when reading
    QString backupName;        // WITH NAME; empty shows as NULL
    QString backupDescription; // WITH DESCRIPTION
    QString databaseName;
    QDateTime databaseCreated;
    QDateTime backupStart;
    QDateTime backupFinish;
    QString userName;
    QString serverName;
    QString machineName;
    int databaseVersion = 904;
    int versionMajor = 15; // of the server that wrote the set
    int versionMinor = 0;
    int versionBuild = 2000;
    bool checksums = false; // WITH CHECKSUM
    bool copyOnly = false;
    bool compressed = false;
    qint64 compressedSize = 0; // of the payload, when compressed
    int compatibilityLevel = 150;
    QString recoveryModel = QStringLiteral("SIMPLE");
    QString collation = QStringLiteral("Chinese_PRC_CI_AS");
    qint64 firstLsn = 0;
    qint64 lastLsn = 0;
    qint64 checkpointLsn = 0;
    qint64 databaseBackupLsn = 0;
    QUuid backupSetGuid;
    QUuid familyGuid;
    QUuid bindingId;
    QUuid recoveryForkId;
    std::vector<BackupSetFile> files;

    qint64 payloadOffset = 0; // where the first file's bytes start in the backup file
    qint64 payloadSize() const;
};

class BackupFile {
public:
    enum class Problem { None, Empty, NotBackup, Truncated, Unreadable };

    struct Listing {
        Problem problem = Problem::None;
        std::vector<BackupSetHeader> sets;
    };

    // Every set's header, in order, without reading the files' bytes.
    static Listing list(const QString& hostPath);

    // One set as bytes to append to a backup file.
    static QByteArray encode(const BackupSetHeader& header, const std::vector<QByteArray>& fileBytes);

    // The files' bytes of one set, checked against the set's checksum. Problem::NotBackup
    // here means the bytes do not match their checksum.
    static Problem readFiles(const QString& hostPath, const BackupSetHeader& header, std::vector<QByteArray>* out);

    static constexpr quint32 formatVersion = 1;
};

} // namespace sqlsim
