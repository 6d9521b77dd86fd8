// The whole program as a user drives it: connect, pick a directory, back up two databases,
// pick the backup file, choose its set, edit a target path, restore under a new name.

#include "HtGrids.h"
#include "MessageBox.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "UntMain.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "WindowDriver.h"
#include "ListItems.h"

#include <QDir>
#include <QtTest>

using namespace WindowDriver;

class TestRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void backUpThenRestoreUnderANewName() {

        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.createPickers();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Connect.
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));

        // Pick the backup directory.
        answerPicker(window.FrmSelPath, {"C:\\", "Bak"});
        QTest::mouseClick(window.TabSheet1->BtnPath, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(window.TabSheet1->EdtPath->text(), QStringLiteral("C:\\Bak\\"));

        // Tick two databases and back up.
        ListItems::tickOnly(window.TabSheet1->LsbDB, {"SalesDemo", "库存管理"});
        QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
        const QStringList log = window.TabSheet1->MemoInfo->toPlainText().split('\n');
        QCOMPARE(log.size(), 6);
        QCOMPARE(log[1], QStringLiteral("数据库【SalesDemo】备份成功!"));
        QCOMPARE(log[4], QStringLiteral("数据库【库存管理】备份成功!"));
        const QStringList files = QDir(sim.driveC() + "/Bak").entryList({"SalesDemo*.Bak"}, QDir::Files);
        QCOMPARE(files.size(), 1);

        // Pick the backup file and its set.
        window.PageControl1->setCurrentIndex(1);
        answerPicker(window.FrmSelFile, {"C:\\", "Bak", files.first()});
        QTest::mouseClick(window.TabSheet2->FlatButton1, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(window.TabSheet2->EdtBakFile->text(), "C:\\Bak\\" + files.first());
        QCOMPARE(window.TabSheet2->CmbBfj->count(), 1);
        QCOMPARE(window.TabSheet2->CmbBfj->currentIndex(), -1);
        QVERIFY(window.TabSheet2->CmbBfj->itemText(0).startsWith("1 "));
        window.TabSheet2->CmbBfj->setCurrentIndex(0);
        window.TabSheet2->CmbBfjChange();
        QVERIFY(window.TabSheet2->Grid->RowCount() >= 3);

        // New target paths, a new database name, restore.
        QDir(sim.driveC()).mkpath("Copy");
        for (int r = 1; r < window.TabSheet2->Grid->RowCount(); ++r)
            window.TabSheet2->Grid->setCellText(1, r, QStringLiteral("C:\\Copy\\file%1.dat").arg(r));
        window.TabSheet2->CmbDb->setEditText("SalesCopy");
        QTest::mouseClick(window.TabSheet2->BtnRestore, Qt::LeftButton);
        QVERIFY(!boxes.shown().isEmpty());
        QCOMPARE(boxes.shown().last().text, QStringLiteral("数据库还原成功!"));
        QCOMPARE(boxes.shown().last().caption, QStringLiteral("提示"));
        QVERIFY(QFile::exists(sim.driveC() + "/Copy/file1.dat"));
        QVERIFY(ListItems::texts(window.TabSheet1->LsbDB).contains("SalesCopy"));
        QCOMPARE(window.TabSheet2->CmbDb->currentText(), QStringLiteral("SalesCopy"));
    }

    void droppedServerShowsTheDriversErrorAndReconnectWorks() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.createPickers();
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));

        sim.kill();
        answerPicker(window.FrmSelPath, {}); // the picker opens with its listing failed; leave it
        QTest::mouseClick(window.TabSheet1->BtnPath, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Critical);
        QVERIFY(!boxes.shown().first().text.isEmpty());

        // Disconnect and reconnect once the server is back.
        QVERIFY(sim.restart());
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window.BtnConn->click(); // disconnect
        window.BtnConn->click(); // connect
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QVERIFY(window.TabSheet1->LsbDB->count() > 0);
    }

    void pickerButtonsSayWhenNotConnected() {
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.createPickers();
        window.TabSheet1->BtnPathClick();
        window.TabSheet2->FlatButton1Click();
        QCOMPARE(boxes.shown().size(), 2);
        for (const MessageBox::Shown& box : boxes.shown()) {
            QCOMPARE(box.text, QStringLiteral("SQL SERVER服务器未成功连接!"));
            QCOMPARE(box.caption, QStringLiteral("提示"));
        }
        QVERIFY(!window.FrmSelPath->isVisible());
    }
};

QTEST_MAIN(TestRoundTrip)
#include "tst_round_trip.moc"
