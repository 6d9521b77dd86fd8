// What a client reads before a restore, in process: the version of the server that wrote a
// backup, sessions on a database and closing them, a database left restoring, free space and
// every database's files.

#include "tst_engine_support.h"

#include <QDirIterator>

using namespace enginetest;

namespace {

const QString salesRestore =
    QStringLiteral("RESTORE DATABASE [SalesDemo] FROM DISK = N'C:\\s.bak' WITH FILE = 1, REPLACE");

QList<qint64> column(const ResultSet& rs, const QString& name) {
    QList<qint64> out;
    for (int row = 0; row < int(rs.rows.size()); ++row)
        out << integer(cell(rs, row, name));
    return out;
}

QString firstText(const Response& r) {
    return r.messages().empty() ? QString() : r.messages().front().text;
}

} // namespace

class TestEngineRestoreChecks : public QObject {
    Q_OBJECT

private slots:
    void backupCarriesTheWritersVersion_data();
    void backupCarriesTheWritersVersion();
    void sessionsHoldADatabaseUntilClosed();
    void killedClientSessionIsTold();
    void restoringDatabaseRefusesUserAccessChanges();
    void fixedDrivesReportFreeSpace();
    void masterFilesListEveryDatabasesFiles();
};

void TestEngineRestoreChecks::backupCarriesTheWritersVersion_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QList<qint64>>("header"); // major, minor, build, DatabaseVersion
    QTest::addColumn<QString>("refusal");
    QTest::newRow("newer major") << "16.0.4236.2" << QList<qint64>{16, 0, 4236, 957}
                                 << "The database was backed up on a server running version 16.00.4236. That version "
                                    "is incompatible with this server, which is running version 15.00.2000. Either "
                                    "restore the database on a server that supports the backup, or use a backup that "
                                    "is compatible with this server.";
    QTest::newRow("later build, same major") << "15.0.4223.1" << QList<qint64>{15, 0, 4223, 904} << QString();
    QTest::newRow("older major") << "14.0.1000.169" << QList<qint64>{14, 0, 1000, 869} << QString();
}

void TestEngineRestoreChecks::backupCarriesTheWritersVersion() {
    QFETCH(QString, writer);
    QFETCH(QList<qint64>, header);
    QFETCH(QString, refusal);
    EngineHarness other(true);
    other.stop();
    other.config.productVersion = writer;
    other.start();
    auto s = other.session();
    QCOMPARE(text(run(*s, QStringLiteral("SELECT SERVERPROPERTY('ProductVersion')")).firstSet().rows.at(0)[0]), writer);
    QVERIFY(!run(*s, QStringLiteral("BACKUP DATABASE [SalesDemo] TO DISK = N'C:\\s.bak'")).failed());
    EngineHarness here;
    QVERIFY(QFile::copy(other.c("s.bak"), here.c("new.bak")));
    auto h = here.session();
    const ResultSet rs = run(*h, QStringLiteral("RESTORE HEADERONLY FROM DISK = N'C:\\new.bak'")).firstSet();
    QCOMPARE((QList<qint64>{integer(cell(rs, 0, "SoftwareVersionMajor")), integer(cell(rs, 0, "SoftwareVersionMinor")),
                            integer(cell(rs, 0, "SoftwareVersionBuild")), integer(cell(rs, 0, "DatabaseVersion"))}),
             header);
    const Response r = run(*h, QStringLiteral("RESTORE DATABASE [Copy] FROM DISK = N'C:\\new.bak' WITH FILE = 1, "
                                              "MOVE N'SalesDemo' TO N'D:\\c.mdf', MOVE N'SalesDemo_log' TO "
                                              "N'D:\\c.ldf'"));
    if (refusal.isEmpty()) {
        QVERIFY2(!r.failed(), qPrintable(firstText(r)));
    } else {
        QCOMPARE(r.errorNumbers(), QList<int>({3169, 3013}));
        QCOMPARE(firstText(r), refusal);
        QVERIFY(!QFileInfo::exists(here.d("c.mdf")));
    }
}

void TestEngineRestoreChecks::sessionsHoldADatabaseUntilClosed() {
    EngineHarness h;
    h.stop();
    h.config.holdSessions = {QStringLiteral("salesdemo")};
    h.start();
    auto s = h.session();
    auto reader = h.session(QStringLiteral("reader"));
    QVERIFY(!run(*s, QStringLiteral("BACKUP DATABASE [SalesDemo] TO DISK = N'C:\\s.bak'")).failed());
    const QString inSales = QStringLiteral(" WHERE %1 = DB_ID(N'SalesDemo')");
    const QString sessions = QStringLiteral("SELECT session_id, login_name FROM sys.dm_exec_sessions") +
                             inSales.arg(QStringLiteral("database_id"));
    const QString processes = QStringLiteral("SELECT spid FROM master..sysprocesses") + inSales.arg("dbid");
    const ResultSet held = run(*s, sessions).firstSet();
    QCOMPARE(held.rows.size(), size_t(1));
    QCOMPARE(text(cell(held, 0, "login_name")), QStringLiteral("app_user"));
    QCOMPARE(column(run(*s, processes).firstSet(), "spid"), column(held, "session_id"));
    // Without VIEW SERVER STATE a login sees only itself.
    QCOMPARE(run(*reader, sessions).firstSet().rows.size(), size_t(0));

    QCOMPARE(run(*s, salesRestore).errorNumbers(), QList<int>({3101, 3013}));
    const Response waiting = run(*s, QStringLiteral("ALTER DATABASE [SalesDemo] SET SINGLE_USER"));
    QCOMPARE(waiting.errorNumbers(), QList<int>({5070, 5069}));
    QCOMPARE(run(*s, sessions).firstSet().rows.size(), size_t(1));

    const Response closed =
        run(*s, "ALTER DATABASE [SalesDemo] SET SINGLE_USER WITH ROLLBACK IMMEDIATE\n" + salesRestore);
    QVERIFY2(!closed.failed(), qPrintable(firstText(closed)));
    QCOMPARE(run(*s, sessions).firstSet().rows.size(), size_t(0));
    QVERIFY(!run(*s, QStringLiteral("ALTER DATABASE [SalesDemo] SET MULTI_USER")).failed());
    const ResultSet access =
        run(*s, QStringLiteral("SELECT user_access_desc, state_desc FROM sys.databases WHERE name = N'SalesDemo'"))
            .firstSet();
    QCOMPARE(text(access.rows.at(0)[0]), QStringLiteral("MULTI_USER"));
    QCOMPARE(text(access.rows.at(0)[1]), QStringLiteral("ONLINE"));
}

// A client session in the database is ended too: its next batch is refused.
void TestEngineRestoreChecks::killedClientSessionIsTold() {
    EngineHarness h;
    auto s = h.session();
    auto other = h.session();
    QVERIFY(!run(*other, QStringLiteral("USE SalesDemo")).failed());
    QVERIFY(!run(*s, QStringLiteral("ALTER DATABASE [SalesDemo] SET SINGLE_USER WITH ROLLBACK IMMEDIATE")).failed());
    QCOMPARE(run(*other, QStringLiteral("SELECT 1")).errorNumbers(), QList<int>({596}));
    // Single user, and the slot is free: the first to come takes it, the next one is refused.
    auto third = h.session();
    QVERIFY(!run(*third, QStringLiteral("USE SalesDemo")).failed());
    QCOMPARE(run(*s, QStringLiteral("USE SalesDemo")).errorNumbers(), QList<int>({924}));
}

void TestEngineRestoreChecks::restoringDatabaseRefusesUserAccessChanges() {
    EngineHarness h;
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("BACKUP DATABASE [SalesDemo] TO DISK = N'C:\\s.bak'")).failed());
    QVERIFY(!run(*s, salesRestore + QStringLiteral(", NORECOVERY")).failed());
    const ResultSet state = run(*s, QStringLiteral("SELECT state_desc, DATABASEPROPERTYEX(name, 'Status') FROM "
                                                   "sys.databases WHERE name = N'SalesDemo'"))
                                .firstSet();
    QCOMPARE(text(state.rows.at(0)[0]), QStringLiteral("RESTORING"));
    QCOMPARE(text(state.rows.at(0)[1]), QStringLiteral("RESTORING"));
    const Response multi = run(*s, QStringLiteral("ALTER DATABASE [SalesDemo] SET MULTI_USER"));
    QCOMPARE(multi.errorNumbers(), QList<int>({5052, 5069}));
    QCOMPARE(firstText(multi),
             QStringLiteral("ALTER DATABASE is not permitted while a database is in the Restoring state."));
    QCOMPARE(run(*s, QStringLiteral("USE SalesDemo")).errorNumbers(), QList<int>({927}));
    // Restoring it again with recovery brings it online.
    QVERIFY(!run(*s, salesRestore).failed());
    QCOMPARE(
        text(run(*s, QStringLiteral("SELECT DATABASEPROPERTYEX(N'SalesDemo', 'Status')")).firstSet().rows.at(0)[0]),
        QStringLiteral("ONLINE"));
}

void TestEngineRestoreChecks::fixedDrivesReportFreeSpace() {
    EngineHarness h;
    h.stop();
    h.config.freeSpaceMb[u'C'] = 100;
    h.start();
    auto s = h.session();
    const ResultSet rs = run(*s, QStringLiteral("EXEC master..xp_fixeddrives")).firstSet();
    QCOMPARE(columnNames(rs), QStringList({"drive", "MB free"}));
    QCOMPARE(rs.rows.size(), size_t(2));
    QCOMPARE(text(rs.rows[0][0]), QStringLiteral("C"));
    QCOMPARE(integer(rs.rows[0][1]), qint64(100));
    QCOMPARE(text(rs.rows[1][0]), QStringLiteral("D"));
    QVERIFY(integer(rs.rows[1][1]) > 0);
    auto reader = h.session(QStringLiteral("reader"));
    QCOMPARE(run(*reader, QStringLiteral("EXEC master..xp_fixeddrives")).errorNumbers(), QList<int>({229}));
}

void TestEngineRestoreChecks::masterFilesListEveryDatabasesFiles() {
    EngineHarness h;
    auto s = h.session();
    const ResultSet rs =
        run(*s, QStringLiteral("SELECT database_id, file_id, type, name, physical_name, size FROM sys.master_files "
                               "WHERE database_id = DB_ID(N'SalesDemo')"))
            .firstSet();
    QCOMPARE(rs.rows.size(), size_t(2));
    QCOMPARE(column(rs, "file_id"), QList<qint64>({1, 2}));
    QCOMPARE(column(rs, "type"), QList<qint64>({0, 1}));
    QCOMPARE(text(cell(rs, 1, "name")), QStringLiteral("SalesDemo_log"));
    QCOMPARE(text(cell(rs, 0, "physical_name")),
             "C:\\" + QString(dataDir).replace(u'/', u'\\') + QStringLiteral("SalesDemo.mdf"));
    QCOMPARE(integer(cell(rs, 0, "size")), QFileInfo(h.c(dataDir + "SalesDemo.mdf")).size() / 8192);
    const qint64 all = qint64(run(*s, QStringLiteral("SELECT name FROM sys.master_files")).firstSet().rows.size());
    QCOMPARE(all, qint64(2 * 6)); // master, tempdb, model, msdb and two sample databases
}

QTEST_GUILESS_MAIN(TestEngineRestoreChecks)
#include "tst_engine_restore_checks.moc"
