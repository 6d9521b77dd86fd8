// Stopping a long BACKUP or RESTORE from the window: Esc or the close box asks, Yes cancels the
// statement on the server, No changes nothing.

#include "HtGrids.h"
#include "ListItems.h"
#include "MessageBox.h"
#include "NewTexts.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "WindowDriver.h"

#include <QDir>
#include <QTimer>
#include <QtTest>

using namespace WindowDriver;

namespace {

// Slow enough that a statement is still running when the user's request arrives.
const QStringList kSlowServer{"--seed", "--delay-per-mb", "2000"};
constexpr int kStopAfterMs = 300;

enum class Request { Escape, CloseBox };

// Once the long statement has begun: Esc into the window, or the window's close box.
void requestStopLater(TFrmMain& window, Request request) {
    QTimer::singleShot(kStopAfterMs, &window, [&window, request] {
        QVERIFY(window.connection()->busy());
        if (request == Request::Escape)
            QTest::keyClick(window.TabSheet1->LsbDB, Qt::Key_Escape);
        else
            window.close();
    });
}

QStringList logLines(const TFrmMain& window) { return window.TabSheet1->MemoInfo->toPlainText().split('\n'); }

QStringList backupStatements(const SimServer& sim) {
    return sim.statements().filter(QRegularExpression("^Backup DataBase", QRegularExpression::CaseInsensitiveOption));
}

} // namespace

Q_DECLARE_METATYPE(Request)

class TestStopLongRun : public QObject {
    Q_OBJECT
private slots:
    void stoppedBackupEndsTheRunAndTheNextOneSucceeds_data() {
        QTest::addColumn<Request>("request");
        QTest::newRow("Esc") << Request::Escape;
        QTest::newRow("close box") << Request::CloseBox;
    }
    void stoppedBackupEndsTheRunAndTheNextOneSucceeds() {
        QFETCH(Request, request);
        SimServer sim;
        QVERIFY2(sim.start(kSlowServer), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window, QMessageBox::Yes);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        ListItems::tickOnly(window.TabSheet1->LsbDB, {"SalesDemo", "库存管理"});

        requestStopLater(window, request);
        QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().text, NewTexts::text(NewTexts::StopBackupQuestion));
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Question);
        QCOMPARE(logLines(window), QStringList({"开始备份数据库【SalesDemo】...",
                                                NewTexts::text(NewTexts::BackupCancelledLine).arg("SalesDemo"),
                                                QString(39, '-')}));
        QCOMPARE(backupStatements(sim).size(), 1); // the second database never ran
        QVERIFY(window.isVisible());
        QVERIFY(QDir(sim.driveC() + "/Bak").entryList(QDir::Files).isEmpty()); // no partial file

        // The same connection backs up again, to the end.
        boxes.clear();
        ListItems::tickOnly(window.TabSheet1->LsbDB, {"库存管理"});
        QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(logLines(window).value(1), QStringLiteral("数据库【库存管理】备份成功!"));
        QCOMPARE(QDir(sim.driveC() + "/Bak").entryList(QDir::Files).size(), 1);
    }

    void answeringNoChangesNothing_data() {
        QTest::addColumn<Request>("request");
        QTest::newRow("Esc") << Request::Escape;
        QTest::newRow("close box") << Request::CloseBox;
    }
    void answeringNoChangesNothing() {
        QFETCH(Request, request);
        SimServer sim;
        QVERIFY2(sim.start(kSlowServer), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window, QMessageBox::No);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        ListItems::tickOnly(window.TabSheet1->LsbDB, {"SalesDemo"});

        requestStopLater(window, request);
        QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().text, NewTexts::text(NewTexts::StopBackupQuestion));
        QCOMPARE(logLines(window).value(1), QStringLiteral("数据库【SalesDemo】备份成功!"));
        QCOMPARE(QDir(sim.driveC() + "/Bak").entryList(QDir::Files).size(), 1);
        QVERIFY(window.isVisible());
        QVERIFY(!window.connection()->busy());
    }

    void inputOtherThanTheStopRequestIsHeldBack() {
        SimServer sim;
        QVERIFY2(sim.start(kSlowServer), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window, QMessageBox::No);
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        ListItems::tickOnly(window.TabSheet1->LsbDB, {"SalesDemo"});
        window.TabSheet1->LsbDB->setCurrentItem(window.TabSheet1->LsbDB->findItems("SalesDemo", Qt::MatchExactly).value(0));

        // A second press of the button and a click on the list while the first backup runs.
        QTimer::singleShot(kStopAfterMs, &window, [&window] {
            QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
            QTest::keyClick(window.TabSheet1->LsbDB, Qt::Key_Space);
        });
        QTest::mouseClick(window.TabSheet1->BtnBackup, Qt::LeftButton);
        QCOMPARE(backupStatements(sim).size(), 1);
        QCOMPARE(logLines(window).size(), 3);
        QCOMPARE(window.TabSheet1->tickedDatabases(), QStringList{"SalesDemo"}); // Space did not untick it
        QVERIFY(boxes.shown().isEmpty());
    }

    void stoppedRestoreReportsTheDatabasesState_data() {
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("replace");
        QTest::newRow("new database") << "SalesStopped" << false;
        QTest::newRow("over the existing one") << "SalesDemo" << true;
    }
    void stoppedRestoreReportsTheDatabasesState() {
        QFETCH(QString, database);
        QFETCH(bool, replace);
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        QDir(sim.driveC()).mkpath("Copy");
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window, QMessageBox::Yes);
        connectTo(window, sim.port(), SimServer::login(), SimServer::password());
        window.connection()->ExecuteLong("Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\s.Bak'");
        window.connection()->Close();
        QVERIFY(sim.restart(kSlowServer));
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));

        RestorePage* page = window.TabSheet2;
        page->EdtBakFile->setText("C:\\Bak\\s.Bak");
        page->FillBfjList("C:\\Bak\\s.Bak");
        page->CmbBfj->setCurrentIndex(0);
        page->CmbBfjChange();
        if (!replace)
            for (int r = 1; r < page->Grid->RowCount(); ++r)
                page->Grid->setCellText(1, r, QStringLiteral("C:\\Copy\\file%1.dat").arg(r));
        page->CmbDb->setEditText(database);
        page->ChkRestore->setChecked(replace);
        boxes.clear();

        requestStopLater(window, Request::Escape);
        QTest::mouseClick(page->BtnRestore, Qt::LeftButton);
        // Over the existing database, each target file exists and is confirmed first.
        QCOMPARE(boxes.shown().size(), replace ? 2 + page->Grid->RowCount() - 1 : 2);
        const QString question = boxes.shown()[boxes.shown().size() - 2].text;
        QVERIFY(question.startsWith(NewTexts::text(NewTexts::StopRestoreQuestion).arg(database)));
        QCOMPARE(question.contains(NewTexts::text(NewTexts::StopRestoreReplaceWarning)), replace);
        const MessageBox::Shown report = boxes.shown().last();
        QVERIFY2(report.text.startsWith(NewTexts::text(NewTexts::RestoreCancelled).arg(database, "RESTORING")),
                 qPrintable(report.text));
        QVERIFY(report.text.contains("RESTORE DATABASE [" + database + "] WITH RECOVERY"));
        for (const MessageBox::Shown& box : boxes.shown())
            QVERIFY(box.text != QStringLiteral("数据库还原成功!"));
    }
};

QTEST_MAIN(TestStopLongRun)
#include "tst_stop_long_run.moc"
