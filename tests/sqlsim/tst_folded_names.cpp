// Windows paths find their files whatever the letter case, and go on finding them after the
// directory changes behind the server's back: created, renamed, removed, replaced.

#include "tst_engine_support.h"

#include "DriveMap.h"
#include "FoldedNameIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace enginetest;

namespace {

bool touch(const QString& path) {
    return writeFile(path, "x");
}

} // namespace

class TestFoldedNames : public QObject {
    Q_OBJECT

private slots:
    void pathFindsTheEntryWhateverItsCase_data() {
        QTest::addColumn<QString>("onDisk");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("mixed case on disk") << "Bak/Backup.BAK" << "C:\\Bak\\BACKUP.bak" << "Bak/Backup.BAK";
        QTest::newRow("lower case on disk") << "Bak/old.bak" << "C:\\Bak\\OLD.BAK" << "Bak/old.bak";
        QTest::newRow("directories too") << "Sub/Deep/f.bak" << "C:\\SUB\\deep\\F.Bak" << "Sub/Deep/f.bak";
        QTest::newRow("Chinese with Latin") << "备份/库存Data.bak" << "C:\\备份\\库存DATA.BAK" << "备份/库存Data.bak";
        QTest::newRow("absent name kept as asked") << "Bak/other.bak" << "C:\\Bak\\New.Bak" << "Bak/New.Bak";
    }
    void pathFindsTheEntryWhateverItsCase() {
        QFETCH(QString, onDisk);
        QFETCH(QString, asked);
        QFETCH(QString, resolved);
        QTemporaryDir root;
        QVERIFY(touch(root.filePath(onDisk)));
        const DriveMap drives({{u'C', root.path()}});
        QCOMPARE(drives.toHost(asked).value_or(QString()), root.filePath(resolved));
    }

    void indexFollowsChangesMadeByOthers() {
        QTemporaryDir root;
        const QString dir = root.filePath("Bak");
        QVERIFY(QDir().mkpath(dir));
        FoldedNameIndex index;
        QCOMPARE(index.find(dir, "new.bak"), std::nullopt);
        QCOMPARE(index.indexedDirectories(), 1);

        QVERIFY(touch(dir + "/NEW.bak"));
        QCOMPARE(index.find(dir, "new.bak"), QString("NEW.bak"));
        QVERIFY(QFile::rename(dir + "/NEW.bak", dir + "/New.Bak"));
        QCOMPARE(index.find(dir, "new.bak"), QString("New.Bak"));
        QVERIFY(QFile::remove(dir + "/New.Bak"));
        QCOMPARE(index.find(dir, "new.bak"), std::nullopt);

        // Two entries that differ only in case: removing one leaves the other findable.
        QVERIFY(touch(dir + "/Twin.bak") && touch(dir + "/TWIN.bak"));
        QVERIFY(index.find(dir, "twin.bak").has_value());
        QVERIFY(QFile::remove(dir + "/Twin.bak"));
        QCOMPARE(index.find(dir, "twin.bak"), QString("TWIN.bak"));

        // The directory replaced by another of the same name.
        QVERIFY(QDir(dir).removeRecursively());
        QCOMPARE(index.find(dir, "twin.bak"), std::nullopt);
        QVERIFY(touch(dir + "/Fresh.BAK"));
        QCOMPARE(index.find(dir, "fresh.bak"), QString("Fresh.BAK"));

        // Its parent renamed away and a new one put in its place: the path names another directory.
        QVERIFY(QDir(root.path()).rename("Bak", "Moved"));
        QVERIFY(touch(dir + "/Other.BAK"));
        QCOMPARE(index.find(dir, "fresh.bak"), std::nullopt);
        QCOMPARE(index.find(dir, "other.bak"), QString("Other.BAK"));
        QCOMPARE(index.find(root.filePath("Moved"), "fresh.bak"), QString("Fresh.BAK"));
    }

    void moreDirectoriesThanWatchesStillResolve() {
        QTemporaryDir root;
        FoldedNameIndex index;
        const int count = 300;
        for (int i = 0; i < count; ++i)
            QVERIFY(touch(root.filePath(QString("d%1/Entry.BAK").arg(i))));
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < count; ++i)
                QCOMPARE(index.find(root.filePath(QString("d%1").arg(i)), "entry.bak"), QString("Entry.BAK"));
        QVERIFY(index.indexedDirectories() <= count);
    }

    // The engine resolves a backup device after the file was renamed by someone else.
    void backupFindsAFileRenamedBehindItsBack() {
        EngineHarness h;
        auto s = h.session();
        QVERIFY(QDir().mkpath(h.c("Bak")));
        QVERIFY(!run(*s, "BACKUP DATABASE [SalesDemo] TO DISK = N'C:\\Bak\\First.bak'").failed());
        QVERIFY(QFile::rename(h.c("Bak/First.bak"), h.c("Bak/FIRST.BAK")));

        QVERIFY(!run(*s, "BACKUP DATABASE [SalesDemo] TO DISK = N'c:\\bak\\first.Bak'").failed());
        QCOMPARE(QDir(h.c("Bak")).entryList(QDir::Files), QStringList{"FIRST.BAK"});
        const Response header = run(*s, "RESTORE HEADERONLY FROM DISK = N'C:\\BAK\\first.bak'");
        QVERIFY2(!header.failed(), qPrintable(header.errorText(header.errorNumbers().value(0))));
        QCOMPARE(header.firstSet().rows.size(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestFoldedNames)
#include "tst_folded_names.moc"
