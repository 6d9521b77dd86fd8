// Faults end to end: the simulator killed during a backup, a restore, a directory listing and
// while the program sits connected; the link stalled during a query and during a backup. Each
// time the driver's error reaches the default error display, the window stays usable, a
// disconnect and reconnect works once the server is back, and the server's catalog and data
// files are as they were.

#include "HtGrids.h"
#include "MessageBox.h"
#include "SimServer.h"
#include "StallingProxy.h"
#include "StatementTrigger.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "UntMain.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "WindowDriver.h"
#include "ListItems.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <atomic>

namespace {

const QString kConnected = QStringLiteral("已连接SQL SERVER服务器");

using WindowDriver::answerPicker;

// What must survive a fault on the server's side: its catalog of databases, and the bytes of
// every file on drive C: outside the folders the test writes backups and restores to.
struct ServerSnapshot {
    QJsonArray databases;
    QMap<QString, QByteArray> fileHashes;

    static ServerSnapshot of(const SimServer& sim) {
        ServerSnapshot s;
        QFile catalog(sim.stateDir() + "/state/catalog.json");
        if (catalog.open(QIODevice::ReadOnly))
            s.databases = QJsonDocument::fromJson(catalog.readAll()).object().value("databases").toArray();
        QDirIterator it(sim.driveC(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(sim.driveC()).relativeFilePath(path);
            if (relative.startsWith("Bak/") || relative.startsWith("Copy/"))
                continue;
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                s.fileHashes.insert(relative, QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
        }
        return s;
    }
};


QStringList criticalTexts(const ScopedMessageBoxRecorder& boxes) {
    QStringList texts;
    for (const MessageBox::Shown& box : boxes.shown())
        if (box.icon == QMessageBox::Critical)
            texts << box.text;
    return texts;
}

// The one error the fault brought to the default error display: the driver's own text for a
// lost link. FreeTDS 1.3 words it by where it noticed: a read cut off ("Unexpected EOF from the
// server"), a later call on the dead link ("Communication link failure"), a request written to a
// socket the server had already closed (HY000 "Unknown error").
bool showsTheDriversLinkError(const ScopedMessageBoxRecorder& boxes) {
    static const QRegularExpression driverText(
        QStringLiteral("^(Unexpected EOF from the server|Communication link failure|Read from the server failed|"
                       "Write to the server failed|Unknown error)\\.$"));
    const QStringList texts = criticalTexts(boxes);
    qInfo() << "error display:" << texts;
    return texts.size() == 1 && driverText.match(texts.first()).hasMatch();
}

// The main window of one test, its pickers created, connected to a server address.
class Session {
public:
    Session() {
        window.createPickers();
        window.show();
    }

    // Connects (disconnecting first when the panel says connected); true when the panel then
    // says connected.
    bool connectTo(quint16 port) {
        if (window.BtnConn->text() != QStringLiteral("连接(&C)"))
            window.BtnConn->click();
        WindowDriver::connectTo(window, port, SimServer::login(), SimServer::password());
        return window.lblDbInfo->text() == kConnected;
    }

    void tick(const QStringList& names) { ListItems::tickOnly(window.TabSheet1->LsbDB, names); }

    QStringList memoLines() const { return window.TabSheet1->MemoInfo->toPlainText().split('\n'); }

    TFrmMain window{WindowDriver::quietSetup()};
    ScopedMessageBoxRecorder boxes{&window};
};

QString backupOf(const SimServer& sim, const QString& database) {
    return QDir(sim.driveC() + "/Bak").entryList({database + "*.Bak"}, QDir::Files).value(0);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void killedDuringBackup() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed", "--delay-per-mb", "1000"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        Session s;
        QVERIFY(s.connectTo(sim.port()));
        const QStringList before = ListItems::texts(s.window.TabSheet1->LsbDB);
        const ServerSnapshot server = ServerSnapshot::of(sim);

        s.window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        s.tick({"SalesDemo", "库存管理"});
        {
            StatementTrigger crash(sim, "Backup DataBase [SalesDemo]", StatementTrigger::killProcess(sim.processId()));
            QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
            QVERIFY(crash.fired());
        }
        sim.kill();

        // The first database's line says it failed; asking the server's clock for the second
        // brings the driver's error to the display and ends the run.
        const QStringList lines = s.memoLines();
        QCOMPARE(lines.value(1), QStringLiteral("数据库【SalesDemo】备份失败!"));
        QCOMPARE(lines.size(), 4); // start, failure, the driver's reason, separator
        QVERIFY(showsTheDriversLinkError(s.boxes));
        QVERIFY(!s.window.connection()->busy());
        QVERIFY(!QGuiApplication::overrideCursor()); // the busy pointer is gone
        QVERIFY(backupOf(sim, "SalesDemo").isEmpty());

        QVERIFY(sim.restart({"--seed"}));
        QVERIFY(s.connectTo(sim.port()));
        QCOMPARE(ListItems::texts(s.window.TabSheet1->LsbDB), before);
        const ServerSnapshot after = ServerSnapshot::of(sim);
        QCOMPARE(after.databases, server.databases);
        QCOMPARE(after.fileHashes, server.fileHashes);

        // And the program still backs up.
        s.boxes.clear();
        s.tick({"SalesDemo"});
        QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
        QCOMPARE(s.memoLines().value(1), QStringLiteral("数据库【SalesDemo】备份成功!"));
        QVERIFY(!backupOf(sim, "SalesDemo").isEmpty());
        QVERIFY(s.boxes.shown().isEmpty());
    }

    void killedDuringRestore_data() {
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("replace");
        QTest::newRow("under a new name") << "SalesCopy" << false;
        QTest::newRow("over the backed-up database") << "SalesDemo" << true;
    }

    void killedDuringRestore() {
        QFETCH(QString, database);
        QFETCH(bool, replace);
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        QDir(sim.driveC()).mkpath("Copy");
        Session s;
        QVERIFY(s.connectTo(sim.port()));
        s.window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        s.tick({"SalesDemo"});
        QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
        const QString file = backupOf(sim, "SalesDemo");
        QVERIFY(!file.isEmpty());

        // The same server, now slow enough to be caught in the middle of the restore.
        QVERIFY(sim.restart({"--seed", "--delay-per-mb", "1000"}));
        QVERIFY(s.connectTo(sim.port()));
        const QStringList before = ListItems::texts(s.window.TabSheet1->LsbDB);
        const ServerSnapshot server = ServerSnapshot::of(sim);

        s.window.PageControl1->setCurrentIndex(1);
        answerPicker(s.window.FrmSelFile, {"C:\\", "Bak", file});
        QTest::mouseClick(s.window.TabSheet2->FlatButton1, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(s.window.TabSheet2->CmbBfj->count(), 1);
        s.window.TabSheet2->CmbBfj->setCurrentIndex(0);
        s.window.TabSheet2->CmbBfjChange();
        QVERIFY(s.window.TabSheet2->Grid->RowCount() >= 3);
        if (!replace) {
            for (int r = 1; r < s.window.TabSheet2->Grid->RowCount(); ++r)
                s.window.TabSheet2->Grid->setCellText(1, r, QStringLiteral("C:\\Copy\\file%1.dat").arg(r));
        } else {
            for (int r = 1; r < s.window.TabSheet2->Grid->RowCount(); ++r)
                s.boxes.queueAnswer(QMessageBox::Yes); // each target exists: overwrite it
        }
        s.window.TabSheet2->ChkRestore->setChecked(replace);
        s.window.TabSheet2->CmbDb->setEditText(database);
        s.boxes.clear();
        {
            // A second in, the first file is written aside and the server is pacing itself.
            StatementTrigger crash(sim, "RESTORE DATABASE", StatementTrigger::killProcess(sim.processId(), 1000));
            QTest::mouseClick(s.window.TabSheet2->BtnRestore, Qt::LeftButton);
            QVERIFY(crash.fired());
        }
        sim.kill();

        QVERIFY(showsTheDriversLinkError(s.boxes));
        for (const MessageBox::Shown& box : s.boxes.shown())
            QVERIFY(box.text != QStringLiteral("数据库还原成功!"));
        QVERIFY(!s.window.connection()->busy());
        QVERIFY(!QGuiApplication::overrideCursor());

        QVERIFY(sim.restart({"--seed"}));
        QVERIFY(s.connectTo(sim.port()));
        QCOMPARE(ListItems::texts(s.window.TabSheet1->LsbDB), before);
        const ServerSnapshot after = ServerSnapshot::of(sim);
        QCOMPARE(after.databases, server.databases);
        QCOMPARE(after.fileHashes, server.fileHashes);
        QCOMPARE(QDir(sim.driveC() + "/Copy").entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(sim.stateDir() + "/state/restores").entryList(QDir::Files), QStringList());
    }

    void killedDuringListing_data() {
        QTest::addColumn<bool>("filePicker");
        QTest::newRow("directory picker") << false;
        QTest::newRow("file picker") << true;
    }

    void killedDuringListing() {
        QFETCH(bool, filePicker);
        SimServer sim;
        QVERIFY2(sim.start({"--seed", "--delay", "xp_dirtree=3000"}), qPrintable(sim.errorString()));
        Session s;
        QVERIFY(s.connectTo(sim.port()));
        const QStringList before = ListItems::texts(s.window.TabSheet1->LsbDB);
        const ServerSnapshot server = ServerSnapshot::of(sim);
        ServerTreeDialog* picker =
            filePicker ? static_cast<ServerTreeDialog*>(s.window.FrmSelFile) : s.window.FrmSelPath;
        TFlatButton* button = filePicker ? s.window.TabSheet2->FlatButton1 : s.window.TabSheet1->BtnPath;

        {
            // Selecting the drive lists it: the listing blocks the GUI thread, so the trigger
            // strikes from its own.
            StatementTrigger crash(sim, "xp_dirtree", StatementTrigger::killProcess(sim.processId()));
            answerPicker(picker, {"C:\\"});
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(9, 9));
            QVERIFY(crash.fired());
        }
        sim.kill();
        QVERIFY(showsTheDriversLinkError(s.boxes));
        QVERIFY(!picker->isVisible());

        QVERIFY(sim.restart({"--seed"}));
        QVERIFY(s.connectTo(sim.port()));
        QCOMPARE(ListItems::texts(s.window.TabSheet1->LsbDB), before);
        QCOMPARE(ServerSnapshot::of(sim).databases, server.databases);
        // The picker lists again.
        s.boxes.clear();
        QDir(sim.driveC()).mkpath("Bak");
        answerPicker(picker, {"C:\\", "Bak"});
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(9, 9));
        QVERIFY(s.boxes.shown().isEmpty());
        if (!filePicker)
            QCOMPARE(s.window.TabSheet1->EdtPath->text(), QStringLiteral("C:\\Bak\\"));
    }

    void killedWhileConnected_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("backup") << 0;
        QTest::newRow("directory picker") << 1;
        QTest::newRow("file picker") << 2;
    }

    void killedWhileConnected() {
        QFETCH(int, action);
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        Session s;
        QVERIFY(s.connectTo(sim.port()));
        const QStringList before = ListItems::texts(s.window.TabSheet1->LsbDB);
        sim.kill();

        switch (action) {
        case 0:
            s.window.TabSheet1->EdtPath->setText("C:\\");
            s.tick({"SalesDemo"});
            QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
            QCOMPARE(s.memoLines().size(), 1); // the server's clock failed before the first line
            break;
        case 1:
            answerPicker(s.window.FrmSelPath, {});
            QTest::mouseClick(s.window.TabSheet1->BtnPath, Qt::LeftButton, {}, QPoint(9, 9));
            break;
        default:
            s.window.PageControl1->setCurrentIndex(1);
            answerPicker(s.window.FrmSelFile, {});
            QTest::mouseClick(s.window.TabSheet2->FlatButton1, Qt::LeftButton, {}, QPoint(9, 9));
            break;
        }
        QVERIFY(showsTheDriversLinkError(s.boxes));
        // The panel keeps what the user last did until the user disconnects.
        QCOMPARE(s.window.lblDbInfo->text(), kConnected);

        QVERIFY(sim.restart());
        QVERIFY(s.connectTo(sim.port()));
        QCOMPARE(ListItems::texts(s.window.TabSheet1->LsbDB), before);
    }

    // A link that stops carrying anything during an ordinary query: the statement time-out
    // ends it with the driver's time-out error and the window is usable at once.
    void stalledQueryEndsInTheTimeout() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        StallingProxy link(sim.port());
        QVERIFY(link.isListening());
        Session s;
        QVERIFY(s.connectTo(link.port()));
        s.window.connection()->setCommandTimeoutForTesting(2);

        link.stall();
        QElapsedTimer elapsed;
        elapsed.start();
        answerPicker(s.window.FrmSelPath, {});
        QTest::mouseClick(s.window.TabSheet1->BtnPath, Qt::LeftButton, {}, QPoint(9, 9));
        const qint64 waited = elapsed.elapsed();
        qInfo() << "stalled query ended after" << waited << "ms with" << criticalTexts(s.boxes);
        QCOMPARE(criticalTexts(s.boxes), QStringList{QStringLiteral("Timeout expired.")});
        QVERIFY(waited >= 2000);

        link.resume();
        s.boxes.clear();
        QVERIFY(s.connectTo(link.port()));
        QVERIFY(s.window.TabSheet1->LsbDB->count() > 0);
    }

    // Disconnecting while the link carries nothing must not wait on the server: nothing needs
    // its answer to close a connection.
    void disconnectOverAStalledLink() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        StallingProxy link(sim.port());
        Session s;
        QVERIFY(s.connectTo(link.port()));
        link.stall();
        QElapsedTimer elapsed;
        elapsed.start();
        s.window.BtnConn->click();
        qInfo() << "disconnect over a stalled link took" << elapsed.elapsed() << "ms";
        QCOMPARE(s.window.lblDbInfo->text(), QStringLiteral("已断开SQL SERVER服务器连接"));
        QVERIFY(!s.window.connection()->Connected());
        QCOMPARE(s.window.TabSheet1->LsbDB->count(), 0);
        link.resume();
        QVERIFY(s.connectTo(link.port()));
        QVERIFY(s.boxes.shown().isEmpty());
    }

    // A stalled BACKUP cannot be told from a long silent one, so it has no time-out: the window
    // keeps painting and refuses to close, and the run ends with the failure line once the link
    // breaks (here the relay resets it; on a real network the driver's TCP keep-alive does).
    void stalledBackupWaitsUntilTheLinkBreaks() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed", "--delay-per-mb", "500"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Bak");
        StallingProxy link(sim.port());
        Session s;
        QVERIFY(s.connectTo(link.port()));
        s.window.TabSheet1->EdtPath->setText("C:\\Bak\\");
        s.tick({"SalesDemo", "库存管理"});

        bool busyWhileStalled = false;
        bool closeRefused = false;
        std::atomic<qint64> relayedAtStall{-1};
        qint64 relayedAtCut = -2;
        {
            StatementTrigger stall(sim, "Backup DataBase [SalesDemo]", [&] {
                link.stall();
                relayedAtStall = link.bytesRelayed();
            });
            // Checked and then broken from the GUI thread's own loop, which keeps running.
            QTimer::singleShot(4000, &s.window, [&] {
                busyWhileStalled = s.window.connection()->busy();
                closeRefused = !s.window.close();
                relayedAtCut = link.bytesRelayed();
                link.cut();
                link.resume();
            });
            QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
            QVERIFY(stall.fired());
        }
        QVERIFY(busyWhileStalled);
        QVERIFY(closeRefused);
        QVERIFY(!s.window.connection()->busy());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(s.window.isVisible());
        QCOMPARE(s.memoLines().value(1), QStringLiteral("数据库【SalesDemo】备份失败!"));
        QVERIFY(showsTheDriversLinkError(s.boxes));

        QCOMPARE(relayedAtCut, relayedAtStall.load()); // nothing got through meanwhile
        s.boxes.clear();
        QVERIFY(s.connectTo(link.port()));
        s.tick({"SalesDemo"});
        QTest::mouseClick(s.window.TabSheet1->BtnBackup, Qt::LeftButton);
        QCOMPARE(s.memoLines().value(1), QStringLiteral("数据库【SalesDemo】备份成功!"));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
