// The 显示进度 option through the window against a simulator slowed by --delay-per-mb: with it on,
// BACKUP and RESTORE ask for STATS = 10 and the page's progress area follows each database to
// 100; with it off, every statement is the one sent without the option and no area appears.
//
// With FreeTDS, the "N percent processed." messages reach the program only when the statement
// returns (docs/progress-messages.md), so here the area sees the whole sequence at the end of
// each statement. That the server sends them while the statement runs is checked at the packet
// level by tests/sqlsim/tst_tds_framing.

#include "HtGrids.h"
#include "ListItems.h"
#include "MessageBox.h"
#include "RunProgressArea.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "WindowDriver.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace WindowDriver;

namespace {

const QStringList kSlowServer{"--seed", "--delay-per-mb", "300"};

// What a progress area showed during one press of a button.
struct AreaWatch {
    QList<int> values;          // every value the bar took
    QStringList places;         // the place line, sampled while the area was shown
    QString textAtEnd;          // the bar's text when it reached 100
    bool everShown = false;

    AreaWatch(RunProgressArea* area, QObject* context) {
        QObject::connect(area->barProgress, &QProgressBar::valueChanged, context, [this, area](int value) {
            values << value;
            if (value == 100)
                textAtEnd = area->barProgress->text();
        });
        sampler.setInterval(20);
        QObject::connect(&sampler, &QTimer::timeout, context, [this, area] {
            if (!area->isVisible())
                return;
            everShown = true;
            if (places.value(places.size() - 1) != area->lblProgressPlace->text())
                places << area->lblProgressPlace->text();
        });
        sampler.start();
    }
    QTimer sampler;
};

struct Session {
    SimServer sim;
    std::unique_ptr<TFrmMain> window;
    std::unique_ptr<ScopedMessageBoxRecorder> boxes;

    bool open() {
        if (!sim.start(kSlowServer))
            return false;
        QDir(sim.driveC()).mkpath("Bak");
        QDir(sim.driveC()).mkpath("Copy");
        window = std::make_unique<TFrmMain>(quietSetup());
        boxes = std::make_unique<ScopedMessageBoxRecorder>(window.get());
        window->show();
        connectTo(*window, sim.port(), SimServer::login(), SimServer::password());
        return window->lblDbInfo->text() == QStringLiteral("已连接SQL SERVER服务器");
    }
    // Through the options page, as the user does; the setting is stored, so it is set every time.
    void showProgress(bool on) {
        if (window->TabSheet3->ChkShowProgress->isChecked() != on)
            window->TabSheet3->ChkShowProgress->click();
    }
    // The statements the press sent.
    QStringList press(QAbstractButton* button) {
        const int before = sim.statements().size();
        QTest::mouseClick(button, Qt::LeftButton);
        return sim.statements().mid(before);
    }
    QStringList backUp(const QStringList& names) {
        window->TabSheet1->EdtPath->setText("C:\\Bak\\");
        ListItems::tickOnly(window->TabSheet1->LsbDB, names);
        return press(window->TabSheet1->BtnBackup);
    }
    // Restores a backup of SalesDemo as SalesCopy into C:\Copy; the statements sent.
    QStringList restoreCopy() {
        window->connection()->ExecuteLong("Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\s.Bak'");
        window->PageControl1->setCurrentIndex(1);
        RestorePage* page = window->TabSheet2;
        page->EdtBakFile->setText("C:\\Bak\\s.Bak");
        page->FillBfjList("C:\\Bak\\s.Bak");
        page->CmbBfj->setCurrentIndex(0);
        page->CmbBfjChange();
        for (int r = 1; r < page->Grid->RowCount(); ++r)
            page->Grid->setCellText(1, r, QStringLiteral("C:\\Copy\\file%1.dat").arg(r));
        page->CmbDb->setEditText("SalesCopy");
        return press(page->BtnRestore);
    }
    // The RESTORE as sent without the option.
    QString plainRestore() const {
        const THtStringGrid* grid = window->TabSheet2->Grid;
        QStringList moves;
        for (int r = 1; r < grid->RowCount(); ++r)
            moves << QStringLiteral(" Move N'%1' TO N'%2'").arg(grid->CellText(0, r), grid->CellText(1, r));
        return " Restore DataBase [SalesCopy] FROM  DISK = N'C:\\Bak\\s.Bak' With File =1," + moves.join(',');
    }
};

QStringList matching(const QStringList& statements, const QString& start) {
    return statements.filter(QRegularExpression("^" + QRegularExpression::escape(start)));
}

} // namespace

class TestProgressArea : public QObject {
    Q_OBJECT
private slots:
    void backupShowsEachDatabaseToTheEnd() {
        Session s;
        QVERIFY2(s.open(), qPrintable(s.sim.errorString()));
        s.showProgress(true);
        AreaWatch watch(s.window->TabSheet1->ProgressArea, this);
        const QStringList sent = s.backUp({"SalesDemo", "库存管理"});

        const QStringList backups = matching(sent, "Backup DataBase");
        QCOMPARE(backups.size(), 2);
        for (const QString& b : backups)
            QVERIFY2(b.endsWith("' WITH STATS = 10"), qPrintable(b));
        QCOMPARE(watch.places, QStringList({"1 / 2  SalesDemo", "2 / 2  库存管理"}));
        QCOMPARE(watch.values.count(100), 2);
        QCOMPARE(watch.values.mid(watch.values.indexOf(0), 11),
                 QList<int>({0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        QVERIFY(!s.window->TabSheet1->ProgressArea->isVisible());
        // Progress never goes into the log: start, success and separator for each database.
        QCOMPARE(s.window->TabSheet1->MemoInfo->toPlainText().split('\n').size(), 6);
        QVERIFY(s.boxes->shown().isEmpty());
    }

    void restoreShowsItsProgressWithTheAmountDone() {
        Session s;
        QVERIFY2(s.open(), qPrintable(s.sim.errorString()));
        s.showProgress(true);
        AreaWatch watch(s.window->TabSheet2->ProgressArea, this);
        const QStringList sent = s.restoreCopy();

        QCOMPARE(s.boxes->shown().value(0).text, QStringLiteral("数据库还原成功!"));
        QCOMPARE(matching(sent, " Restore DataBase"), QStringList{s.plainRestore() + ", STATS = 10"});
        QCOMPARE(watch.places, QStringList{"1 / 1  SalesCopy"});
        QCOMPARE(watch.values.count(100), 1);
        // The backup's size is known before a restore, so the amount done is shown.
        QVERIFY2(watch.textAtEnd.startsWith("100%  已完成 "), qPrintable(watch.textAtEnd));
        QVERIFY(!s.window->TabSheet2->ProgressArea->isVisible());
    }

    void withTheOptionOffNothingChanges_data() {
        QTest::addColumn<bool>("restore");
        QTest::newRow("backup") << false;
        QTest::newRow("restore") << true;
    }
    void withTheOptionOffNothingChanges() {
        QFETCH(bool, restore);
        Session s;
        QVERIFY2(s.open(), qPrintable(s.sim.errorString()));
        s.showProgress(false);
        AreaWatch watch(restore ? s.window->TabSheet2->ProgressArea : s.window->TabSheet1->ProgressArea, this);
        if (restore) {
            const QStringList sent = s.restoreCopy();
            QCOMPARE(matching(sent, " Restore DataBase"), QStringList{s.plainRestore()});
        } else {
            const QStringList sent = s.backUp({"SalesDemo"});
            const QStringList backups = matching(sent, "Backup DataBase");
            QCOMPARE(backups.size(), 1);
            QVERIFY2(QRegularExpression(R"(^Backup DataBase \[SalesDemo\] To Disk=N'C:\\Bak\\SalesDemo\d{14}\.Bak'$)")
                         .match(backups.first())
                         .hasMatch(),
                     qPrintable(backups.first()));
        }
        QVERIFY(!watch.everShown);
        QVERIFY(watch.values.isEmpty());
    }
};

QTEST_MAIN(TestProgressArea)
#include "tst_progress_area.moc"
