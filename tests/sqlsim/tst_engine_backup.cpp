// BACKUP and the RESTORE family against real files, in process: round trips, appended sets,
// the real error sequences, damaged files, path escapes and cancellation.

#include "tst_engine_support.h"

#include "Catalog.h"
#include "FileReplace.h"
#include "RestoreJournal.h"

#include <QDirIterator>

#include <chrono>
#include <sys/stat.h>
#include <thread>

using namespace enginetest;

namespace {

const QString salesData = dataDir + "SalesDemo.mdf";
const QString salesLog = dataDir + "SalesDemo_log.ldf";

QString restoreSales(const QString& db, const QString& file, const QString& dataTarget, const QString& logTarget,
                     bool replace = false, int set = 1) {
    return " Restore DataBase [" + db + "] FROM  DISK = N'" + file + "' With File =" + QString::number(set) + "," +
           (replace ? QStringLiteral(" REPLACE ,") : QString()) + " Move N'SalesDemo' TO N'" + dataTarget +
           "', Move N'SalesDemo_log' TO N'" + logTarget + "'";
}

QStringList databaseNames(Session& s) {
    QStringList names;
    for (const auto& row : run(s, QStringLiteral("select name from master..sysdatabases")).firstSet().rows)
        names << text(row[0]);
    return names;
}

QStringList filesUnder(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

} // namespace

class TestEngineBackup : public QObject {
    Q_OBJECT

private slots:
    void backupListRestoreRoundTrip();
    void secondBackupAppendsASet();
    void initOverwritesTheFile();
    void backupFailures_data();
    void backupFailures();
    void readFailures_data();
    void readFailures();
    void restoreRefusals_data();
    void restoreRefusals();
    void replaceOverwritesExistingDatabase();
    void databaseInUseIsNotReplaced();
    void corruptPayloadIsRefusedWithoutTrace();
    void damagedHeadersNeverRestore();
    void hostileNamesRoundTrip();
    void cancelledBackupLeavesNoSet();
    void cancelledRestoreLeavesTheDatabaseRestoring_data();
    void cancelledRestoreLeavesTheDatabaseRestoring();
    void catalogSurvivesRestart();
    void interruptedRestoreIsPutRightAtStart_data();
    void interruptedRestoreIsPutRightAtStart();
    void backupOptionsShowInTheHeader_data();
    void backupOptionsShowInTheHeader();
    void verifyChecksAgainstTheSet_data();
    void verifyChecksAgainstTheSet();
    void failedRenameLeavesTheOldDatabaseWhole_data();
    void failedRenameLeavesTheOldDatabaseWhole();
    void concurrentBackupsToOneFileBothLand();
    void lsnKeepsGrowingAcrossRestarts();
    void sampleDatabasesAreMadeOnce();
};

void TestEngineBackup::backupListRestoreRoundTrip() {
    EngineHarness h;
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(QDir().mkpath(h.d("Data")));
    auto s = h.session();
    const Response backup =
        run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\SalesDemo20240101120000.Bak'"));
    QVERIFY2(!backup.failed(), qPrintable(backup.messages().front().text));
    QCOMPARE(backup.infoNumbers(), QList<int>({4035, 4035, 3014}));
    QCOMPARE(backup.messages()[0].text,
             QStringLiteral("Processed 384 pages for database 'SalesDemo', file 'SalesDemo' on file 1."));
    QCOMPARE(backup.messages()[1].text,
             QStringLiteral("Processed 128 pages for database 'SalesDemo', file 'SalesDemo_log' on file 1."));
    QVERIFY(QRegularExpression(QStringLiteral("^BACKUP DATABASE successfully processed 512 pages in \\d+\\.\\d{3} "
                                              "seconds \\(\\d+\\.\\d{3} MB/sec\\)\\.$"))
                .match(backup.messages()[2].text)
                .hasMatch());

    const QString file = QStringLiteral("C:\\Bak\\SalesDemo20240101120000.Bak");
    const Response header = run(*s, "RESTORE HEADERONLY FROM  DISK = N'" + file + "'  WITH   NOUNLOAD ");
    QVERIFY(!header.failed());
    const ResultSet hs = header.firstSet();
    QCOMPARE(hs.columns.size(), size_t(56));
    QCOMPARE(columnNames(hs).mid(0, 7), QStringList({"BackupName", "BackupDescription", "BackupType", "ExpirationDate",
                                                     "Compressed", "Position", "DeviceType"}));
    QCOMPARE(hs.columns[18].name, QStringLiteral("BackupFinishDate"));
    QCOMPARE(hs.columns[18].type, SqlType::DateTime);
    QCOMPARE(hs.columns.back().name, QStringLiteral("EncryptorType"));
    QCOMPARE(hs.rows.size(), size_t(1));
    QCOMPARE(integer(cell(hs, 0, "Position")), qint64(1));
    QCOMPARE(text(cell(hs, 0, "DatabaseName")), QStringLiteral("SalesDemo"));
    QCOMPARE(text(cell(hs, 0, "BackupTypeDescription")), QStringLiteral("Database"));
    QCOMPARE(integer(cell(hs, 0, "BackupType")), qint64(1));
    QVERIFY(std::holds_alternative<Null>(cell(hs, 0, "BackupName")));
    const QDateTime finished = std::get<QDateTime>(cell(hs, 0, "BackupFinishDate"));
    QVERIFY(qAbs(finished.secsTo(QDateTime::currentDateTime())) < 5);

    const Response list = run(*s, "RESTORE FILELISTONLY FROM  DISK = N'" + file + "' WITH  FILE = 1 ,  NOUNLOAD ");
    QVERIFY(!list.failed());
    const ResultSet fs = list.firstSet();
    QCOMPARE(fs.columns.size(), size_t(22));
    QCOMPARE(columnNames(fs).mid(0, 7),
             QStringList({"LogicalName", "PhysicalName", "Type", "FileGroupName", "Size", "MaxSize", "FileId"}));
    QCOMPARE(fs.rows.size(), size_t(2));
    QCOMPARE(text(cell(fs, 0, "LogicalName")), QStringLiteral("SalesDemo"));
    QCOMPARE(
        text(cell(fs, 0, "PhysicalName")),
        QStringLiteral("C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\SalesDemo.mdf"));
    QCOMPARE(text(cell(fs, 0, "Type")), QStringLiteral("D"));
    QCOMPARE(text(cell(fs, 1, "Type")), QStringLiteral("L"));
    QCOMPARE(integer(cell(fs, 0, "Size")), QFileInfo(h.c(salesData)).size());

    const Response restore =
        run(*s, restoreSales(QStringLiteral("SalesCopy"), file, QStringLiteral("D:\\Data\\Copy.mdf"),
                             QStringLiteral("D:\\Data\\Copy_log.ldf")));
    QVERIFY2(!restore.failed(), qPrintable(restore.messages().front().text));
    QCOMPARE(restore.infoNumbers(), QList<int>({4035, 4035, 3014}));
    QVERIFY(
        restore.messages()[2].text.startsWith(QLatin1String("RESTORE DATABASE successfully processed 512 pages in ")));
    QCOMPARE(readAll(h.d("Data/Copy.mdf")), readAll(h.c(salesData)));
    QCOMPARE(readAll(h.d("Data/Copy_log.ldf")), readAll(h.c(salesLog)));
    QVERIFY(databaseNames(*s).contains(QStringLiteral("SalesCopy")));
    const ResultSet copy =
        run(*s, QStringLiteral("select dbid, filename from master..sysdatabases where name = 'SalesCopy'")).firstSet();
    QCOMPARE(integer(copy.rows.at(0)[0]), qint64(7));
    QCOMPARE(text(copy.rows.at(0)[1]), QStringLiteral("D:\\Data\\Copy.mdf"));
    // The copy can itself be backed up: its files are where the catalog says.
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesCopy] To Disk='D:\\Data\\copy.bak'")).failed());
}

void TestEngineBackup::secondBackupAppendsASet() {
    EngineHarness h;
    QVERIFY(QDir().mkpath(h.c("Bak")));
    auto s = h.session();
    const QString backup = QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\twice.Bak'");
    QVERIFY(!run(*s, backup).failed());
    const QByteArray firstSet = readAll(h.c("Bak/twice.Bak"));
    const Response second = run(*s, QStringLiteral("Backup DataBase [库存管理] To Disk='C:\\Bak\\twice.Bak'"));
    QVERIFY(!second.failed());
    QVERIFY(second.messages()[0].text.endsWith(QLatin1String("on file 2.")));
    // The first set's bytes are untouched by the append.
    QVERIFY(readAll(h.c("Bak/twice.Bak")).startsWith(firstSet));

    const ResultSet hs =
        run(*s, QStringLiteral("RESTORE HEADERONLY FROM  DISK = N'C:\\Bak\\twice.Bak'  WITH   NOUNLOAD ")).firstSet();
    QCOMPARE(hs.rows.size(), size_t(2));
    QCOMPARE(integer(cell(hs, 1, "Position")), qint64(2));
    QCOMPARE(text(cell(hs, 1, "DatabaseName")), QStringLiteral("库存管理"));
    QVERIFY(std::get<QDateTime>(cell(hs, 0, "BackupFinishDate")) <=
            std::get<QDateTime>(cell(hs, 1, "BackupFinishDate")));
    const ResultSet only =
        run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\Bak\\twice.Bak' WITH FILE = 2")).firstSet();
    QCOMPARE(only.rows.size(), size_t(1));
    QCOMPARE(integer(cell(only, 0, "Position")), qint64(2));
    const ResultSet fs =
        run(*s, QStringLiteral("RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\twice.Bak' WITH  FILE = 2 ,  NOUNLOAD "))
            .firstSet();
    QCOMPARE(text(cell(fs, 0, "LogicalName")), QStringLiteral("库存管理"));
    QCOMPARE(text(cell(fs, 1, "LogicalName")), QStringLiteral("库存管理_log"));
    const Response third =
        run(*s, QStringLiteral("RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\twice.Bak' WITH  FILE = 3 ,  NOUNLOAD "));
    QCOMPARE(third.errorNumbers(), QList<int>({4038, 3013}));
    QCOMPARE(third.errorText(4038), QStringLiteral("Cannot find file ID 3 on device 'C:\\Bak\\twice.Bak'."));
    QCOMPARE(third.errorText(3013), QStringLiteral("RESTORE FILELIST is terminating abnormally."));
}

void TestEngineBackup::initOverwritesTheFile() {
    EngineHarness h;
    QVERIFY(QDir().mkpath(h.c("Bak")));
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\i.Bak'")).failed());
    const Response r = run(*s, QStringLiteral("Backup DataBase [model] To Disk='C:\\Bak\\i.Bak' WITH INIT, STATS = 25, "
                                              "NAME = N'夜间', DESCRIPTION = 'full'"));
    QCOMPARE(r.infoNumbers(), QList<int>({3211, 3211, 3211, 3211, 4035, 4035, 3014}));
    QCOMPARE(r.messages()[0].text, QStringLiteral("25 percent processed."));
    QCOMPARE(r.messages()[3].text, QStringLiteral("100 percent processed."));
    const ResultSet hs = run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = 'C:\\Bak\\i.Bak'")).firstSet();
    QCOMPARE(hs.rows.size(), size_t(1));
    QCOMPARE(text(cell(hs, 0, "DatabaseName")), QStringLiteral("model"));
    QCOMPARE(text(cell(hs, 0, "BackupName")), QStringLiteral("夜间"));
    QCOMPARE(text(cell(hs, 0, "BackupDescription")), QStringLiteral("full"));
    // Written aside and renamed into place, the file still gets an ordinary file's mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(h.c("Bak/i.Bak")).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0666 & ~mask);
}

void TestEngineBackup::backupFailures_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("login");
    QTest::addColumn<bool>("inTransaction");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("firstText");
    QTest::newRow("missing directory") << "Backup DataBase [SalesDemo] To Disk='C:\\NoDir\\x.Bak'"
                                       << "sa" << false << QList<int>{3201, 3013}
                                       << "Cannot open backup device 'C:\\NoDir\\x.Bak'. Operating system error "
                                          "3(The system cannot find the path specified.).";
    QTest::newRow("missing database")
        << "Backup DataBase [NoDb] To Disk='C:\\x.Bak'"
        << "sa" << false << QList<int>{911, 3013}
        << "Database 'NoDb' does not exist. Make sure that the name is entered correctly.";
    QTest::newRow("no permission") << "Backup DataBase [SalesDemo] To Disk='C:\\x.Bak'"
                                   << "reader" << false << QList<int>{262, 3013}
                                   << "BACKUP DATABASE permission denied in database 'SalesDemo'.";
    QTest::newRow("in transaction") << "Backup DataBase [SalesDemo] To Disk='C:\\x.Bak'"
                                    << "sa" << true << QList<int>{3021, 3013}
                                    << "Cannot perform a backup or restore operation within a transaction.";
    QTest::newRow("unmapped drive") << "Backup DataBase [SalesDemo] To Disk='Q:\\x.Bak'"
                                    << "sa" << false << QList<int>{3201, 3013}
                                    << "Cannot open backup device 'Q:\\x.Bak'. Operating system error 3(The system "
                                       "cannot find the path specified.).";
    QTest::newRow("dotdot escape") << "Backup DataBase [SalesDemo] To Disk='C:\\..\\..\\escape.Bak'"
                                   << "sa" << false << QList<int>{3201, 3013}
                                   << "Cannot open backup device 'C:\\..\\..\\escape.Bak'. Operating system error "
                                      "3(The system cannot find the path specified.).";
    QTest::newRow("symlink escape") << "Backup DataBase [SalesDemo] To Disk='C:\\Out\\escape.Bak'"
                                    << "sa" << false << QList<int>{3201, 3013}
                                    << "Cannot open backup device 'C:\\Out\\escape.Bak'. Operating system error "
                                       "3(The system cannot find the path specified.).";
    QTest::newRow("directory as file") << "Backup DataBase [SalesDemo] To Disk='C:\\Program Files'"
                                       << "sa" << false << QList<int>{3201, 3013}
                                       << "Cannot open backup device 'C:\\Program Files'. Operating system error "
                                          "5(Access is denied.).";
    QTest::newRow("tempdb") << "Backup DataBase [tempdb] To Disk='C:\\x.Bak'"
                            << "sa" << false << QList<int>{3147, 3013}
                            << "Backup and restore operations are not allowed on database tempdb.";
    QTest::newRow("empty name") << "Backup DataBase [] To Disk='C:\\x.Bak'"
                                << "sa" << false << QList<int>{1038}
                                << "An object or column name is missing or empty. For SELECT INTO statements, verify "
                                   "each column has a name. For other statements, look for empty alias names. Aliases "
                                   "defined as \"\" or [] are not allowed. Change the alias to a valid name.";
    QTest::newRow("onto a database file")
        << "Backup DataBase [SalesDemo] To Disk='C:\\Program Files\\Microsoft SQL "
           "Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\"
           "msdbdata.MDF'"
        << "sa" << false << QList<int>{3201, 3013}
        << "Cannot open backup device 'C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\"
           "msdbdata.MDF'. Operating system error 32(The process cannot access the file because it is being used by "
           "another process.).";
    QTest::newRow("write denied") << "Backup DataBase [SalesDemo] To Disk='C:\\Locked\\Sub\\x.Bak'"
                                  << "sa" << false << QList<int>{3201, 3013}
                                  << "Cannot open backup device 'C:\\Locked\\Sub\\x.Bak'. Operating system error "
                                     "5(Access is denied.).";
    QTest::newRow("read-only directory") << "Backup DataBase [SalesDemo] To Disk='C:\\ReadOnly\\x.Bak'"
                                         << "sa" << false << QList<int>{3201, 3013}
                                         << "Cannot open backup device 'C:\\ReadOnly\\x.Bak'. Operating system "
                                            "error 5(Access is denied.).";
    QTest::newRow("compression on Express")
        << "Backup DataBase [SalesDemo] To Disk='C:\\x.Bak' WITH CHECKSUM, COMPRESSION"
        << "sa" << false << QList<int>{1844, 3013}
        << "BACKUP DATABASE WITH COMPRESSION is not supported on Express Edition (64-bit).";
    QTest::newRow("log backup, simple recovery") << "BACKUP LOG [SalesDemo] TO DISK = N'C:\\x.trn'"
                                                 << "sa" << false << QList<int>{4208, 3013}
                                                 << "The statement BACKUP LOG is not allowed while the recovery model "
                                                    "is SIMPLE. Use BACKUP DATABASE or change the recovery model "
                                                    "using ALTER DATABASE.";
}

void TestEngineBackup::backupFailures() {
    QFETCH(QString, sql);
    QFETCH(QString, login);
    QFETCH(bool, inTransaction);
    QFETCH(QList<int>, errors);
    QFETCH(QString, firstText);
    EngineHarness h;
    h.stop();
    h.config.edition = QStringLiteral("Express Edition (64-bit)");
    h.config.denyWrite = {QStringLiteral("c:\\locked")};
    h.start();
    QVERIFY(QDir().mkpath(h.c("Locked/Sub")));
    QVERIFY(QDir().mkpath(h.c("ReadOnly")));
    QVERIFY(QFile::setPermissions(h.c("ReadOnly"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QTemporaryDir outside;
    QVERIFY(QFile::link(outside.path(), h.c("Out")));
    auto s = h.session(login);
    if (inTransaction)
        s->beginTransaction();
    const Response r = run(*s, sql);
    QCOMPARE(r.errorNumbers(), errors);
    QCOMPARE(r.messages().front().text, firstText);
    if (errors.contains(3013))
        QCOMPARE(r.errorText(3013),
                 QStringLiteral("%1 is terminating abnormally.").arg(sql.section(u' ', 0, 1).toUpper()));
    QVERIFY(r.dones().back().error);
    QVERIFY(filesUnder(outside.path()).isEmpty());
    QCOMPARE(QFileInfo(h.c(dataDir + "MSDBData.mdf")).size(), qint64(1024 * 1024));
    QVERIFY(!QFileInfo::exists(h.c("x.Bak")));
    QVERIFY(!QFileInfo::exists(h.c("Locked/Sub/x.Bak")));
    QVERIFY(!QFileInfo::exists(h.c("ReadOnly/x.Bak")));
    QVERIFY(!QFileInfo::exists(h.dir.filePath("escape.Bak")));
}

void TestEngineBackup::readFailures_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("firstText");
    QTest::addColumn<QString>("terminating");
    const QString header = QStringLiteral("RESTORE HEADERONLY FROM  DISK = N'%1'  WITH   NOUNLOAD ");
    const QString list = QStringLiteral("RESTORE FILELISTONLY FROM  DISK = N'%1' WITH  FILE = 1 ,  NOUNLOAD ");
    const QString restore = QStringLiteral(" Restore DataBase [New] FROM  DISK = N'%1' With File =1, Move N'SalesDemo' "
                                           "TO N'D:\\n.mdf', Move N'SalesDemo_log' TO N'D:\\n.ldf'");
    QTest::newRow("missing file") << header << "C:\\Bak\\none.bak" << QList<int>{3201, 3013}
                                  << "Cannot open backup device 'C:\\Bak\\none.bak'. Operating system error 2(The "
                                     "system cannot find the file specified.)."
                                  << "RESTORE HEADERONLY is terminating abnormally.";
    QTest::newRow("missing directory") << list << "C:\\NoDir\\none.bak" << QList<int>{3201, 3013}
                                       << "Cannot open backup device 'C:\\NoDir\\none.bak'. Operating system error "
                                          "3(The system cannot find the path specified.)."
                                       << "RESTORE FILELIST is terminating abnormally.";
    QTest::newRow("not a backup, header")
        << header << "C:\\Bak\\text.bak" << QList<int>{3241, 3013}
        << "The media family on device 'C:\\Bak\\text.bak' is incorrectly formed. SQL "
           "Server cannot process this media family."
        << "RESTORE HEADERONLY is terminating abnormally.";
    QTest::newRow("not a backup, restore") << restore << "C:\\Bak\\text.bak" << QList<int>{3241, 3013}
                                           << "The media family on device 'C:\\Bak\\text.bak' is incorrectly formed. "
                                              "SQL Server cannot process this media family."
                                           << "RESTORE DATABASE is terminating abnormally.";
    QTest::newRow("empty") << list << "C:\\Bak\\empty.bak" << QList<int>{3254, 3013}
                           << "The volume on device 'C:\\Bak\\empty.bak' is empty."
                           << "RESTORE FILELIST is terminating abnormally.";
    QTest::newRow("truncated header") << header << "C:\\Bak\\cut.bak" << QList<int>{3203, 3013}
                                      << "Read on \"C:\\Bak\\cut.bak\" failed: 38(Reached the end of the file.)"
                                      << "RESTORE HEADERONLY is terminating abnormally.";
    QTest::newRow("truncated restore") << restore << "C:\\Bak\\cut.bak" << QList<int>{3203, 3013}
                                       << "Read on \"C:\\Bak\\cut.bak\" failed: 38(Reached the end of the file.)"
                                       << "RESTORE DATABASE is terminating abnormally.";
    QTest::newRow("set beyond last") << QString(restore).replace(QLatin1String("File =1"), QLatin1String("File =2"))
                                     << "C:\\Bak\\good.bak" << QList<int>{4038, 3013}
                                     << "Cannot find file ID 2 on device 'C:\\Bak\\good.bak'."
                                     << "RESTORE DATABASE is terminating abnormally.";
}

void TestEngineBackup::readFailures() {
    QFETCH(QString, statement);
    QFETCH(QString, file);
    QFETCH(QList<int>, errors);
    QFETCH(QString, firstText);
    QFETCH(QString, terminating);
    EngineHarness h;
    auto s = h.session();
    QVERIFY(writeFile(h.c("Bak/text.bak"), "this is not a backup, only some text that happens to be long enough"));
    QVERIFY(writeFile(h.c("Bak/empty.bak"), QByteArray()));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\good.bak'")).failed());
    const QByteArray good = readAll(h.c("Bak/good.bak"));
    QVERIFY(writeFile(h.c("Bak/cut.bak"), good.left(good.size() / 2)));
    const QStringList before = databaseNames(*s);

    const Response r = run(*s, statement.arg(file));
    QCOMPARE(r.errorNumbers(), errors);
    QCOMPARE(r.messages().front().text, firstText);
    QCOMPARE(r.errorText(3013), terminating);
    QVERIFY(r.resultSets().empty());
    QCOMPARE(databaseNames(*s), before);
    QVERIFY(filesUnder(h.d()).isEmpty());
}

void TestEngineBackup::restoreRefusals_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("firstText");
    const QString file = QStringLiteral("C:\\Bak\\s.bak");
    QTest::newRow("other database without REPLACE")
        << restoreSales(QStringLiteral("库存管理"), file, QStringLiteral("D:\\a.mdf"), QStringLiteral("D:\\a.ldf"))
        << QList<int>{3154, 3013}
        << "The backup set holds a backup of a database other than the existing '库存管理' database.";
    const QString inUse =
        QStringLiteral("C:\\") + QString(dataDir).replace(u'/', u'\\') + QStringLiteral("库存管理.mdf");
    QTest::newRow("file of another database")
        << restoreSales(QStringLiteral("New"), file, inUse, QStringLiteral("D:\\a.ldf"))
        << QList<int>{1834, 3156, 3119, 3013}
        << "The file '" + inUse + "' cannot be overwritten.  It is being used by database '库存管理'.";
    QTest::newRow("file of another database, other case")
        << restoreSales(QStringLiteral("New"), file, inUse.toUpper(), QStringLiteral("D:\\a.ldf"))
        << QList<int>{1834, 3156, 3119, 3013}
        << "The file '" + inUse.toUpper() + "' cannot be overwritten.  It is being used by database '库存管理'.";
    QTest::newRow("missing target directory")
        << restoreSales(QStringLiteral("New"), file, QStringLiteral("D:\\NoDir\\a.mdf"), QStringLiteral("D:\\a.ldf"))
        << QList<int>{5133, 3156, 3119, 3013}
        << "Directory lookup for the file \"D:\\NoDir\\a.mdf\" failed with the operating system error 3(The system "
           "cannot find the path specified.).";
    QTest::newRow("target escapes the drive")
        << restoreSales(QStringLiteral("New"), file, QStringLiteral("D:\\..\\state\\a.mdf"),
                        QStringLiteral("D:\\a.ldf"))
        << QList<int>{5133, 3156, 3119, 3013}
        << "Directory lookup for the file \"D:\\..\\state\\a.mdf\" failed with the operating system error 3(The system "
           "cannot find the path specified.).";
    QTest::newRow("existing unrelated file without REPLACE")
        << restoreSales(QStringLiteral("New"), file, QStringLiteral("D:\\old.mdf"), QStringLiteral("D:\\a.ldf"))
        << QList<int>{3142, 3119, 3013}
        << "File \"SalesDemo\" cannot be restored over the existing \"D:\\old.mdf\". Reissue the RESTORE statement "
           "using WITH REPLACE to overwrite pre-existing files, or WITH MOVE to identify an alternate location.";
    QTest::newRow("two files to one target")
        << restoreSales(QStringLiteral("New"), file, QStringLiteral("D:\\same.mdf"), QStringLiteral("d:\\SAME.mdf"))
        << QList<int>{3176, 3119, 3013}
        << "File 'd:\\SAME.mdf' is claimed by 'SalesDemo'(1) and 'SalesDemo_log'(2). The WITH MOVE clause can be used "
           "to relocate one or more files.";
    QTest::newRow("over the backup being read")
        << restoreSales(QStringLiteral("New"), file, QStringLiteral("c:\\bak\\S.BAK"), QStringLiteral("D:\\a.ldf"),
                        true)
        << QList<int>{3634, 3156, 3119, 3013}
        << "The operating system returned the error '32(The process cannot access the file because it is being used by "
           "another process.)' while attempting 'CreateFileW' on 'c:\\bak\\S.BAK'.";
    QTest::newRow("unknown logical name")
        << " Restore DataBase [New] FROM  DISK = N'C:\\Bak\\s.bak' With File =1, Move N'Nope' TO N'D:\\a.mdf'"
        << QList<int>{3234, 3013}
        << "Logical file 'Nope' is not part of database 'SalesDemo'. Use RESTORE FILELISTONLY to list the logical file "
           "names.";
}

void TestEngineBackup::restoreRefusals() {
    QFETCH(QString, sql);
    QFETCH(QList<int>, errors);
    QFETCH(QString, firstText);
    EngineHarness h;
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(writeFile(h.d("old.mdf"), "precious"));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\s.bak'")).failed());
    const QByteArray inventory = readAll(h.c(dataDir + "库存管理.mdf"));
    const QByteArray backupBytes = readAll(h.c("Bak/s.bak"));
    const QStringList before = databaseNames(*s);

    const Response r = run(*s, sql);
    QCOMPARE(r.errorNumbers(), errors);
    QCOMPARE(r.messages().front().text, firstText);
    QCOMPARE(r.errorText(3013), QStringLiteral("RESTORE DATABASE is terminating abnormally."));
    QCOMPARE(databaseNames(*s), before);
    QCOMPARE(readAll(h.c(dataDir + "库存管理.mdf")), inventory);
    QCOMPARE(readAll(h.d("old.mdf")), QByteArray("precious"));
    QCOMPARE(readAll(h.c("Bak/s.bak")), backupBytes);
    QCOMPARE(filesUnder(h.d()), QStringList({h.d("old.mdf")}));
}

void TestEngineBackup::replaceOverwritesExistingDatabase() {
    EngineHarness h;
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\s.bak'")).failed());
    const QString inventoryData =
        QStringLiteral("C:\\") + QString(dataDir).replace(u'/', u'\\') + QStringLiteral("库存管理.mdf");
    const Response r = run(*s, restoreSales(QStringLiteral("库存管理"), QStringLiteral("C:\\Bak\\s.bak"), inventoryData,
                                            QStringLiteral("D:\\inv_log.ldf"), true));
    QVERIFY2(!r.failed(), qPrintable(r.messages().front().text));
    QCOMPARE(readAll(h.c(dataDir + "库存管理.mdf")), readAll(h.c(salesData)));
    QCOMPARE(readAll(h.d("inv_log.ldf")), readAll(h.c(salesLog)));
    // The replaced database's log file was not reused and is gone; the dbid stays.
    QVERIFY(!QFileInfo::exists(h.c(dataDir + "库存管理_log.ldf")));
    const ResultSet rs =
        run(*s, QStringLiteral("select dbid from master..sysdatabases where name = N'库存管理'")).firstSet();
    QCOMPARE(integer(rs.rows.at(0)[0]), qint64(6));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [库存管理] To Disk='C:\\Bak\\inv.bak'")).failed());
    const ResultSet list = run(*s, QStringLiteral("RESTORE FILELISTONLY FROM DISK = N'C:\\Bak\\inv.bak'")).firstSet();
    QCOMPARE(text(cell(list, 0, "LogicalName")), QStringLiteral("SalesDemo"));
    QCOMPARE(text(cell(list, 1, "PhysicalName")), QStringLiteral("D:\\inv_log.ldf"));
}

void TestEngineBackup::databaseInUseIsNotReplaced() {
    EngineHarness h;
    auto s = h.session();
    auto user = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\s.bak'")).failed());
    const QByteArray original = readAll(h.c(salesData));
    const QString restore = restoreSales(QStringLiteral("SalesDemo"), QStringLiteral("C:\\s.bak"),
                                         QStringLiteral("D:\\r.mdf"), QStringLiteral("D:\\r.ldf"), true);
    QVERIFY(!run(*user, QStringLiteral("use SalesDemo")).failed());
    const Response other = run(*s, restore);
    QCOMPARE(other.errorNumbers(), QList<int>({3101, 3013}));
    const Response own = run(*user, restore);
    QCOMPARE(own.errorNumbers(), QList<int>({3102, 3013}));
    QCOMPARE(readAll(h.c(salesData)), original);
    QVERIFY(filesUnder(h.d()).isEmpty());
    // Once the other session has moved away, the restore goes through.
    QVERIFY(!run(*user, QStringLiteral("use master")).failed());
    QVERIFY(!run(*s, restore).failed());
    QVERIFY(QFileInfo::exists(h.d("r.mdf")));
}

void TestEngineBackup::corruptPayloadIsRefusedWithoutTrace() {
    EngineHarness h;
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\s.bak'")).failed());
    QByteArray bytes = readAll(h.c("Bak/s.bak"));
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
    QVERIFY(writeFile(h.c("Bak/s.bak"), bytes));
    // Header still reads: only the data is damaged.
    QCOMPARE(run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\Bak\\s.bak'")).firstSet().rows.size(),
             size_t(1));
    const Response r = run(*s, restoreSales(QStringLiteral("Broken"), QStringLiteral("C:\\Bak\\s.bak"),
                                            QStringLiteral("D:\\b.mdf"), QStringLiteral("D:\\b.ldf")));
    QCOMPARE(r.errorNumbers(), QList<int>({3183, 3013}));
    QVERIFY(!databaseNames(*s).contains(QStringLiteral("Broken")));
    QVERIFY(filesUnder(h.d()).isEmpty());
    const Response verify = run(*s, QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'C:\\Bak\\s.bak'"));
    QCOMPARE(verify.errorNumbers(), QList<int>({3183, 3013}));
}

void TestEngineBackup::damagedHeadersNeverRestore() {
    EngineHarness h;
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [model] To Disk='C:\\m.bak'")).failed());
    const QByteArray good = readAll(h.c("m.bak"));
    // Every byte of the set's framing and header, damaged one at a time.
    const int headerEnd = int(good.indexOf("}") + 1 + 32);
    QVERIFY(headerEnd > 100);
    for (int i = 0; i < headerEnd; i += 3) {
        QByteArray bytes = good;
        bytes[i] = char(bytes[i] ^ 0x41);
        QVERIFY(writeFile(h.c("m.bak"), bytes));
        const Response header = run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\m.bak'"));
        QVERIFY2(header.failed(), qPrintable(QString::number(i)));
        const QList<int> errors = header.errorNumbers();
        QVERIFY2(errors == QList<int>({3241, 3013}) || errors == QList<int>({3203, 3013}),
                 qPrintable(QString::number(i)));
        const Response restore =
            run(*s, QStringLiteral(" Restore DataBase [Damaged] FROM  DISK = N'C:\\m.bak' With "
                                   "File =1, Move N'modeldev' TO N'D:\\m.mdf', Move N'modellog' TO "
                                   "N'D:\\m.ldf'"));
        QVERIFY(restore.failed());
    }
    QVERIFY(!databaseNames(*s).contains(QStringLiteral("Damaged")));
    QVERIFY(filesUnder(h.d()).isEmpty());
}

void TestEngineBackup::hostileNamesRoundTrip() {
    EngineHarness h;
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(QDir().mkpath(h.d("it's 库")));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\s.bak'")).failed());
    const Response restore = run(*s, QStringLiteral(" Restore DataBase [a]]b'c 库] FROM  DISK = N'C:\\Bak\\s.bak' With "
                                                    "File =1, Move N'SalesDemo' TO N'D:\\it''s 库\\x].mdf', Move "
                                                    "N'SalesDemo_log' TO N'D:\\it''s 库\\x''.ldf'"));
    QVERIFY2(!restore.failed(), qPrintable(restore.messages().front().text));
    QVERIFY(databaseNames(*s).contains(QStringLiteral("a]b'c 库")));
    QCOMPARE(readAll(h.d("it's 库/x].mdf")), readAll(h.c(salesData)));
    const Response backup = run(*s, QStringLiteral("Backup DataBase [a]]b'c 库] To Disk='D:\\it''s 库\\备份.Bak'"));
    QVERIFY2(!backup.failed(), qPrintable(backup.messages().front().text));
    QVERIFY(backup.messages()[0].text.contains(QStringLiteral("database 'a]b'c 库'")));
    const ResultSet hs =
        run(*s, QStringLiteral("RESTORE HEADERONLY FROM  DISK = N'D:\\it''s 库\\备份.Bak'  WITH   NOUNLOAD "))
            .firstSet();
    QCOMPARE(text(cell(hs, 0, "DatabaseName")), QStringLiteral("a]b'c 库"));
    const ResultSet fs =
        run(*s,
            QStringLiteral("RESTORE FILELISTONLY FROM  DISK = N'D:\\it''s 库\\备份.Bak' WITH  FILE = 1 ,  NOUNLOAD "))
            .firstSet();
    QCOMPARE(text(cell(fs, 1, "PhysicalName")), QStringLiteral("D:\\it's 库\\x'.ldf"));
}

void TestEngineBackup::cancelledBackupLeavesNoSet() {
    EngineHarness h(true, 400); // SalesDemo is 4 MB: about 1.6 s
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [model] To Disk='C:\\Bak\\c.bak'")).failed());
    const QByteArray before = readAll(h.c("Bak/c.bak"));
    CollectingSink sink;
    CancelToken cancel;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        cancel.cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    s->executeBatch(QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\c.bak'"), sink, cancel);
    canceller.join();
    QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::milliseconds(1200));
    const Response r{sink.items};
    QVERIFY(!r.infoNumbers().contains(3014));
    QVERIFY(!r.dones().empty() && !r.dones().back().more);
    QCOMPARE(readAll(h.c("Bak/c.bak")), before);
    QCOMPARE(filesUnder(h.c("Bak")), QStringList({h.c("Bak/c.bak")}));
}

void TestEngineBackup::cancelledRestoreLeavesTheDatabaseRestoring_data() {
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("replace");
    QTest::newRow("a new database") << "Half" << false;
    QTest::newRow("over an existing one") << "SalesDemo" << true;
}

void TestEngineBackup::cancelledRestoreLeavesTheDatabaseRestoring() {
    QFETCH(QString, database);
    QFETCH(bool, replace);
    EngineHarness h(true, 400);
    auto s = h.session();
    QVERIFY(QDir().mkpath(h.c("Bak")));
    {
        EngineHarness fast; // a quick backup to restore from
        auto f = fast.session();
        QVERIFY(!run(*f, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\s.bak'")).failed());
        QVERIFY(QFile::copy(fast.c("s.bak"), h.c("Bak/s.bak")));
    }
    const QString oldDataFile =
        text(run(*s, QStringLiteral("select filename from master..sysdatabases where name = 'SalesDemo'"))
                 .firstSet()
                 .rows.at(0)
                 .at(0));
    const QString restore = restoreSales(database, QStringLiteral("C:\\Bak\\s.bak"), QStringLiteral("D:\\h.mdf"),
                                         QStringLiteral("D:\\h.ldf"), replace);
    CollectingSink sink;
    CancelToken cancel;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        cancel.cancel();
    });
    s->executeBatch(restore, sink, cancel);
    canceller.join();
    QVERIFY(!Response{sink.items}.infoNumbers().contains(3014));

    // As on a server: the database stays, unusable, until a restore of it completes.
    const QString stateQuery = QStringLiteral("select state_desc from sys.databases where name = '%1'").arg(database);
    const QString statusQuery = QStringLiteral("select DATABASEPROPERTYEX(N'%1', 'Status')").arg(database);
    QCOMPARE(text(cell(run(*s, stateQuery).firstSet(), 0, QStringLiteral("state_desc"))), QStringLiteral("RESTORING"));
    QCOMPARE(text(run(*s, statusQuery).firstSet().rows.at(0).at(0)), QStringLiteral("RESTORING"));
    QCOMPARE(run(*s, QStringLiteral("use [%1]").arg(database)).errorNumbers(), QList<int>{927});
    QCOMPARE(run(*s, QStringLiteral("Backup DataBase [%1] To Disk='C:\\again.bak'").arg(database)).errorNumbers(),
             (QList<int>{927, 3013}));
    QVERIFY(filesUnder(h.d()).isEmpty()); // no staged file is left behind
    // The old data is gone where the restore put its files elsewhere.
    const ResultSet old = run(*s, QStringLiteral("xp_fileexist N'%1'").arg(oldDataFile)).firstSet();
    QCOMPARE(integer(cell(old, 0, QStringLiteral("File Exists"))), replace ? 0 : 1);

    // The state survives a restart, and restoring again brings the database back.
    h.config.delayPerMbMs = 0;
    s.reset();
    h.stop();
    h.start();
    auto again = h.session();
    QCOMPARE(text(run(*again, statusQuery).firstSet().rows.at(0).at(0)), QStringLiteral("RESTORING"));
    QVERIFY(!run(*again, restore).failed());
    QCOMPARE(text(run(*again, statusQuery).firstSet().rows.at(0).at(0)), QStringLiteral("ONLINE"));
    QVERIFY(!run(*again, QStringLiteral("use [%1]").arg(database)).failed());
}

void TestEngineBackup::catalogSurvivesRestart() {
    EngineHarness h;
    {
        auto s = h.session();
        QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\s.bak'")).failed());
        QVERIFY(!run(*s, restoreSales(QStringLiteral("Kept"), QStringLiteral("C:\\s.bak"), QStringLiteral("D:\\k.mdf"),
                                      QStringLiteral("D:\\k.ldf")))
                     .failed());
        QVERIFY(!run(*s, QStringLiteral("Create Table ##Gone(a int)")).failed());
    }
    h.stop();
    h.start();
    auto s = h.session();
    const QStringList names = databaseNames(*s);
    QCOMPARE(names, QStringList({"master", "tempdb", "model", "msdb", "SalesDemo", "库存管理", "Kept"}));
    QCOMPARE(run(*s, QStringLiteral("select * from ##Gone")).errorNumbers(), QList<int>({208}));
    // A catalog that cannot be read stops the engine rather than starting empty.
    h.stop();
    QVERIFY(writeFile(QDir(h.config.stateDir).filePath(QStringLiteral("catalog.json")), "{ half"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, h.start());
}

void TestEngineBackup::interruptedRestoreIsPutRightAtStart_data() {
    QTest::addColumn<bool>("committing");
    QTest::newRow("killed while copying") << false;
    QTest::newRow("killed between the renames") << true;
}

// The state a kill leaves: REPLACE of 库存管理 with its log moved to D:, the data file already
// renamed into place (when committing) and the log still aside. The journal is written through its
// own class; the copy kept outside stands for the file a killed process never removed.
void TestEngineBackup::interruptedRestoreIsPutRightAtStart() {
    QFETCH(bool, committing);
    EngineHarness h;
    h.stop();
    const QString journals = QDir(h.config.stateDir).filePath(QStringLiteral("restores"));
    const QString dataHost = h.c(dataDir + "库存管理.mdf");
    const QString oldLogHost = h.c(dataDir + "库存管理_log.ldf");
    const QByteArray oldData = readAll(dataHost);
    QVERIFY(!oldData.isEmpty() && QFileInfo::exists(oldLogHost));
    const std::vector<RestoreJournal::Move> moves{{dataHost + ".restoring-1", dataHost, {}},
                                                  {h.d("inv_log.ldf") + ".restoring-2", h.d("inv_log.ldf"), {}}};
    QVERIFY(writeFile(moves[0].temporary, "new data"));
    QVERIFY(writeFile(moves[1].temporary, "new log"));
    Database entry;
    entry.name = QStringLiteral("库存管理");
    entry.dbid = 6;
    entry.created = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    entry.files = {
        {QStringLiteral("SalesDemo"), "C:\\" + QString(dataDir).replace(u'/', u'\\') + "库存管理.mdf", u'D', 1},
        {QStringLiteral("SalesDemo_log"), QStringLiteral("D:\\inv_log.ldf"), u'L', 2}};
    QByteArray leftBehind;
    {
        RestoreJournal journal(journals);
        if (committing) {
            journal.committing(moves, entry, {oldLogHost});
            QVERIFY(QFile::remove(dataHost));
            QVERIFY(QFile::rename(moves[0].temporary, dataHost));
        } else {
            journal.copying(moves);
        }
        const QStringList files = QDir(journals).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        leftBehind = readAll(QDir(journals).filePath(files.first()));
    }
    QVERIFY(writeFile(QDir(journals).filePath("left-by-a-kill.json"), leftBehind));
    // And the torn temporary of a later journal write, which must not count.
    QVERIFY(writeFile(QDir(journals).filePath("left-by-a-kill.json.aB3xYz"), leftBehind.left(20)));

    h.start();
    QCOMPARE(QDir(journals).entryList(QDir::Files), QStringList());
    QVERIFY(!QFileInfo::exists(moves[0].temporary));
    QVERIFY(!QFileInfo::exists(moves[1].temporary));
    const Catalog catalog(QDir(h.config.stateDir).filePath("catalog.json"));
    const Database* db = catalog.find(QStringLiteral("库存管理"));
    QVERIFY(db);
    QCOMPARE(db->files.size(), size_t(2));
    if (committing) {
        QCOMPARE(readAll(dataHost), QByteArray("new data"));
        QCOMPARE(readAll(h.d("inv_log.ldf")), QByteArray("new log"));
        QVERIFY(!QFileInfo::exists(oldLogHost));
        QCOMPARE(db->files[1].physicalName, QStringLiteral("D:\\inv_log.ldf"));
        QCOMPARE(db->created, entry.created);
    } else {
        QCOMPARE(readAll(dataHost), oldData);
        QVERIFY(QFileInfo::exists(oldLogHost));
        QVERIFY(!QFileInfo::exists(h.d("inv_log.ldf")));
        QCOMPARE(db->files[1].physicalName, "C:\\" + QString(dataDir).replace(u'/', u'\\') + "库存管理_log.ldf");
    }
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [库存管理] To Disk='C:\\after.bak'")).failed());
}

void TestEngineBackup::backupOptionsShowInTheHeader_data() {
    QTest::addColumn<QString>("with");
    QTest::addColumn<bool>("copyOnly");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<bool>("checksums");
    QTest::addColumn<qint64>("flags");
    QTest::newRow("none") << "" << false << false << false << qint64(512);
    QTest::newRow("copy only") << " WITH COPY_ONLY" << true << false << false << qint64(1536);
    QTest::newRow("checksum") << " WITH  CHECKSUM" << false << false << true << qint64(528);
    QTest::newRow("compression brings checksums") << " WITH COMPRESSION" << false << true << true << qint64(528);
    QTest::newRow("compression without checksums")
        << " WITH COMPRESSION, NO_CHECKSUM" << false << true << false << qint64(512);
    QTest::newRow("all, any order") << " WITH COMPRESSION ,STATS = 50, COPY_ONLY, INIT, CHECKSUM" << true << true
                                    << true << qint64(1552);
}

void TestEngineBackup::backupOptionsShowInTheHeader() {
    QFETCH(QString, with);
    QFETCH(bool, copyOnly);
    QFETCH(bool, compressed);
    QFETCH(bool, checksums);
    QFETCH(qint64, flags);
    EngineHarness h;
    auto s = h.session();
    const Response backup = run(*s, "Backup DataBase [SalesDemo] To Disk='C:\\s.bak'" + with);
    QVERIFY2(!backup.failed(), qPrintable(backup.messages().front().text));
    const ResultSet rs = run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\s.bak'")).firstSet();
    QCOMPARE(integer(cell(rs, 0, "IsCopyOnly")), qint64(copyOnly));
    QCOMPARE(integer(cell(rs, 0, "Compressed")), qint64(compressed));
    QCOMPARE(integer(cell(rs, 0, "HasBackupChecksums")), qint64(checksums));
    QCOMPARE(integer(cell(rs, 0, "Flags")), flags);
    const qint64 size = integer(cell(rs, 0, "BackupSize"));
    const qint64 compressedSize = integer(cell(rs, 0, "CompressedBackupSize"));
    QVERIFY(size > 4 * 1024 * 1024);
    // The sample files are random bytes, which deflate hardly shrinks.
    if (compressed)
        QVERIFY2(compressedSize != size && compressedSize > size * 9 / 10, qPrintable(QString::number(compressedSize)));
    else
        QCOMPARE(compressedSize, size);
}

void TestEngineBackup::verifyChecksAgainstTheSet_data() {
    QTest::addColumn<QString>("backupWith");
    QTest::addColumn<bool>("damage");
    QTest::addColumn<QString>("verifyWith");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("message");
    QTest::newRow("good, checksums") << " WITH CHECKSUM" << false << " WITH FILE = 2, CHECKSUM" << QList<int>{}
                                     << "The backup set on file 2 is valid.";
    QTest::newRow("good, no checksums asked")
        << "" << false << " WITH FILE = 2" << QList<int>{} << "The backup set on file 2 is valid.";
    QTest::newRow("damaged, checksums") << " WITH CHECKSUM" << true << " WITH FILE = 2, CHECKSUM"
                                        << QList<int>{3189, 3013} << "Damage to the backup set was detected.";
    QTest::newRow("damaged, checksums on the media")
        << " WITH COMPRESSION" << true << " WITH FILE = 2" << QList<int>{3189, 3013}
        << "Damage to the backup set was detected.";
    QTest::newRow("checksum asked, none written")
        << "" << false << " WITH FILE = 2, CHECKSUM" << QList<int>{3187, 3013}
        << "RESTORE WITH CHECKSUM cannot be specified because the backup set does not contain checksum information.";
    QTest::newRow("no such set") << " WITH CHECKSUM" << false << " WITH FILE = 3, CHECKSUM" << QList<int>{4038, 3013}
                                 << "Cannot find file ID 3 on device 'C:\\v.bak'.";
}

// The first set of the file stays good; the second is the one verified (and damaged).
void TestEngineBackup::verifyChecksAgainstTheSet() {
    QFETCH(QString, backupWith);
    QFETCH(bool, damage);
    QFETCH(QString, verifyWith);
    QFETCH(QList<int>, errors);
    QFETCH(QString, message);
    EngineHarness h;
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [model] To Disk='C:\\v.bak' WITH CHECKSUM")).failed());
    const qint64 firstSetEnd = QFileInfo(h.c("v.bak")).size();
    QVERIFY(!run(*s, "Backup DataBase [SalesDemo] To Disk='C:\\v.bak'" + backupWith).failed());
    if (damage) {
        QByteArray bytes = readAll(h.c("v.bak"));
        const qint64 at = firstSetEnd + (bytes.size() - firstSetEnd) / 2;
        bytes[at] = char(bytes[at] ^ 0x20);
        QVERIFY(writeFile(h.c("v.bak"), bytes));
    }
    const Response r = run(*s, "RESTORE VERIFYONLY FROM DISK = N'C:\\v.bak'" + verifyWith);
    QCOMPARE(r.errorNumbers(), errors);
    QCOMPARE(r.messages().front().text, message);
    if (errors.isEmpty()) {
        QCOMPARE(r.infoNumbers(), QList<int>({3262}));
        QCOMPARE(r.messages().front().severity, 0);
    } else {
        QCOMPARE(r.errorText(3013), QStringLiteral("VERIFY DATABASE is terminating abnormally."));
    }
    // Damage to one set leaves the other one valid.
    const Response first =
        run(*s, QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'C:\\v.bak' WITH FILE = 1, CHECKSUM"));
    QCOMPARE(first.errorText(3262), QStringLiteral("The backup set on file 1 is valid."));
}

void TestEngineBackup::failedRenameLeavesTheOldDatabaseWhole_data() {
    QTest::addColumn<bool>("putBackFails");
    QTest::newRow("log rename fails, data put back") << false;
    QTest::newRow("putting the data back fails too") << true;
}

// REPLACE of 库存管理 onto its own two files: the data file goes in, the log's rename fails.
// Either the old files come back, or, when even that fails, the next start finishes the restore.
void TestEngineBackup::failedRenameLeavesTheOldDatabaseWhole() {
    QFETCH(bool, putBackFails);
    EngineHarness h;
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\s.bak'")).failed());
    s.reset();
    const QString dataHost = h.c(dataDir + "库存管理.mdf");
    const QString logHost = h.c(dataDir + "库存管理_log.ldf");
    const QByteArray oldData = readAll(dataHost);
    const QByteArray oldLog = readAll(logHost);
    const QStringList filesBefore = filesUnder(h.c(dataDir));
    h.stop();
    h.config.rename = [&](const QString& from, const QString& to) {
        const bool logGoingIn = from.contains(QStringLiteral(".restoring-")) && to == logHost;
        const bool dataGoingBack = from == dataHost && to.contains(QStringLiteral(".restoring-"));
        if (logGoingIn || (putBackFails && dataGoingBack))
            return std::make_error_code(std::errc::permission_denied);
        return renameFile(from, to);
    };
    h.start();
    s = h.session();
    const QString windowsDir = "C:\\" + QString(dataDir).replace(u'/', u'\\');
    const Response r = run(*s, restoreSales(QStringLiteral("库存管理"), QStringLiteral("C:\\s.bak"),
                                            windowsDir + "库存管理.mdf", windowsDir + "库存管理_log.ldf", true));
    QCOMPARE(r.errorNumbers(), QList<int>({3634, 3013}));
    QVERIFY(r.errorText(3634).contains(windowsDir + "库存管理_log.ldf"));
    const QString journals = QDir(h.config.stateDir).filePath(QStringLiteral("restores"));
    if (!putBackFails) {
        QCOMPARE(readAll(dataHost), oldData);
        QCOMPARE(readAll(logHost), oldLog);
        QCOMPARE(filesUnder(h.c(dataDir)), filesBefore);
        QCOMPARE(filesUnder(journals), QStringList());
    }
    s.reset();
    h.stop();
    h.config.rename = nullptr;
    h.start();
    s = h.session();
    QCOMPARE(filesUnder(journals), QStringList());
    QCOMPARE(filesUnder(h.c(dataDir)), filesBefore);
    QCOMPARE(readAll(dataHost), putBackFails ? readAll(h.c(salesData)) : oldData);
    QCOMPARE(readAll(logHost), putBackFails ? readAll(h.c(salesLog)) : oldLog);
    const ResultSet list =
        run(*s, QStringLiteral("select filename from master..sysdatabases where name = N'库存管理'")).firstSet();
    QCOMPARE(text(list.rows.at(0)[0]), windowsDir + "库存管理.mdf");
    QVERIFY(!run(*s, QStringLiteral("Backup DataBase [库存管理] To Disk='C:\\after.bak'")).failed());
    const ResultSet header = run(*s, QStringLiteral("RESTORE FILELISTONLY FROM DISK = N'C:\\after.bak'")).firstSet();
    QCOMPARE(text(cell(header, 0, "LogicalName")),
             putBackFails ? QStringLiteral("SalesDemo") : QStringLiteral("库存管理"));
}

void TestEngineBackup::concurrentBackupsToOneFileBothLand() {
    EngineHarness h;
    QVERIFY(QDir().mkpath(h.c("Bak")));
    auto a = h.session();
    auto b = h.session();
    Response ra, rb;
    std::thread ta([&] { ra = run(*a, QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\both.bak'")); });
    std::thread tb([&] { rb = run(*b, QStringLiteral("Backup DataBase [msdb] To Disk='C:\\Bak\\both.bak'")); });
    ta.join();
    tb.join();
    QVERIFY(!ra.failed() && !rb.failed());
    const ResultSet hs = run(*a, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\Bak\\both.bak'")).firstSet();
    QCOMPARE(hs.rows.size(), size_t(2));
}

// A backup saves only the LSN counter, beside the catalog; a restart must still go on from it.
void TestEngineBackup::lsnKeepsGrowingAcrossRestarts() {
    EngineHarness h;
    auto firstLsn = [&h](const QString& file) {
        auto s = h.session();
        if (run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk='%1'").arg(file)).failed())
            return qint64(-1);
        const ResultSet hs = run(*s, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'%1'").arg(file)).firstSet();
        return integer(cell(hs, 0, "FirstLSN"));
    };
    const qint64 before = firstLsn(QStringLiteral("C:\\one.bak"));
    QVERIFY(before > 0);
    h.stop();
    h.start();
    const qint64 after = firstLsn(QStringLiteral("C:\\two.bak"));
    QVERIFY2(after > before, qPrintable(QStringLiteral("%1 then %2").arg(before).arg(after)));
}

void TestEngineBackup::sampleDatabasesAreMadeOnce() {
    EngineHarness h(false);
    h.stop();
    h.config.sampleDatabases = 12;
    h.start();
    QStringList expected{"master", "tempdb", "model", "msdb"};
    for (int i = 1; i <= 12; ++i)
        expected << QStringLiteral("Sample%1").arg(i, 2, 10, QLatin1Char('0'));
    {
        auto s = h.session();
        QCOMPARE(databaseNames(*s), expected);
        // Each is a real database: its files are there, and it backs up.
        QVERIFY(QFileInfo::exists(h.c(dataDir + QStringLiteral("Sample07.mdf"))));
        QVERIFY(QFileInfo::exists(h.c(dataDir + QStringLiteral("Sample07_log.ldf"))));
        QVERIFY(!run(*s, QStringLiteral("Backup DataBase [Sample12] To Disk='C:\\s12.bak'")).failed());
    }
    h.stop();
    h.start();
    auto s = h.session();
    QCOMPARE(databaseNames(*s), expected);
}

QTEST_GUILESS_MAIN(TestEngineBackup)
#include "tst_engine_backup.moc"
