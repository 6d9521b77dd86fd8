#pragma once
// The backup run's statement texts: BACKUP with its WITH clause, reading a file's sets back,
// and verifying one set. Values are escaped with SqlText so that names and paths stay values.

#include <QString>

// What the options page asks of every backup. All off: the statement carries no WITH clause.
struct BackupOptions {
    bool copyOnly = false;
    bool compression = false;
    bool verifyAfterBackup = false; // BACKUP WITH CHECKSUM, then the new set read back
    int statsPercent = 0; // 0: no progress messages

    bool operator==(const BackupOptions&) const = default;
};

namespace BackupStatements {

// " WITH a, b, …" in one fixed order (COPY_ONLY, COMPRESSION, CHECKSUM, STATS = n), or nothing.
QString withClause(const BackupOptions& options);

QString backup(const QString& database, const QString& filePath, const BackupOptions& options = {});

// The sets a file holds, one row each with its Position.
QString headerOnly(const QString& filePath);

// Reads set `position` of the file back, checking its page checksums.
QString verifyOnly(const QString& filePath, int position);

} // namespace BackupStatements
