// The check before a restore, through the restore page against the simulator: a database in
// use and closing its sessions, a backup of a newer server, too little space, a file of another
// database, nothing to report, and the files proposed for a restore under a new name.

#include "HtGrids.h"
#include "MessageBox.h"
#include "NewTexts.h"
#include "Query.h"
#include "RestorePageHarness.h"
#include "RestoreStatements.h"
#include "TargetFileNames.h"

#include <QFile>
#include <QtTest>

namespace {

const QString kBak = QStringLiteral("C:\\Bak\\s.bak");
const QString kCopy = QStringLiteral("SalesCopy");
const QStringList kNewTargets{QStringLiteral("C:\\Restored\\SalesCopy.mdf"),
                              QStringLiteral("C:\\Restored\\SalesCopy_log.ldf")};

QString closeAndRestoreHead(const QString& database) {
    return "ALTER DATABASE [" + database + "] SET SINGLE_USER WITH ROLLBACK IMMEDIATE\n Restore DataBase [" +
           database + "]";
}

int sessionsIn(TADOConnection& connection, const QString& database) {
    int count = 0;
    Query::eachRow(connection,
                   "SELECT session_id FROM sys.dm_exec_sessions WHERE database_id = DB_ID(N'" + database + "')",
                   [&count](const TADODataSet&) { ++count; });
    return count;
}

QString userAccess(TADOConnection& connection, const QString& database) {
    QString access;
    Query::firstRow(connection, "SELECT user_access_desc FROM sys.databases WHERE name = N'" + database + "'",
                    [&access](const TADODataSet& row) { access = row.Fields(0).AsString(); });
    return access;
}

} // namespace

class TestRestoreCheck : public QObject {
    Q_OBJECT
private slots:
    void databaseInUse_data();
    void databaseInUse();
    void exclusiveAccessTakenMeanwhile();
    void newerBackupVersion_data();
    void newerBackupVersion();
    void tooLittleSpace();
    void fileOfAnotherDatabase();
    void nothingToReport_data();
    void nothingToReport();
    void newNameProposesRenamedFiles_data();
    void newNameProposesRenamedFiles();
    void renamedAfterTarget_data();
    void renamedAfterTarget();

private:
    // Starts the simulator, backs up SalesDemo and loads the set into the grid.
    static bool prepare(RestorePageHarness& f, const QStringList& simArgs = {"--seed"});
    // Restoring SalesDemo over itself: the grid's paths are its own files, so both path
    // questions come first and are answered Yes.
    static void replaceItself(RestorePageHarness& f, ScopedMessageBoxRecorder& boxes);
};

bool TestRestoreCheck::prepare(RestorePageHarness& f, const QStringList& simArgs) {
    if (!f.start(simArgs)) {
        qWarning("%s", qPrintable(f.error()));
        return false;
    }
    f.makeServerDir("C:\\Bak");
    f.makeServerDir("C:\\Restored");
    f.backup(RestorePageHarness::salesDemo(), kBak);
    f.loadSet(kBak, 1);
    return f.Grid->RowCount() == 3;
}

void TestRestoreCheck::replaceItself(RestorePageHarness& f, ScopedMessageBoxRecorder& boxes) {
    f.CmbDb->setEditText(RestorePageHarness::salesDemo());
    f.ChkRestore->setChecked(true);
    boxes.queueAnswer(QMessageBox::Yes);
    boxes.queueAnswer(QMessageBox::Yes);
}

void TestRestoreCheck::databaseInUse_data() {
    QTest::addColumn<bool>("closeThem");
    QTest::newRow("closing the sessions restores") << true;
    QTest::newRow("declining leaves everything") << false;
}

void TestRestoreCheck::databaseInUse() {
    QFETCH(bool, closeThem);
    RestorePageHarness f;
    QVERIFY(prepare(f, {"--seed", "--hold-session", "SalesDemo"}));
    const QStringList targets = f.targets();
    ScopedMessageBoxRecorder boxes(&f.page);
    replaceItself(f, boxes);
    boxes.queueAnswer(closeThem ? QMessageBox::Yes : QMessageBox::No);
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), closeThem ? 4 : 3);
    const MessageBox::Shown summary = boxes.shown()[2];
    QCOMPARE(summary.caption, QString("问题"));
    QVERIFY2(summary.text.contains("目标数据库【SalesDemo】已存在，其现有数据将被覆盖。"), qPrintable(summary.text));
    QVERIFY2(summary.text.contains(QRegularExpression("有 1 个其他会话正在使用该数据库：会话 \\d+（app_user，")),
             qPrintable(summary.text));
    QVERIFY(summary.text.endsWith("是否断开这些会话并还原？"));

    const QStringList sent = f.sentWithoutChecksSince(before);
    QCOMPARE(sent.mid(0, 2), QStringList({"xp_fileexist N'" + targets[0] + "'", "xp_fileexist N'" + targets[1] + "'"}));
    if (!closeThem) {
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sessionsIn(f.connection, "SalesDemo"), 1);
        QCOMPARE(f.refills, 0);
        return;
    }
    QCOMPARE(sent.size(), 4);
    QVERIFY2(sent[2].startsWith(closeAndRestoreHead("SalesDemo")), qPrintable(sent[2]));
    QCOMPARE(sent[3], QString("ALTER DATABASE [SalesDemo] SET MULTI_USER"));
    QCOMPARE(boxes.shown().last().text, QString("数据库还原成功!"));
    QCOMPARE(sessionsIn(f.connection, "SalesDemo"), 0);
    QCOMPARE(userAccess(f.connection, "SalesDemo"), QString("MULTI_USER"));
    QCOMPARE(f.refills, 1);
}

// Another session took the single-user slot: the server refuses exclusive access (3101); the
// user is told so, not shown a raw error, and the database is open to everyone again.
void TestRestoreCheck::exclusiveAccessTakenMeanwhile() {
    RestorePageHarness f;
    QVERIFY(prepare(f, {"--seed", "--hold-session", "SalesDemo", "--fail", "ROLLBACK IMMEDIATE\n Restore=3101"}));
    ScopedMessageBoxRecorder boxes(&f.page);
    replaceItself(f, boxes);
    boxes.queueAnswer(QMessageBox::Yes);
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 4);
    QCOMPARE(boxes.shown()[3].caption, QString("警告"));
    QCOMPARE(boxes.shown()[3].text, NewTexts::text(NewTexts::CheckStillInUse).arg("SalesDemo"));
    QCOMPARE(f.sentWithoutChecksSince(before).last(), QString("ALTER DATABASE [SalesDemo] SET MULTI_USER"));
    QCOMPARE(userAccess(f.connection, "SalesDemo"), QString("MULTI_USER"));
    QCOMPARE(f.refills, 0);
}

void TestRestoreCheck::newerBackupVersion_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<bool>("refused");
    QTest::newRow("newer major is refused") << "16.0.4236.2" << true;
    QTest::newRow("later build of the same major restores") << "15.0.4223.1" << false;
    QTest::newRow("older major restores") << "14.0.1000.169" << false;
}

void TestRestoreCheck::newerBackupVersion() {
    QFETCH(QString, writer);
    QFETCH(bool, refused);
    RestorePageHarness other;
    QVERIFY2(other.start({"--seed", "--product-version", writer}), qPrintable(other.error()));
    other.makeServerDir("C:\\Bak");
    other.backup(RestorePageHarness::salesDemo(), kBak);
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir("C:\\Bak");
    f.makeServerDir("C:\\Restored");
    QVERIFY(QFile::copy(other.hostPath(kBak), f.hostPath(kBak)));
    f.loadSet(kBak, 1);
    f.CmbDb->setEditText(kCopy);
    f.setTargets(kNewTargets);
    ScopedMessageBoxRecorder boxes(&f.page);
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 1);
    if (refused) {
        QCOMPARE(boxes.shown()[0].caption, QString("警告"));
        QCOMPARE(boxes.shown()[0].text, NewTexts::text(NewTexts::CheckNewerVersion).arg("16.0.4236", "15.0.2000.5"));
        QCOMPARE(f.sentWithoutChecksSince(before).size(), 2); // the path checks only
        QVERIFY(!f.databases().contains(kCopy));
    } else {
        QCOMPARE(boxes.shown()[0].text, QString("数据库还原成功!"));
        QVERIFY(f.databases().contains(kCopy));
    }
}

void TestRestoreCheck::tooLittleSpace() {
    RestorePageHarness f;
    QVERIFY(prepare(f, {"--seed", "--free-space", "C=0"}));
    f.CmbDb->setEditText(kCopy);
    f.setTargets(kNewTargets);
    ScopedMessageBoxRecorder boxes(&f.page, QMessageBox::No);
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 1);
    const QString text = boxes.shown()[0].text;
    QCOMPARE(boxes.shown()[0].caption, QString("问题"));
    QVERIFY2(text.contains(QRegularExpression("驱动器 C: 空间不足：需要约 [1-9]\\d* MB，可用 0 MB。")), qPrintable(text));
    QVERIFY(text.contains("目标数据库【SalesCopy】不存在，将新建。"));
    QVERIFY(text.endsWith("是否仍要还原？"));
    QCOMPARE(f.sentWithoutChecksSince(before).size(), 2);
    QVERIFY(!f.databases().contains(kCopy));
}

void TestRestoreCheck::fileOfAnotherDatabase() {
    RestorePageHarness f;
    QVERIFY(prepare(f));
    const QStringList sourceFiles = f.targets(); // SalesDemo's own, in use by it
    f.CmbDb->setEditText(kCopy);
    ScopedMessageBoxRecorder boxes(&f.page, QMessageBox::No);
    boxes.queueAnswer(QMessageBox::Yes);
    boxes.queueAnswer(QMessageBox::Yes);
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 3);
    const QString text = boxes.shown()[2].text;
    for (const QString& path : sourceFiles)
        QVERIFY2(text.contains("文件【" + path + "】正被数据库【SalesDemo】使用，服务器将拒绝还原。"), qPrintable(text));
    QCOMPARE(f.sentWithoutChecksSince(before).size(), 2);
    QVERIFY(!f.databases().contains(kCopy));
}

void TestRestoreCheck::nothingToReport_data() {
    QTest::addColumn<bool>("overItself");
    QTest::newRow("a new database") << false;
    QTest::newRow("replace ticked over the database itself") << true;
}

// No question, and the restore sends what it always sent.
void TestRestoreCheck::nothingToReport() {
    QFETCH(bool, overItself);
    RestorePageHarness f;
    QVERIFY(prepare(f));
    ScopedMessageBoxRecorder boxes(&f.page);
    if (overItself) {
        replaceItself(f, boxes);
    } else {
        f.CmbDb->setEditText(kCopy);
        f.setTargets(kNewTargets);
    }
    const QString database = f.CmbDb->currentText();
    const QStringList targets = f.targets();
    const int before = f.sentCount();

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), overItself ? 3 : 1);
    QCOMPARE(boxes.shown().last().text, QString("数据库还原成功!"));
    const QList<RestoreFileMove> moves{{"SalesDemo", targets[0]}, {"SalesDemo_log", targets[1]}};
    QCOMPARE(f.sentWithoutChecksSince(before),
             QStringList({"xp_fileexist N'" + targets[0] + "'", "xp_fileexist N'" + targets[1] + "'",
                          buildRestoreStatement(database, kBak, 1, overItself, moves)}));
}

void TestRestoreCheck::newNameProposesRenamedFiles_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("fileNames"); // empty: the backup's own paths, as always
    QTest::newRow("new name") << "SalesCopy" << QStringList{"SalesCopy.mdf", "SalesCopy_log.ldf"};
    QTest::newRow("same name") << "SalesDemo" << QStringList{};
    QTest::newRow("same name in other letter case") << "SALESDEMO" << QStringList{};
    QTest::newRow("no name yet") << "" << QStringList{};
}

void TestRestoreCheck::newNameProposesRenamedFiles() {
    QFETCH(QString, target);
    QFETCH(QStringList, fileNames);
    RestorePageHarness f;
    QVERIFY(prepare(f));
    const QStringList own = f.targets();
    f.CmbDb->setEditText(target);

    f.loadSet(kBak, 1);

    QStringList expected = own;
    for (int i = 0; i < fileNames.size(); ++i)
        expected[i] = own[i].left(own[i].lastIndexOf(u'\\') + 1) + fileNames[i];
    QCOMPARE(f.targets(), expected);
    if (fileNames.isEmpty())
        return;
    // The proposal restores as it stands: no question, beside the source's files.
    ScopedMessageBoxRecorder boxes(&f.page);
    f.page.BtnRestoreClick();
    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].text, QString("数据库还原成功!"));
    for (const QString& path : expected)
        QVERIFY2(QFile::exists(f.hostPath(path)), qPrintable(path));
}

void TestRestoreCheck::renamedAfterTarget_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("renamed");
    QTest::newRow("name inside the base name") << "D:\\Data\\SalesDemo_log.ldf" << "D:\\Data\\SalesCopy_log.ldf";
    QTest::newRow("other letter case") << "D:\\Data\\salesdemo2.ndf" << "D:\\Data\\SalesCopy2.ndf";
    QTest::newRow("only the first occurrence") << "D:\\SalesDemoSalesDemo.mdf" << "D:\\SalesCopySalesDemo.mdf";
    QTest::newRow("base name without it") << "D:\\Data\\data1.ndf" << "D:\\Data\\SalesCopy_data1.ndf";
    QTest::newRow("dots in the directory, none in the name")
        << "D:\\v1.2\\SalesDemo" << "D:\\v1.2\\SalesCopy";
    QTest::newRow("forward slashes") << "/var/opt/mssql/data/SalesDemo.mdf" << "/var/opt/mssql/data/SalesCopy.mdf";
}

void TestRestoreCheck::renamedAfterTarget() {
    QFETCH(QString, path);
    QFETCH(QString, renamed);
    QCOMPARE(::renamedAfterTarget(path, "SalesDemo", "SalesCopy"), renamed);
}

QTEST_MAIN(TestRestoreCheck)
#include "tst_RestoreCheck.moc"
