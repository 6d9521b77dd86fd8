// The restore button against the simulator: guards, the path checks and their questions, and
// the restore itself.

#include "EDatabaseError.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "RestorePageHarness.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString kBakDir = QStringLiteral("C:\\Bak");

void touch(const QString& hostFile) {
    QDir().mkpath(QFileInfo(hostFile).absolutePath());
    QFile file(hostFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

bool isPathCheck(const QString& statement) { return statement.startsWith(QStringLiteral("xp_fileexist N'")); }

} // namespace

class TestRestoreRun : public QObject {
    Q_OBJECT
private slots:
    void guardsInOrder_data();
    void guardsInOrder();
    void restoreUnderNewName();
    void noOnSecondOfThreeStops_data();
    void noOnSecondOfThreeStops();
    void yesOnEveryExistingFileRestores();
    void missingParentDirectoryStops();
    void replaceOption_data();
    void replaceOption();
    void failingPathCheckRaises();
    void hostileNamesRestoredVerbatim();
    void hostileLogicalNameStaysAValue();

private:
    // Seeds, backs up the first user database and loads its one set. Returns that database.
    QString prepare(RestorePageHarness& f, const QString& bakFile = kBakDir + "\\src.bak",
                    const QString& database = RestorePageHarness::salesDemo());
};

QString TestRestoreRun::prepare(RestorePageHarness& f, const QString& bakFile, const QString& database) {
    if (!f.start()) {
        qWarning("%s", qPrintable(f.error()));
        return {};
    }
    const QString db = database;
    f.makeServerDir(QFileInfo(bakFile.mid(2).replace('\\', '/')).path().prepend("C:"));
    f.backup(db, bakFile);
    f.loadSet(bakFile, 1);
    return db;
}

void TestRestoreRun::guardsInOrder_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("bakFile");
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing at all") << false << "" << "" << "" << 1 << "SQL SERVER服务器未连接!";
    QTest::newRow("not connected, rest filled")
        << false << "db" << "C:\\a.bak" << "1 2020-01-01 00:00:00" << 2 << "SQL SERVER服务器未连接!";
    QTest::newRow("no database") << true << "" << "" << "" << 1 << "恢复数据库名不能为空!";
    QTest::newRow("no file") << true << "db" << "" << "" << 1 << "数据库备份文件名不能为空!";
    QTest::newRow("blank database passes") << true << " " << "" << "" << 1 << "数据库备份文件名不能为空!";
    QTest::newRow("no set") << true << "db" << "C:\\a.bak" << "" << 1 << "数据库备份集未选择!";
    QTest::newRow("no data row") << true << "db" << "C:\\a.bak" << "1 2020-01-01 00:00:00" << 1
                                 << "原数据库备份文件有误，请核对!";
}

void TestRestoreRun::guardsInOrder() {
    QFETCH(bool, connected);
    QFETCH(QString, database);
    QFETCH(QString, bakFile);
    QFETCH(QString, set);
    QFETCH(int, rowCount);
    QFETCH(QString, message);

    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    if (!connected)
        f.connection.Close();
    f.CmbDb->setEditText(database);
    f.EdtBakFile->setText(bakFile);
    if (!set.isEmpty()) {
        f.CmbBfj->addItem(set);
        f.CmbBfj->setCurrentIndex(0);
    }
    f.Grid->setRowCount(rowCount);
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].caption, QString("警告"));
    QCOMPARE(boxes.shown()[0].text, message);
    QCOMPARE(f.sentCount(), before);
    QCOMPARE(f.refills, 0);
}

void TestRestoreRun::restoreUnderNewName() {
    RestorePageHarness f;
    const QString source = prepare(f);
    QVERIFY(!source.isEmpty());
    const int files = f.Grid->RowCount() - 1;
    QVERIFY(files >= 1);

    QStringList targets;
    for (int i = 1; i <= files; ++i)
        targets << QString("C:\\Restored\\Copy_%1.%2").arg(i).arg(i == files ? "ldf" : "mdf");
    f.makeServerDir("C:\\Restored");
    f.setTargets(targets);
    f.CmbDb->setEditText("CopyOfSource");
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].caption, QString("提示"));
    QCOMPARE(boxes.shown()[0].text, QString("数据库还原成功!"));
    QCOMPARE(f.refills, 1);

    const QStringList sent = f.sentWithoutChecksSince(before);
    QCOMPARE(sent.size(), files + 1);
    for (int i = 0; i < files; ++i)
        QCOMPARE(sent[i], "xp_fileexist N'" + targets[i] + "'");
    QVERIFY2(sent.last().startsWith(" Restore DataBase [CopyOfSource] FROM  DISK = N'C:\\Bak\\src.bak' With File =1, "
                                    "Move N'"),
             qPrintable(sent.last()));
    QVERIFY(!sent.last().contains("REPLACE"));

    QVERIFY(f.databases().contains("CopyOfSource"));
    QVERIFY(f.databases().contains(source));
    for (const QString& target : targets)
        QVERIFY2(QFile::exists(f.hostPath(target)), qPrintable(target));
}

void TestRestoreRun::noOnSecondOfThreeStops_data() {
    QTest::addColumn<int>("startCol");
    QTest::newRow("editor already on a target") << 1;
    QTest::newRow("current cell still on the logical name") << 0;
}

void TestRestoreRun::noOnSecondOfThreeStops() {
    QFETCH(int, startCol);

    RestorePageHarness f;
    QVERIFY(!prepare(f).isEmpty());
    const QStringList targets{"C:\\Exist\\a.mdf", "C:\\Exist\\b.ndf", "C:\\Exist\\c.ldf"};
    for (const QString& target : targets)
        touch(f.hostPath(target));
    f.Grid->setRowCount(4);
    for (int row = 1; row <= 3; ++row)
        f.Grid->setCellText(0, row, QString("logical%1").arg(row));
    f.setTargets(targets);
    f.CmbDb->setEditText("Other");
    if (startCol == 1)
        f.Grid->setCurrentCol(1);
    QCOMPARE(f.Grid->CurrentCol(), startCol);
    f.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.page));

    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);
    boxes.queueAnswer(QMessageBox::Yes);
    boxes.queueAnswer(QMessageBox::No);

    f.page.BtnRestoreClick();

    QCOMPARE(f.sentSince(before), (QStringList{"xp_fileexist N'C:\\Exist\\a.mdf'", "xp_fileexist N'C:\\Exist\\b.ndf'"}));
    QCOMPARE(boxes.shown().size(), 2);
    QCOMPARE(boxes.shown()[1].caption, QString("问题"));
    QCOMPARE(boxes.shown()[1].text, QString("【C:\\Exist\\b.ndf】移至物理文件名有已经存在,是否继续?"));
    QCOMPARE(f.Grid->CurrentRow(), 2);
    QCOMPARE(f.Grid->CurrentCol(), 1);
    // The grid has the focus; with its editor always shown, the editor on the current cell holds it.
    QVERIFY(f.page.focusWidget() == f.Grid || f.Grid->isAncestorOf(f.page.focusWidget()));
    QCOMPARE(f.refills, 0);
    QVERIFY(!f.databases().contains("Other"));
}

void TestRestoreRun::yesOnEveryExistingFileRestores() {
    RestorePageHarness f;
    const QString source = prepare(f);
    QVERIFY(!source.isEmpty());
    // The set's own paths: the source database's files, which exist.
    const QStringList targets = f.targets();
    for (const QString& target : targets)
        QVERIFY2(QFile::exists(f.hostPath(target)), qPrintable(target));
    f.CmbDb->setEditText(source);
    f.ChkRestore->setChecked(true);
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page, QMessageBox::Yes);

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), targets.size() + 1);
    for (int i = 0; i < targets.size(); ++i) {
        QCOMPARE(boxes.shown()[i].caption, QString("问题"));
        QCOMPARE(boxes.shown()[i].text, "【" + targets[i] + "】移至物理文件名有已经存在,是否继续?");
    }
    QCOMPARE(boxes.shown().last().text, QString("数据库还原成功!"));
    const QStringList sent = f.sentWithoutChecksSince(before);
    QCOMPARE(sent.size(), targets.size() + 1);
    QVERIFY(sent.last().contains("With File =1, REPLACE , Move N'"));
    QCOMPARE(f.refills, 1);
}

void TestRestoreRun::missingParentDirectoryStops() {
    RestorePageHarness f;
    QVERIFY(!prepare(f).isEmpty());
    f.makeServerDir("C:\\Restored");
    QStringList targets;
    for (int i = 1; i < f.Grid->RowCount(); ++i)
        targets << QString("C:\\Restored\\f%1.dat").arg(i);
    targets.last() = "C:\\NoSuchDir\\last.ldf";
    f.setTargets(targets);
    f.Grid->setCurrentCol(1);
    f.CmbDb->setEditText("NewOne");
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);

    f.page.BtnRestoreClick();

    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].caption, QString("警告"));
    QCOMPARE(boxes.shown()[0].text, QString("【C:\\NoSuchDir\\last.ldf】移至物理文件名的父级目录不存在，请核对!"));
    const QStringList sent = f.sentSince(before);
    QCOMPARE(sent.size(), targets.size());
    QVERIFY(std::all_of(sent.begin(), sent.end(), isPathCheck));
    QCOMPARE(f.Grid->CurrentRow(), f.Grid->RowCount() - 1);
    QCOMPARE(f.Grid->CurrentCol(), 1);
    // The grid has the focus; with its editor always shown, the editor on the current cell holds it.
    QVERIFY(f.page.focusWidget() == f.Grid || f.Grid->isAncestorOf(f.page.focusWidget()));
    QVERIFY(!f.databases().contains("NewOne"));
}

void TestRestoreRun::replaceOption_data() {
    QTest::addColumn<bool>("replace");
    QTest::newRow("not ticked: refused") << false;
    QTest::newRow("ticked: replaced") << true;
}

void TestRestoreRun::replaceOption() {
    QFETCH(bool, replace);

    RestorePageHarness f;
    const QString source = prepare(f);
    QVERIFY(!source.isEmpty());
    // First a copy, then the same set restored over that copy at new paths.
    f.makeServerDir("C:\\R1");
    f.makeServerDir("C:\\R2");
    QStringList first, second;
    for (int i = 1; i < f.Grid->RowCount(); ++i) {
        first << QString("C:\\R1\\f%1.dat").arg(i);
        second << QString("C:\\R2\\f%1.dat").arg(i);
    }
    f.setTargets(first);
    f.CmbDb->setEditText("Copy");
    {
        ScopedMessageBoxRecorder boxes(&f.page);
        f.page.BtnRestoreClick();
        QCOMPARE(f.refills, 1);
    }
    f.refills = 0;
    f.setTargets(second);
    f.ChkRestore->setChecked(replace);
    ScopedMessageBoxRecorder boxes(&f.page);

    if (replace) {
        f.page.BtnRestoreClick();
        QCOMPARE(f.refills, 1);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].text, QString("数据库还原成功!"));
        for (const QString& target : second)
            QVERIFY2(QFile::exists(f.hostPath(target)), qPrintable(target));
    } else {
        try {
            f.page.BtnRestoreClick();
            QFAIL("the server's refusal was not raised");
        } catch (const EDatabaseError& e) {
            QVERIFY2(e.message().contains("3154") || e.message().contains("already exists") ||
                         e.message().contains("terminating abnormally"),
                     qPrintable(e.message()));
        }
        QCOMPARE(f.refills, 0);
        QVERIFY(boxes.shown().isEmpty());
        for (const QString& target : second)
            QVERIFY2(!QFile::exists(f.hostPath(target)), qPrintable(target));
    }
}

void TestRestoreRun::failingPathCheckRaises() {
    RestorePageHarness f;
    QVERIFY2(f.start({"--seed", "--fail", "xp_fileexist=2812"}), qPrintable(f.error()));
    const QString db = f.salesDemo();
    f.makeServerDir(kBakDir);
    f.backup(db, kBakDir + "\\src.bak");
    f.loadSet(kBakDir + "\\src.bak", 1);
    f.CmbDb->setEditText("X2");
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);

    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.page.BtnRestoreClick());

    QCOMPARE(f.sentCount(), before + 1);
    QVERIFY(boxes.shown().isEmpty());
    QCOMPARE(f.refills, 0);
    QVERIFY(f.page.focusWidget() != f.Grid && !f.Grid->isAncestorOf(f.page.focusWidget()));
}

void TestRestoreRun::hostileNamesRestoredVerbatim() {
    RestorePageHarness f;
    const QString bakFile = "C:\\it's]备份\\o'neil's.bak";
    const QString source = prepare(f, bakFile, RestorePageHarness::inventory());
    QVERIFY(!source.isEmpty());
    QCOMPARE(f.CmbBfj->count(), 1);
    const QStringList before = f.databases();

    const QString dir = "C:\\数据'; DROP DATABASE [" + source + "]--";
    f.makeServerDir(dir);
    QStringList targets;
    for (int i = 1; i < f.Grid->RowCount(); ++i)
        targets << dir + QString("\\x']%1'.dat").arg(i);
    f.setTargets(targets);
    const QString name = "销售]; DROP DATABASE [" + source + "]; --'";
    f.CmbDb->setEditText(name);
    ScopedMessageBoxRecorder boxes(&f.page);

    f.page.BtnRestoreClick();

    QCOMPARE(f.refills, 1);
    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].text, QString("数据库还原成功!"));
    QStringList expected = before;
    expected << name;
    expected.sort();
    QStringList after = f.databases();
    after.sort();
    QCOMPARE(after, expected);
    for (const QString& target : targets)
        QVERIFY2(QFile::exists(f.hostPath(target)), qPrintable(target));
}

void TestRestoreRun::hostileLogicalNameStaysAValue() {
    RestorePageHarness f;
    QVERIFY(!prepare(f).isEmpty());
    f.makeServerDir("C:\\R");
    QStringList targets;
    for (int i = 1; i < f.Grid->RowCount(); ++i)
        targets << QString("C:\\R\\f%1.dat").arg(i);
    f.setTargets(targets);
    const QString hostile = "x' TO N'C:\\evil.mdf'; DROP DATABASE [SalesDemo]; --]";
    f.Grid->setCellText(0, 1, hostile);
    f.CmbDb->setEditText("Copy");
    const QStringList before = f.databases();
    ScopedMessageBoxRecorder boxes(&f.page);

    try {
        f.page.BtnRestoreClick();
        QFAIL("a logical name that is not in the set was accepted");
    } catch (const EDatabaseError& e) {
        // The server saw the whole text as one logical name.
        QVERIFY2(e.message().contains("'" + hostile + "'"), qPrintable(e.message()));
    }
    QCOMPARE(f.refills, 0);
    QCOMPARE(f.databases(), before);
    QVERIFY(!QFile::exists(f.hostPath("C:\\evil.mdf")));
}

QTEST_MAIN(TestRestoreRun)
#include "tst_RestoreRun.moc"
