// Reading a backup file on the server into the restore page: the set list, the file list in
// the grid, and picking the file.

#include "EDatabaseError.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "RestorePageHarness.h"

#include <QRegularExpression>
#include <QtTest>

namespace {
const QString kBakDir = QStringLiteral("C:\\Bak");
const QRegularExpression kEntry(QStringLiteral("^\\d+ \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
} // namespace

class TestBackupSetList : public QObject {
    Q_OBJECT
private slots:
    void threeSetsListedNoneChosen();
    void listingDoesNotRaiseChange();
    void failingHeaderEmptiesListFirst();
    void fileListReplacesRows();
    void fileListOfSetTwelve();
    void failingFileListLeavesGrid();
    void silentGuards_data();
    void silentGuards();
    void pickNotConnected();
    void pickFillsSets();
    void abandonedPickKeepsSets();
    void quoteInBackupPath();
};

void TestBackupSetList::threeSetsListedNoneChosen() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    const QString db = f.salesDemo();
    QVERIFY(!db.isEmpty());
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\three.bak";
    for (int i = 0; i < 3; ++i)
        f.backup(db, file);
    f.Grid->setCellText(1, 1, "untouched");

    const int before = f.sentCount();
    f.page.FillBfjList(file);

    QCOMPARE(f.sentSince(before),
             QStringList{"RESTORE HEADERONLY FROM  DISK = N'C:\\Bak\\three.bak'  WITH   NOUNLOAD "});
    QCOMPARE(f.CmbBfj->count(), 3);
    for (int i = 0; i < 3; ++i) {
        const QString entry = f.CmbBfj->itemText(i);
        QVERIFY2(kEntry.match(entry).hasMatch(), qPrintable(entry));
        QVERIFY(entry.startsWith(QString::number(i + 1) + " "));
    }
    QCOMPARE(f.CmbBfj->currentIndex(), -1);
    QCOMPARE(f.CmbBfj->currentText(), QString());
    QCOMPARE(f.Grid->CellText(1, 1), QString("untouched"));
}

void TestBackupSetList::listingDoesNotRaiseChange() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    f.backup(f.salesDemo(), kBakDir + "\\a.bak");
    int changes = 0;
    connect(f.CmbBfj, &QComboBox::currentIndexChanged, this, [&] { ++changes; });
    f.CmbBfj->addItem("9 old");
    f.CmbBfj->setCurrentIndex(0);
    changes = 0;
    f.page.FillBfjList(kBakDir + "\\a.bak");
    QCOMPARE(f.CmbBfj->count(), 1);
    QCOMPARE(changes, 0);
}

void TestBackupSetList::failingHeaderEmptiesListFirst() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.CmbBfj->addItems({"1 2020-01-01 00:00:00", "2 2020-01-02 00:00:00"});
    f.CmbBfj->setCurrentIndex(1);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.page.FillBfjList("C:\\nowhere\\missing.bak"));
    QCOMPARE(f.CmbBfj->count(), 0);
    QCOMPARE(f.CmbBfj->currentIndex(), -1);
}

void TestBackupSetList::fileListReplacesRows() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\one.bak";
    f.backup(f.salesDemo(), file);
    f.page.FillBfjList(file);

    // Rows left over from a set with more files than this one.
    f.Grid->setRowCount(5);
    for (int row = 1; row < 5; ++row) {
        f.Grid->setCellText(0, row, QString("old%1").arg(row));
        f.Grid->setCellText(1, row, QString("C:\\old%1").arg(row));
    }
    f.CmbBfj->setCurrentIndex(0);
    const int before = f.sentCount();
    f.readFileList(file);

    QCOMPARE(f.sentSince(before),
             QStringList{"RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\one.bak' WITH  FILE = 1 ,  NOUNLOAD "});
    // Four rows before, two files in the set: exactly the set's files remain.
    QCOMPARE(f.Grid->RowCount(), 3);
    const QString dataDir = "C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\";
    QCOMPARE(f.Grid->CellText(0, 1), QString("SalesDemo"));
    QCOMPARE(f.Grid->CellText(1, 1), dataDir + "SalesDemo.mdf");
    QCOMPARE(f.Grid->CellText(0, 2), QString("SalesDemo_log"));
    QCOMPARE(f.Grid->CellText(1, 2), dataDir + "SalesDemo_log.ldf");
    // A second read of the same set overwrites what the user typed.
    f.Grid->setCellText(1, 1, "C:\\edited.mdf");
    f.readFileList(file);
    QCOMPARE(f.Grid->CellText(1, 1), dataDir + "SalesDemo.mdf");
}

void TestBackupSetList::fileListOfSetTwelve() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\many.bak";
    const QString db = f.salesDemo();
    for (int i = 0; i < 12; ++i)
        f.backup(db, file);
    f.page.FillBfjList(file);
    QCOMPARE(f.CmbBfj->count(), 12);
    f.CmbBfj->setCurrentIndex(11);
    QVERIFY(f.CmbBfj->currentText().startsWith("12 "));
    const int before = f.sentCount();
    f.readFileList(file);
    QCOMPARE(f.sentSince(before),
             QStringList{"RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\many.bak' WITH  FILE = 12 ,  NOUNLOAD "});
    QVERIFY(f.Grid->RowCount() >= 2);
}

void TestBackupSetList::failingFileListLeavesGrid() {
    RestorePageHarness f;
    QVERIFY2(f.start({"--seed", "--fail", "FILELISTONLY=3241"}), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\one.bak";
    f.backup(f.salesDemo(), file);
    f.page.FillBfjList(file);
    f.CmbBfj->setCurrentIndex(0);
    f.Grid->setRowCount(3);
    f.Grid->setCellText(0, 2, "keep");
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, f.readFileList(file));
    QCOMPARE(f.Grid->RowCount(), 3);
    QCOMPARE(f.Grid->CellText(0, 2), QString("keep"));
}

void TestBackupSetList::silentGuards_data() {
    QTest::addColumn<bool>("entries");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("connected");

    QTest::newRow("no entries") << false << false << "C:\\Bak\\one.bak" << true;
    QTest::newRow("none chosen") << true << false << "C:\\Bak\\one.bak" << true;
    QTest::newRow("no file") << true << true << "" << true;
    QTest::newRow("not connected") << true << true << "C:\\Bak\\one.bak" << false;
}

void TestBackupSetList::silentGuards() {
    QFETCH(bool, entries);
    QFETCH(bool, chosen);
    QFETCH(QString, file);
    QFETCH(bool, connected);

    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    if (entries)
        f.CmbBfj->addItem("1 2020-01-01 00:00:00");
    f.CmbBfj->setCurrentIndex(chosen ? 0 : -1);
    if (!connected)
        f.connection.Close();
    f.Grid->setCellText(0, 1, "before");
    const int before = f.sentCount();
    ScopedMessageBoxRecorder boxes(&f.page);

    f.readFileList(file);

    QCOMPARE(f.sentCount(), before);
    QVERIFY(boxes.shown().isEmpty());
    QCOMPARE(f.Grid->RowCount(), 2);
    QCOMPARE(f.Grid->CellText(0, 1), QString("before"));
}

void TestBackupSetList::pickNotConnected() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.connection.Close();
    f.pickAnswer = QString("C:\\x.bak");
    ScopedMessageBoxRecorder boxes(&f.page);
    f.page.FlatButton1Click();
    QVERIFY(!f.pickerShown);
    QCOMPARE(boxes.shown().size(), 1);
    QCOMPARE(boxes.shown()[0].caption, QString("提示"));
    QCOMPARE(boxes.shown()[0].text, QString("SQL SERVER服务器未成功连接!"));
    QCOMPARE(f.EdtBakFile->text(), QString());
}

void TestBackupSetList::pickFillsSets() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\two.bak";
    f.backup(f.salesDemo(), file);
    f.backup(f.salesDemo(), file);
    f.pickAnswer = file;
    f.page.FlatButton1Click();
    QCOMPARE(f.EdtBakFile->text(), file);
    QCOMPARE(f.CmbBfj->count(), 2);
    QCOMPARE(f.CmbBfj->currentIndex(), -1);
}

void TestBackupSetList::abandonedPickKeepsSets() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    f.makeServerDir(kBakDir);
    const QString file = kBakDir + "\\one.bak";
    f.backup(f.salesDemo(), file);
    f.loadSet(file, 1);
    const QStringList targets = f.targets();
    const int before = f.sentCount();

    f.pickAnswer = std::nullopt;
    f.page.FlatButton1Click();
    QVERIFY(f.pickerShown);

    QCOMPARE(f.EdtBakFile->text(), QString());
    QCOMPARE(f.CmbBfj->count(), 1);
    QCOMPARE(f.targets(), targets);
    QCOMPARE(f.sentCount(), before);
    // With the path gone, choosing a set reads nothing.
    f.readFileList(f.EdtBakFile->text());
    QCOMPARE(f.sentCount(), before);
}

void TestBackupSetList::quoteInBackupPath() {
    RestorePageHarness f;
    QVERIFY2(f.start(), qPrintable(f.error()));
    const QString dir = "C:\\it's 备份]";
    f.makeServerDir(dir);
    const QString file = dir + "\\o'neil.bak";
    f.backup(f.salesDemo(), file);
    QVERIFY(QFile::exists(f.hostPath(file)));
    f.loadSet(file, 1);
    QCOMPARE(f.CmbBfj->count(), 1);
    QVERIFY(f.Grid->RowCount() >= 2);
    QVERIFY(!f.Grid->CellText(0, 1).isEmpty());
}

QTEST_MAIN(TestBackupSetList)
#include "tst_BackupSetList.moc"
