#include "RestoreStatements.h"

#include "SqlText.h"

QString headerOnlyStatement(const QString& backupFile) {
    return QStringLiteral("RESTORE HEADERONLY FROM  DISK = N'") + SqlText::literal(backupFile) +
           QStringLiteral("'  WITH   NOUNLOAD ");
}

QString fileListOnlyStatement(const QString& backupFile, int setNumber) {
    return QStringLiteral("RESTORE FILELISTONLY FROM  DISK = N'") + SqlText::literal(backupFile) +
           QStringLiteral("' WITH  FILE = ") + QString::number(setNumber) + QStringLiteral(" ,  NOUNLOAD ");
}

QString fileExistStatement(const QString& path) {
    // N'...': a plain literal would lose the characters the server's code page lacks, and the
    // check would answer for another path than the one restored to.
    return QStringLiteral("xp_fileexist N'") + SqlText::literal(path) + QLatin1Char('\'');
}

QString buildRestoreStatement(const QString& database, const QString& backupFile, int setNumber, bool replace,
                              const QList<RestoreFileMove>& moves, int statsPercent) {
    QString sql = QStringLiteral(" Restore DataBase [") + SqlText::bracketed(database) +
                  QStringLiteral("] FROM  DISK = N'") + SqlText::literal(backupFile) + QStringLiteral("' With File =") +
                  QString::number(setNumber) + QLatin1Char(',');
    if (replace)
        sql += QStringLiteral(" REPLACE ,");
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (i > 0)
            sql += QLatin1Char(',');
        sql += QStringLiteral(" Move N'") + SqlText::literal(moves[i].logicalName) + QStringLiteral("' TO N'") +
               SqlText::literal(moves[i].physicalName) + QLatin1Char('\'');
    }
    if (statsPercent > 0)
        sql += QStringLiteral(", STATS = ") + QString::number(statsPercent);
    return sql;
}
