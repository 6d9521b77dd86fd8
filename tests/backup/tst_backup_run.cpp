// The backup run against the simulator: guards, the log, file names from the server's clock,
// failures per database, and names that must stay names.

#include "BackupPage.h"
#include "BackupRun.h"
#include "ConnectionHolder.h"
#include "ConnectionStrings.h"
#include "DatabaseList.h"
#include "MessageBox.h"
#include "ServerTime.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "TADODataSet.h"
#include "ListItems.h"
#include "RunSink.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

namespace {

const QString kSeparator(39, '-');

void open(TADOConnection& c, const SimServer& sim) {
    c.setConnectionString(ConnectionStrings::sqlServerAuthentication(QStringLiteral("127.0.0.1,%1").arg(sim.port()),
                                                                      "master", SimServer::login(),
                                                                      SimServer::password()));
    c.setConnectionTimeout(10);
    c.Open();
}

void tick(QListWidget& list, const QStringList& names) { ListItems::tickOnly(&list, names); }

QStringList log(const QPlainTextEdit& memo) { return memo.toPlainText().split('\n', Qt::SkipEmptyParts); }

// The run without a window: its lines collected; it has nothing to warn about or ask.
class LogLines : public RunSink {
public:
    QStringList lines;
    void logLine(const QString& line) override { lines.append(line); }
    void warn(const QString& text) override { lines.append(QStringLiteral("warned: ") + text); }
    bool confirm(const QString& question) override {
        lines.append(QStringLiteral("asked: ") + question);
        return false;
    }
};

} // namespace

class TestBackupRun : public QObject {
    Q_OBJECT
private slots:
    void init() {
        sim = std::make_unique<SimServer>();
        QVERIFY2(sim->start({"--seed", "--fail", "[msdb]=3201"}), qPrintable(sim->errorString()));
        holder = std::make_unique<ConnectionHolder>();
        holder->create();
        connection = &holder->get();
        open(*connection, *sim);
        page = std::make_unique<BackupPage>(*holder, [] { return std::optional<QString>(); });
        page->showDatabases(DatabaseList::read(*connection));
        QDir().mkpath(sim->driveC() + "/Bak");
    }
    void cleanup() {
        page.reset();
        holder.reset();
        sim.reset();
    }

    void guardsStopTheRunInOrder() {
        // Not connected: first guard, whatever else is missing.
        connection->Close();
        backUp(QString());
        QCOMPARE(log(memo()), QStringList{"SQL SERVER服务器未连接!"});
        open(*connection, *sim);
        backUp(QString());
        QCOMPARE(log(memo()), QStringList{"备份路径未选择!"});
        tick(list(), {});
        backUp("C:\\Bak\\");
        QCOMPARE(log(memo()), QStringList{"没有选择备份的数据库!"});
        page->clearDatabases();
        backUp("C:\\Bak\\");
        QCOMPARE(log(memo()), QStringList{"没有选择备份的数据库!"});
    }

    void logsEachTickedDatabaseAndGoesOnAfterAFailure() {
        tick(list(), {"master", "msdb"});
        const int before = sim->statements().size();
        backUp("C:\\Bak\\");
        QStringList lines = log(memo());
        // The server's reason under the failure line (its wording is checked by the window tests).
        QVERIFY(lines.value(5).startsWith("    Cannot open backup device"));
        lines.removeAt(5);
        QCOMPARE(lines, (QStringList{"开始备份数据库【master】...", "数据库【master】备份成功!", kSeparator,
                                   "开始备份数据库【msdb】...", "数据库【msdb】备份失败!", kSeparator}));
        // Unticked databases send nothing: two clock reads and two BACKUPs.
        const QStringList sent = sim->statements().mid(before);
        QCOMPARE(sent.size(), 4);
        QCOMPARE(sent[0], QStringLiteral("Select GetDate() F_Date"));
        QVERIFY(sent[1].startsWith("Backup DataBase [master] To Disk=N'C:\\Bak\\master"));
    }

    void fileNameCarriesTheServersClock() {
        tick(list(), {"SalesDemo"});
        const QString stamp = GetServerTime(*connection);
        QVERIFY(QRegularExpression("^\\d{14}$").match(stamp).hasMatch());
        backUp("C:\\Bak\\");
        const QStringList files = QDir(sim->driveC() + "/Bak").entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(QRegularExpression("^SalesDemo\\d{14}\\.Bak$").match(files.first()).hasMatch());
        // The stamp is the server's (read just before), to the second, not the workstation's.
        const QDateTime server = QDateTime::fromString(stamp, "yyyyMMddHHmmss");
        const QDateTime named = QDateTime::fromString(files.first().mid(9, 14), "yyyyMMddHHmmss");
        QVERIFY(qAbs(server.secsTo(named)) <= 2);
    }

    void sameDatabaseTwiceInOneSecondAppendsASet() {
        tick(list(), {"SalesDemo"});
        // Two databases ticked twice is not possible in one list, so run twice within the second.
        QString file;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const QString before = GetServerTime(*connection);
            backUp("C:\\Bak\\");
            backUp("C:\\Bak\\");
            if (GetServerTime(*connection) == before) {
                file = "C:\\Bak\\SalesDemo" + before + ".Bak";
                break;
            }
            QDir(sim->driveC() + "/Bak").removeRecursively();
            QDir().mkpath(sim->driveC() + "/Bak");
        }
        if (file.isEmpty())
            QSKIP("the machine was too slow to back up twice within one second");
        TADODataSet sets(*connection);
        sets.setCommandText("RESTORE HEADERONLY FROM  DISK = N'" + file + "'  WITH   NOUNLOAD ");
        sets.Open();
        QCOMPARE(sets.RecordCount(), 2);
    }

    void failingClockStopsTheRunBeforeTheStartLine() {
        SimServer clockless;
        QVERIFY2(clockless.start({"--seed", "--fail", "GetDate=208"}), qPrintable(clockless.errorString()));
        TADOConnection c;
        open(c, clockless);
        LogLines sink;
        QVERIFY_THROWS_EXCEPTION(std::exception, BackupRun::run(c, "C:\\", {"master"}, sink));
        QVERIFY(sink.lines.isEmpty());
    }

    void clockFailingMidRunKeepsTheLinesWritten() {
        SimServer dying;
        QVERIFY2(dying.start({"--delay-per-mb", "1500"}), qPrintable(dying.errorString()));
        TADOConnection c;
        open(c, dying);
        // The server goes away while master is being backed up; model's clock read then fails.
        QTimer::singleShot(300, this, [&] { dying.kill(); });
        LogLines sink;
        QVERIFY_THROWS_EXCEPTION(std::exception, BackupRun::run(c, "C:\\", {"master", "model"}, sink));
        const QStringList lines = sink.lines;
        QCOMPARE(lines.size(), 4); // master's lines stay; model never got its start line
        QCOMPARE(lines[0], QStringLiteral("开始备份数据库【master】..."));
        QCOMPARE(lines[3], kSeparator);
        QCOMPARE(lines[1], QStringLiteral("数据库【master】备份失败!"));
        QVERIFY2(lines[2].startsWith("    ") && lines[2].trimmed().size() > 0, qPrintable(lines[2])); // the driver's reason
    }

    void hostileNamesStayNames_data() {
        QTest::addColumn<QString>("directory");
        QTest::newRow("plain") << "Bak";
        QTest::newRow("quote in the directory") << "O'Brien";
        QTest::newRow("comment and separator") << "x'; --";
    }
    void hostileNamesStayNames() {
        QFETCH(QString, directory);
        QDir().mkpath(sim->driveC() + "/" + directory);
        tick(list(), {"库存管理"});
        backUp("C:\\" + directory + "\\");
        QCOMPARE(log(memo()).value(1), QStringLiteral("数据库【库存管理】备份成功!"));
        const QStringList files = QDir(sim->driveC() + "/" + directory).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().startsWith("库存管理"));
    }

    void onlyTickedDatabasesAreVisitedInListOrder() {
        tick(list(), {"库存管理", "master", "model"});
        const int before = sim->statements().size();
        backUp("C:\\Bak\\");
        const QStringList names{"master", "model", "库存管理"}; // list order, not tick order
        QStringList expected;
        for (const QString& name : names)
            expected << "开始备份数据库【" + name + "】..." << "数据库【" + name + "】备份成功!" << kSeparator;
        QCOMPARE(log(memo()), expected);
        const QStringList sent = sim->statements().mid(before);
        QCOMPARE(sent.size(), 6);
        QStringList files = QDir(sim->driveC() + "/Bak").entryList(QDir::Files, QDir::Name);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(sent[2 * i], QStringLiteral("Select GetDate() F_Date"));
            const QRegularExpressionMatch m =
                QRegularExpression("^Backup DataBase \\[(.+)\\] To Disk=N'C:\\\\Bak\\\\(.+\\d{14}\\.Bak)'$")
                    .match(sent[2 * i + 1]);
            QVERIFY2(m.hasMatch(), qPrintable(sent[2 * i + 1]));
            QCOMPARE(m.captured(1), names[i]);
            QVERIFY2(files.contains(m.captured(2)), qPrintable(m.captured(2)));
        }
        QCOMPARE(files.size(), 3);
        // A second run starts a fresh log.
        tick(list(), {});
        backUp("C:\\Bak\\");
        QCOMPARE(log(memo()).size(), 1);
    }

    void databaseNamesThatNeedEscaping_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("bracketed"); // the name as it must appear between [ and ]
        QTest::addColumn<QString>("quoted");    // the name as it must appear between ' and '
        QTest::newRow("closing bracket") << "a]b" << "a]]b" << "a]b";
        QTest::newRow("quote and blanks") << "O'Brien  db" << "O'Brien  db" << "O''Brien  db";
        QTest::newRow("chinese, blank, bracket, quote") << "销售 ]'数据" << "销售 ]]'数据" << "销售 ]''数据";
        QTest::newRow("statement in the name") << "x]; Drop DataBase [master" << "x]]; Drop DataBase [master"
                                               << "x]; Drop DataBase [master";
    }
    void databaseNamesThatNeedEscaping() {
        QFETCH(QString, name);
        QFETCH(QString, bracketed);
        QFETCH(QString, quoted);
        // Make the database on the server from a backup of a plain one.
        connection->ExecuteLong("Backup DataBase [SalesDemo] To Disk='C:\\seed.Bak'");
        connection->ExecuteLong(" Restore DataBase [" + bracketed +
                                "] FROM  DISK = N'C:\\seed.Bak' With File =1, Move N'SalesDemo' TO N'C:\\h.mdf',"
                                " Move N'SalesDemo_log' TO N'C:\\h_log.ldf'");
        page->showDatabases(DatabaseList::read(*connection));
        const int databases = list().count();
        tick(list(), {name});

        QDir().mkpath(sim->driveC() + "/it's");
        backUp("C:\\it's\\");
        QCOMPARE(log(memo()), (QStringList{"开始备份数据库【" + name + "】...", "数据库【" + name + "】备份成功!", kSeparator}));
        const QString sent = sim->statements().last();
        const QRegularExpressionMatch stamp = QRegularExpression("(\\d{14})\\.Bak'$").match(sent);
        QVERIFY2(stamp.hasMatch(), qPrintable(sent));
        QCOMPARE(sent, "Backup DataBase [" + bracketed + "] To Disk=N'C:\\it''s\\" + quoted + stamp.captured(1) + ".Bak'");
        QVERIFY(QFile::exists(sim->driveC() + "/it's/" + name + stamp.captured(1) + ".Bak"));
        QCOMPARE(DatabaseList::read(*connection).size(), databases); // nothing dropped, nothing made
    }

    void backupLongerThanTheStatementTimeOut() {
        SimServer slow;
        // master's files are 1.5 MB: about 2.3 s of backup.
        QVERIFY2(slow.start({"--delay-per-mb", "1500"}), qPrintable(slow.errorString()));
        QDir().mkpath(slow.driveC() + "/Bak");
        TADOConnection c;
        open(c, slow);
        c.setCommandTimeoutForTesting(1);
        // Under the statement time-out this backup cannot finish.
        QVERIFY_THROWS_EXCEPTION(std::exception, c.Execute("Backup DataBase [master] To Disk='C:\\Bak\\timed.Bak'"));

        LogLines sink;
        QString whileRunning;
        QTimer probe;
        probe.setSingleShot(true);
        connect(&probe, &QTimer::timeout, this, [&] { whileRunning = sink.lines.join(u'\n'); });
        probe.start(1200);
        BackupRun::run(c, "C:\\Bak\\", {"master"}, sink);
        // The start line was there while the server was still writing the backup.
        QCOMPARE(whileRunning, QStringLiteral("开始备份数据库【master】..."));
        QCOMPARE(sink.lines.value(1), QStringLiteral("数据库【master】备份成功!"));
        QCOMPARE(QDir(slow.driveC() + "/Bak").entryList({"master*.Bak"}, QDir::Files).size(), 1);
    }

    void statementEscapesBracketsAndQuotes() {
        QCOMPARE(BackupRun::backupStatement("a]b", "C:\\O'Brien\\a]b1.Bak"),
                 QStringLiteral("Backup DataBase [a]]b] To Disk=N'C:\\O''Brien\\a]b1.Bak'"));
        QCOMPARE(BackupRun::backupFilePath("D:\\Bak\\", "master", "20050101123045"),
                 QStringLiteral("D:\\Bak\\master20050101123045.Bak"));
    }

    void databaseListSkipsTempdbAndFailureLeavesTheLists() {
        const QStringList names = ListItems::texts(&list());
        QVERIFY(!names.contains("tempdb"));
        QCOMPARE(names, (QStringList{"master", "model", "msdb", "SalesDemo", "库存管理"})); // database-id order
        list().item(0)->setCheckState(Qt::Checked);
        page->showDatabases(DatabaseList::read(*connection));
        for (int i = 0; i < list().count(); ++i) { // a refill drops every check mark
            QVERIFY(list().item(i)->flags() & Qt::ItemIsUserCheckable);
            QCOMPARE(list().item(i)->checkState(), Qt::Unchecked);
        }
        connection->Close();
        QVERIFY_THROWS_EXCEPTION(std::exception, page->showDatabases(DatabaseList::read(*connection)));
        QCOMPARE(list().count(), names.size());
    }

private:
    QListWidget& list() { return *page->LsbDB; }
    QPlainTextEdit& memo() { return *page->MemoInfo; }
    // The backup button pressed with the directory in the path box.
    void backUp(const QString& directory) {
        page->EdtPath->setText(directory);
        page->BtnBackupClick();
    }

    std::unique_ptr<SimServer> sim;
    std::unique_ptr<ConnectionHolder> holder;
    TADOConnection* connection = nullptr;
    std::unique_ptr<BackupPage> page;
};

QTEST_MAIN(TestBackupRun)
#include "tst_backup_run.moc"
