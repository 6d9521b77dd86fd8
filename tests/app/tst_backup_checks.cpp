// The backup page's options and its explanations, through the window against the simulator:
// each option changes exactly its clause, a set is read back when asked, and every failure
// carries the server's own reason on the line under it.

#include "BackupOptionsBinding.h"
#include "BackupPage.h"
#include "CertificatePins.h"
#include "ListItems.h"
#include "MessageBox.h"
#include "OptionsPage.h"
#include "SimServer.h"
#include "StatementTrigger.h"
#include "UntMain.h"
#include "WindowDriver.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace WindowDriver;

Q_DECLARE_METATYPE(BackupOptions)

namespace {

const QString kSeparator(39, '-');

// One connected window on a fresh simulator, SalesDemo ticked.
struct Session {
    SimServer sim;
    std::unique_ptr<TFrmMain> window;
    std::unique_ptr<ScopedMessageBoxRecorder> boxes;

    bool open(const QStringList& simArgs) {
        if (!sim.start(QStringList{"--seed"} + simArgs))
            return false;
        QDir(sim.driveC()).mkpath("Bak");
        QDir(sim.driveC()).mkpath("Locked");
        window = std::make_unique<TFrmMain>(quietSetup());
        boxes = std::make_unique<ScopedMessageBoxRecorder>(window.get());
        window->show();
        connectTo(*window, sim.port(), SimServer::login(), SimServer::password());
        ListItems::tickOnly(page().LsbDB, {"SalesDemo"});
        return window->lblDbInfo->text() == QStringLiteral("已连接SQL SERVER服务器");
    }
    BackupPage& page() { return *window->TabSheet1; }
    // Backs up into the directory; the log box's lines and the batches the press sent.
    QStringList backUp(const QString& directory, const BackupOptions& options, QStringList* sent = nullptr) {
        page().EdtPath->setText(directory);
        page().setBackupOptions(options);
        const int before = sim.statements().size();
        QTest::mouseClick(page().BtnBackup, Qt::LeftButton);
        if (sent)
            *sent = sim.statements().mid(before);
        return page().MemoInfo->toPlainText().split('\n');
    }
};

BackupOptions optionsOf(bool copyOnly, bool compression, bool verify, int stats) {
    BackupOptions o;
    o.copyOnly = copyOnly;
    o.compression = compression;
    o.verifyAfterBackup = verify;
    o.statsPercent = stats;
    return o;
}

// Flips the last byte of every backup file in the directory.
void damageBackups(const QString& directory) {
    for (const QString& name : QDir(directory).entryList({"*.Bak"}, QDir::Files)) {
        QFile f(directory + "/" + name);
        if (!f.open(QIODevice::ReadWrite) || f.size() == 0 || !f.seek(f.size() - 1))
            continue;
        char c = 0;
        f.getChar(&c);
        f.seek(f.size() - 1);
        f.putChar(char(c ^ 0x5A));
    }
}

} // namespace

class TestBackupChecks : public QObject {
    Q_OBJECT
private slots:
    void eachOptionChangesExactlyItsClause_data() {
        QTest::addColumn<BackupOptions>("options");
        QTest::addColumn<QString>("clause");
        QTest::newRow("all off") << BackupOptions{} << "";
        QTest::newRow("copy only") << optionsOf(true, false, false, 0) << " WITH COPY_ONLY";
        QTest::newRow("compression") << optionsOf(false, true, false, 0) << " WITH COMPRESSION";
        QTest::newRow("verify") << optionsOf(false, false, true, 0) << " WITH CHECKSUM";
        QTest::newRow("progress") << optionsOf(false, false, false, 10) << " WITH STATS = 10";
        QTest::newRow("all on") << optionsOf(true, true, true, 10) << " WITH COPY_ONLY, COMPRESSION, CHECKSUM, STATS = 10";
    }
    void eachOptionChangesExactlyItsClause() {
        QFETCH(BackupOptions, options);
        QFETCH(QString, clause);
        Session s;
        QVERIFY2(s.open({}), qPrintable(s.sim.errorString()));
        QStringList sent;
        const QStringList log = s.backUp("C:\\Bak\\", options, &sent);
        QCOMPARE(log.value(1), QStringLiteral("数据库【SalesDemo】备份成功!"));

        // The clock, then BACKUP; a read-back adds the file's sets and the verification.
        QCOMPARE(sent.size(), options.verifyAfterBackup ? 4 : 2);
        const QRegularExpression backup(R"(^Backup DataBase \[SalesDemo\] To Disk=N'(C:\\Bak\\SalesDemo\d{14}\.Bak)'(.*)$)");
        const QRegularExpressionMatch m = backup.match(sent.value(1));
        QVERIFY2(m.hasMatch(), qPrintable(sent.value(1)));
        QCOMPARE(m.captured(2), clause);
        if (options.verifyAfterBackup) {
            const QString file = m.captured(1);
            QCOMPARE(sent.value(2), "RESTORE HEADERONLY FROM DISK = N'" + file + "'");
            QCOMPARE(sent.value(3), "RESTORE VERIFYONLY FROM DISK = N'" + file + "' WITH FILE = 1, CHECKSUM");
        }
    }

    void verifyReadsTheNewestSetOfAFileThatHasSeveral() {
        Session s;
        QVERIFY2(s.open({}), qPrintable(s.sim.errorString()));
        // Presses within one server second write to one file; each verifies the set it added.
        QHash<QString, int> setsPerFile;
        QStringList sent;
        for (int press = 0; press < 10 && std::ranges::max(setsPerFile.values() << 0) < 2; ++press) {
            s.backUp("C:\\Bak\\", optionsOf(false, false, true, 0), &sent);
            const QString file = sent.value(1).section('\'', 1, 1);
            QCOMPARE(sent.value(3), QString("RESTORE VERIFYONLY FROM DISK = N'%1' WITH FILE = %2, CHECKSUM")
                                        .arg(file)
                                        .arg(++setsPerFile[file]));
            QCOMPARE(s.page().MemoInfo->toPlainText().split('\n').value(2),
                     QStringLiteral("数据库【SalesDemo】备份校验通过，备份集有效!"));
        }
        QVERIFY(std::ranges::max(setsPerFile.values()) >= 2);
    }

    void verificationShowsValidOrTheServersError_data() {
        QTest::addColumn<bool>("damage");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("good file") << false
                                   << QStringList{"开始备份数据库【SalesDemo】...", "数据库【SalesDemo】备份成功!",
                                                  "数据库【SalesDemo】备份校验通过，备份集有效!", kSeparator};
        QTest::newRow("damaged file")
            << true
            << QStringList{"开始备份数据库【SalesDemo】...", "数据库【SalesDemo】备份成功!",
                           "数据库【SalesDemo】备份校验失败!",
                           "    Damage to the backup set was detected. VERIFY DATABASE is terminating abnormally.",
                           kSeparator};
    }
    void verificationShowsValidOrTheServersError() {
        QFETCH(bool, damage);
        QFETCH(QStringList, expected);
        Session s;
        // The read-back waits, so that the file can be damaged after it was written.
        QVERIFY2(s.open({"--delay", "VERIFYONLY=600"}), qPrintable(s.sim.errorString()));
        const QString directory = s.sim.driveC() + "/Bak";
        StatementTrigger damager(s.sim, "VERIFYONLY", [&] {
            if (damage)
                damageBackups(directory);
        });
        QCOMPARE(s.backUp("C:\\Bak\\", optionsOf(false, false, true, 0)), expected);
        QVERIFY(damager.fired());
    }

    void failureCarriesTheServersReason_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<BackupOptions>("options");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing directory")
            << QStringList{} << "C:\\NoSuch\\" << BackupOptions{}
            << "    Cannot open backup device 'C:\\NoSuch\\SalesDemo%1.Bak'. Operating system error 3(The system cannot "
               "find the path specified.). BACKUP DATABASE is terminating abnormally.";
        QTest::newRow("access denied")
            << QStringList{"--deny-write", "C:\\Locked"} << "C:\\Locked\\" << BackupOptions{}
            << "    Cannot open backup device 'C:\\Locked\\SalesDemo%1.Bak'. Operating system error 5(Access is "
               "denied.). BACKUP DATABASE is terminating abnormally.";
        QTest::newRow("edition without compression")
            << QStringList{"--edition", "express"} << "C:\\Bak\\" << optionsOf(false, true, false, 0)
            << "    BACKUP DATABASE WITH COMPRESSION is not supported on Express Edition (64-bit). BACKUP DATABASE is "
               "terminating abnormally.";
    }
    void failureCarriesTheServersReason() {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, directory);
        QFETCH(BackupOptions, options);
        QFETCH(QString, reason);
        Session s;
        QVERIFY2(s.open(simArgs), qPrintable(s.sim.errorString()));
        QStringList sent;
        const QStringList log = s.backUp(directory, options, &sent);
        const QString stamp = QRegularExpression(R"(SalesDemo(\d{14})\.Bak)").match(sent.value(1)).captured(1);
        QCOMPARE(log, (QStringList{"开始备份数据库【SalesDemo】...", "数据库【SalesDemo】备份失败!",
                                   reason.contains("%1") ? reason.arg(stamp) : reason, kSeparator}));
    }

    void optionsPageDrivesTheBackupPage() {
        QTemporaryDir home;
        CertificatePins pins(home.filePath("pins.ini"));
        OptionsPage options(pins, home.filePath("options.ini"));
        TFrmMain window(quietSetup());
        bindBackupOptions(options, *window.TabSheet1);
        QCOMPARE(window.TabSheet1->backupOptions(), BackupOptions{});
        options.ChkCopyOnly->click();
        options.ChkVerifyAfterBackup->click();
        QCOMPARE(window.TabSheet1->backupOptions(), optionsOf(true, false, true, 0));
        options.ChkCompression->click();
        options.ChkCopyOnly->click();
        QCOMPARE(window.TabSheet1->backupOptions(), optionsOf(false, true, true, 0));
        // Read at binding time from what the page was given.
        ProgramOptions stored;
        stored.showProgress = true;
        QVERIFY(stored.save(home.filePath("progress.ini")));
        OptionsPage withProgress(pins, home.filePath("progress.ini"));
        bindBackupOptions(withProgress, *window.TabSheet1);
        QCOMPARE(window.TabSheet1->backupOptions(), optionsOf(false, false, false, 10));
    }
};

QTEST_MAIN(TestBackupChecks)
#include "tst_backup_checks.moc"
