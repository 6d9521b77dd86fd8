#include "BackupStatements.h"

#include "SqlText.h"

#include <QStringList>

QString BackupStatements::withClause(const BackupOptions& options) {
    QStringList parts;
    if (options.copyOnly)
        parts << QStringLiteral("COPY_ONLY");
    if (options.compression)
        parts << QStringLiteral("COMPRESSION");
    if (options.verifyAfterBackup)
        parts << QStringLiteral("CHECKSUM");
    if (options.statsPercent > 0)
        parts << QStringLiteral("STATS = %1").arg(options.statsPercent);
    return parts.isEmpty() ? QString() : QStringLiteral(" WITH ") + parts.join(QStringLiteral(", "));
}

QString BackupStatements::backup(const QString& database, const QString& filePath, const BackupOptions& options) {
    // N'...': a plain literal is narrowed to the server's code page, and a path with a character
    // outside it (Arabic on a Chinese server) would name another file.
    return QStringLiteral("Backup DataBase [") + SqlText::bracketed(database) + QStringLiteral("] To Disk=N'") +
           SqlText::literal(filePath) + QStringLiteral("'") + withClause(options);
}

QString BackupStatements::headerOnly(const QString& filePath) {
    return QStringLiteral("RESTORE HEADERONLY FROM DISK = N'") + SqlText::literal(filePath) + QStringLiteral("'");
}

QString BackupStatements::verifyOnly(const QString& filePath, int position) {
    return QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'") + SqlText::literal(filePath) +
           QStringLiteral("' WITH FILE = %1, CHECKSUM").arg(position);
}
