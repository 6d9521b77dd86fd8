// The simulator as a service: no path in a statement reaches a file outside its drive map.
// Every way out (.., host paths, other drives, UNC and device paths, links inside a drive that
// point out of it) is tried on every statement that takes a path, against a directory beside
// the drives that holds a real backup file; it must stay unread and unchanged.

#include "BackupFile.h"
#include "tst_engine_support.h"

#include <QCryptographicHash>
#include <QDirIterator>

using namespace enginetest;

namespace {

// Relative path and SHA-256 of every entry under dir, links not followed.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        out.insert(QDir(dir).relativeFilePath(path),
                   info.isFile() ? QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256) : "dir");
    }
    return out;
}

QString quoted(QString path) {
    return path.replace(u'\'', QStringLiteral("''"));
}

QStringList databaseNames(Session& s) {
    QStringList names;
    for (const auto& row : run(s, QStringLiteral("select name from master..sysdatabases")).firstSet().rows)
        names << text(row[0]);
    return names;
}

} // namespace

class TestPathConfinement : public QObject {
    Q_OBJECT

    // Beside the drives: dir/outside/secret.bak (a valid backup of SalesDemo) and dir/outside/sub.
    // Inside drive C: links that point there.
    std::unique_ptr<EngineHarness> h;
    std::unique_ptr<Session> s;
    QString outside;
    QMap<QString, QByteArray> before;

private slots:
    void init() {
        h = std::make_unique<EngineHarness>();
        s = h->session();
        outside = h->dir.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside + "/sub"));
        QVERIFY(QDir().mkpath(h->c("Bak")));
        QVERIFY(!run(*s, QStringLiteral("Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\s.bak'")).failed());
        QVERIFY(QFile::copy(h->c("Bak/s.bak"), outside + "/secret.bak"));
        QVERIFY(QFile::link(outside, h->c("LinkDir")));
        QVERIFY(QFile::link(outside + "/secret.bak", h->c("Bak/link.bak")));
        QVERIFY(QFile::link(outside + "/none.bak", h->c("Bak/dangling.bak")));
        // A relative link: resolved against its own directory, C:\Bak -> dir/outside.
        QVERIFY(QFile::link(QStringLiteral("../../outside"), h->c("Bak/up")));
        QVERIFY(QFileInfo(h->c("Bak/up/secret.bak")).isFile()); // the links really lead out
        before = snapshot(outside);
    }

    void cleanup() {
        // Whatever the statement, nothing outside was made, changed or removed.
        if (!outside.isEmpty())
            QCOMPARE(snapshot(outside), before);
        s.reset();
        h.reset();
    }

    // dir: a Windows path meant to name dir/outside; file: one meant to name dir/outside/secret.bak.
    void everyStatementStaysInside_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("file");
        QTest::newRow("dotdot") << "C:\\..\\outside"
                                << "C:\\..\\outside\\secret.bak";
        QTest::newRow("dotdot from a subdirectory") << "C:\\Bak\\..\\..\\outside"
                                                    << "C:\\Bak\\..\\..\\outside\\secret.bak";
        QTest::newRow("dotdot with a trailing blank") << "C:\\.. \\outside"
                                                      << "C:\\.. \\outside\\secret.bak";
        QTest::newRow("three dots") << "C:\\...\\outside"
                                    << "C:\\...\\outside\\secret.bak";
        QTest::newRow("forward slashes") << "C:/../outside"
                                         << "C:/../outside/secret.bak";
        QTest::newRow("drive-relative") << "C:..\\outside"
                                        << "C:..\\outside\\secret.bak";
        QTest::newRow("other drive") << "D:\\..\\outside"
                                     << "D:\\..\\outside\\secret.bak";
        QTest::newRow("unmapped drive") << "Q:\\"
                                        << "Q:\\secret.bak";
        QTest::newRow("UNC") << "\\\\127.0.0.1\\outside"
                             << "\\\\127.0.0.1\\outside\\secret.bak";
        QTest::newRow("device path") << "\\\\?\\C:\\..\\outside"
                                     << "\\\\?\\C:\\..\\outside\\secret.bak";
        QTest::newRow("directory link") << "C:\\LinkDir"
                                        << "C:\\LinkDir\\secret.bak";
        QTest::newRow("directory link, other case and dot") << "c:\\linkdir."
                                                            << "c:\\LINKDIR.\\secret.bak";
        QTest::newRow("relative link") << "C:\\Bak\\up"
                                       << "C:\\Bak\\up\\secret.bak";
        QTest::newRow("file link") << ""
                                   << "C:\\Bak\\link.bak";
        QTest::newRow("dangling link") << ""
                                       << "C:\\Bak\\dangling.bak";
    }

    void everyStatementStaysInside() {
        QFETCH(QString, dir);
        QFETCH(QString, file);

        // xp_fileexist: nothing about the outside file is told.
        const ResultSet exist = run(*s, "xp_fileexist N'" + quoted(file) + "'").firstSet();
        QCOMPARE(integer(exist.rows.at(0)[0]), qint64(0));
        QCOMPARE(integer(exist.rows.at(0)[1]), qint64(0));

        // RESTORE HEADERONLY / FILELISTONLY: the outside backup is not read.
        for (const QString& statement :
             {"RESTORE HEADERONLY FROM  DISK = N'" + quoted(file) + "'  WITH   NOUNLOAD ",
              "RESTORE FILELISTONLY FROM  DISK = N'" + quoted(file) + "' WITH  FILE = 1 ,  NOUNLOAD "}) {
            const Response r = run(*s, statement);
            QVERIFY2(r.errorNumbers().value(0) == 3201, qPrintable(statement));
            QVERIFY(r.resultSets().empty());
        }
        // RESTORE DATABASE from the outside backup.
        const Response fromOutside = run(*s, " Restore DataBase [FromOutside] FROM  DISK = N'" + quoted(file) +
                                                 "' With File =1, Move N'SalesDemo' TO N'C:\\o.mdf', Move "
                                                 "N'SalesDemo_log' TO N'C:\\o.ldf'");
        QCOMPARE(fromOutside.errorNumbers().value(0), 3201);

        // BACKUP over the outside file.
        const Response over = run(*s, "Backup DataBase [SalesDemo] To Disk=N'" + quoted(file) + "'");
        QCOMPARE(over.errorNumbers().value(0), 3201);

        if (!dir.isEmpty()) {
            // xp_dirtree: the outside directory is not listed.
            for (const char* withFiles : {"0", "1"}) {
                const Response listing =
                    run(*s, "EXECUTE master.dbo.xp_dirtree N'" + quoted(dir) + "', 1, " + withFiles);
                QVERIFY(listing.firstSet().rows.empty());
            }
            // BACKUP to a new file there.
            const Response created = run(*s, "Backup DataBase [SalesDemo] To Disk=N'" + quoted(dir) + "\\new.bak'");
            QCOMPARE(created.errorNumbers().value(0), 3201);
            // RESTORE ... MOVE TO there.
            const Response moved =
                run(*s, " Restore DataBase [MovedOut] FROM  DISK = N'C:\\Bak\\s.bak' With File =1, Move N'SalesDemo' "
                        "TO N'" +
                            quoted(dir) + "\\m.mdf', Move N'SalesDemo_log' TO N'" + quoted(dir) + "\\m.ldf'");
            QVERIFY(moved.errorNumbers().contains(5133));
            QVERIFY(!databaseNames(*s).contains(QStringLiteral("MovedOut")));
        }
        QVERIFY(!databaseNames(*s).contains(QStringLiteral("FromOutside")));
        QVERIFY(!QFileInfo::exists(h->c("o.mdf")));
    }

    void hostAbsolutePathsAreNoWindowsPaths() {
        for (const QString& path : {outside + "/secret.bak", QString(outside).replace(u'/', u'\\') + "\\secret.bak"}) {
            QCOMPARE(integer(run(*s, "xp_fileexist N'" + quoted(path) + "'").firstSet().rows.at(0)[0]), qint64(0));
            QCOMPARE(run(*s, "RESTORE HEADERONLY FROM  DISK = N'" + quoted(path) + "'  WITH   NOUNLOAD ")
                         .errorNumbers()
                         .value(0),
                     3201);
            QCOMPARE(run(*s, "Backup DataBase [SalesDemo] To Disk=N'" + quoted(path) + "'").errorNumbers().value(0),
                     3201);
        }
        QVERIFY(run(*s, "EXECUTE master.dbo.xp_dirtree N'" + quoted(outside) + "', 1, 1").firstSet().rows.empty());
    }

    // A backup inside the drive whose files were backed up from outside paths: restoring it
    // without MOVE must not write there.
    void backupNamingOutsidePathsRestoresNowhere() {
        const BackupFile::Listing listing = BackupFile::list(h->c("Bak/s.bak"));
        QCOMPARE(listing.problem, BackupFile::Problem::None);
        BackupSetHeader header = listing.sets.at(0);
        std::vector<QByteArray> contents;
        QCOMPARE(BackupFile::readFiles(h->c("Bak/s.bak"), header, &contents), BackupFile::Problem::None);
        header.databaseName = QStringLiteral("Planted");
        header.files.at(0).physicalName = QStringLiteral("C:\\..\\outside\\planted.mdf");
        header.files.at(1).physicalName = QStringLiteral("C:\\LinkDir\\planted.ldf");
        QVERIFY(writeFile(h->c("Bak/planted.bak"), BackupFile::encode(header, contents)));
        const Response r = run(*s, QStringLiteral(" Restore DataBase [Planted] FROM  DISK = N'C:\\Bak\\planted.bak' "
                                                  "With File =1"));
        QCOMPARE(r.errorNumbers(), QList<int>({5133, 3156, 5133, 3156, 3119, 3013}));
        QVERIFY(!databaseNames(*s).contains(QStringLiteral("Planted")));
    }

    // The listing of a directory that holds links: those leading out are not shown, nor entered.
    void listingHidesLinksThatLeadOut() {
        QVERIFY(QDir().mkpath(h->c("Bak/inner")));
        QVERIFY(QFile::link(h->c("Bak/inner"), h->c("Bak/in-link")));
        QStringList names;
        for (const auto& row : run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\', 0, 1")).firstSet().rows)
            names << text(row[0]);
        QVERIFY2(names.contains(QStringLiteral("in-link")), qPrintable(names.join(u',')));
        for (const char* out : {"LinkDir", "link.bak", "dangling.bak", "up", "secret.bak", "sub"})
            QVERIFY2(!names.contains(QLatin1String(out)), out);
    }

    void availableMediaNamesOnlyTheMappedDrives() {
        QStringList names;
        for (const auto& row : run(*s, QStringLiteral("master..xp_availablemedia 2")).firstSet().rows)
            names << text(row[0]);
        QCOMPARE(names, QStringList({"C:\\", "D:\\"}));
    }
};

QTEST_GUILESS_MAIN(TestPathConfinement)
#include "tst_path_confinement.moc"
