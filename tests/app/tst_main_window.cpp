// The main window: its layout, the connection panel's states against the simulator, the
// timers, discovery into the server box and the database list.

#include "AppLook.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "SimServer.h"
#include "Startup.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "UntMain.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "WindowDriver.h"
#include "LoopbackPeers.h"
#include "ListItems.h"

#include <QtTest>

#include <memory>

using namespace WindowDriver;

using namespace ListItems;
using namespace LoopbackPeers;

namespace {

// A control of the window found by its name, the window itself as "FrmMain".
QWidget* control(TFrmMain& w, const QString& name) {
    if (name == w.objectName())
        return &w;
    const QList<QWidget*> found = w.findChildren<QWidget*>(name);
    return found.size() == 1 ? found.first() : nullptr; // a name stands for one control
}

QString caption(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    return {};
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
    }

    void init() { window = std::make_unique<TFrmMain>(quietSetup()); }
    void cleanup() { window.reset(); }

    void everyControlSitsInItsParent_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* parent, QRect r, const QString& text = {}) {
            QTest::newRow(name) << QString(name) << QString(parent) << r << text;
        };
        row("Panel1", "FrmMain", {0, 0, 439, 62});
        row("Label2", "Panel1", {1, 1, 437, 24}, "MS SQL SERVER 数据库备份恢复工具");
        row("lblCom", "Panel1", {16, 29, 120, 12}, AppLook::kMakerName);
        row("lblHttp", "Panel1", {279, 28, 138, 12}, AppLook::kWebAddressShown);
        row("lbllink", "Panel1", {16, 45, 402, 12}, AppLook::kContactLine);
        row("Panel2", "FrmMain", {0, 62, 439, 153});
        row("GroupBox1", "Panel2", {0, 0, 439, 154}, "数据库连接设置");
        row("pan1", "GroupBox1", {2, 14, 435, 109});
        row("lblServer", "pan1", {12, 6, 54, 12}, "服务器名:");
        row("CmbServer", "pan1", {73, 2, 352, 20});
        row("gb1", "pan1", {12, 24, 413, 38}, "身份验证模式");
        row("rdo0", "gb1", {25, 15, 137, 17}, "SQL SERVER身份验证");
        row("rdo1", "gb1", {273, 15, 126, 17}, "Windows 身份验证");
        row("lblUid", "pan1", {12, 68, 54, 12}, "用 户 名:");
        row("EdtUid", "pan1", {73, 64, 352, 20});
        row("lblPwd", "pan1", {12, 90, 54, 12}, "口    令:");
        row("EdtPwd", "pan1", {73, 86, 352, 20});
        row("BtnConn", "GroupBox1", {11, 124, 79, 25}, "连接(&C)");
        row("lblTalk", "GroupBox1", {367, 133, 60, 12}, AppLook::kTalkText);
        row("PageControl1", "FrmMain", {0, 215, 439, 222});
        row("Label7", "TabSheet1", {8, 4, 66, 12}, "数据库列表:");
        row("LsbDB", "TabSheet1", {8, 21, 139, 154});
        row("Label8", "TabSheet1", {152, 4, 90, 12}, "数据库备份路径:");
        row("EdtPath", "TabSheet1", {152, 21, 249, 20});
        row("BtnPath", "TabSheet1", {402, 21, 18, 19});
        row("Label9", "TabSheet1", {152, 43, 54, 12}, "提示信息:");
        row("MemoInfo", "TabSheet1", {152, 56, 265, 93});
        row("BtnBackup", "TabSheet1", {342, 153, 75, 25}, "备份(&B)");
        row("Label10", "TabSheet1", {8, 181, 414, 12},
            "备份文件的格式为:数据库名20050101123045.bak【数据库名+备份时间+.bak】");
        row("Label1", "TabSheet2", {8, 4, 78, 12}, "还原数据库名:");
        row("CmbDb", "TabSheet2", {88, 0, 333, 20});
        row("Label3", "TabSheet2", {8, 29, 78, 12}, "原备份文件名:");
        row("EdtBakFile", "TabSheet2", {88, 24, 312, 20});
        row("FlatButton1", "TabSheet2", {402, 23, 18, 19});
        row("Label5", "TabSheet2", {8, 53, 66, 12}, "恢复备份集:");
        row("CmbBfj", "TabSheet2", {88, 49, 333, 20});
        row("BtnRead", "TabSheet2", {252, 73, 169, 21}, "从媒体读取(&M)");
        row("Label4", "TabSheet2", {8, 81, 102, 12}, "将数据文件还原为:");
        row("Grid", "TabSheet2", {8, 97, 413, 73});
        row("ChkRestore", "TabSheet2", {8, 175, 177, 17}, "在现有数据库上强行还原(&F)");
        row("BtnRestore", "TabSheet2", {341, 171, 79, 24}, "还原(&H)");
        row("BtnExit", "FrmMain", {345, 443, 75, 25}, "退出(&E)");
    }
    void everyControlSitsInItsParent() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QWidget* w = control(*window, name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), control(*window, parent));
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(caption(w), text);
        QVERIFY(w->isEnabled());
    }

    // A screen reader announces each input by the caption of the label that stands for it.
    void inputsCarryTheirLabelsCaption_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("label");
        for (const auto& [input, label] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"CmbServer", "lblServer"}, {"EdtUid", "lblUid"},  {"EdtPwd", "lblPwd"},  {"LsbDB", "Label7"},
                 {"EdtPath", "Label8"},      {"MemoInfo", "Label9"}, {"CmbDb", "Label1"}, {"EdtBakFile", "Label3"},
                 {"CmbBfj", "Label5"},       {"Grid", "Label4"}})
            QTest::newRow(input) << QString(input) << QString(label);
    }
    void inputsCarryTheirLabelsCaption() {
        QFETCH(QString, input);
        QFETCH(QString, label);
        QWidget* w = control(*window, input);
        QVERIFY(w);
        QVERIFY(!caption(control(*window, label)).isEmpty());
        QCOMPARE(w->accessibleName(), caption(control(*window, label)));
    }

    void labelsWithTheirOwnFontsAndColours_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<QColor>("colour");
        const QColor darkGreen(0x00, 0x4D, 0x00); // 0x004D00
        QTest::newRow("Label2") << "Label2" << 24 << true << false << darkGreen;
        QTest::newRow("lblCom") << "lblCom" << 12 << false << false << darkGreen;
        QTest::newRow("lblHttp") << "lblHttp" << 12 << false << false << darkGreen;
        QTest::newRow("lbllink") << "lbllink" << 12 << false << false << darkGreen;
        QTest::newRow("lblDbInfo") << "lblDbInfo" << 20 << true << false << QColor(0xFF, 0, 0);
        QTest::newRow("lblTalk") << "lblTalk" << 12 << false << true << QColor(0, 0, 0x80);
    }
    void labelsWithTheirOwnFontsAndColours() {
        QFETCH(QString, name);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(bool, underline);
        QFETCH(QColor, colour);
        QWidget* w = control(*window, name);
        QVERIFY(w);
        QCOMPARE(w->font().pixelSize(), pixelSize);
        QCOMPARE(w->font().bold(), bold);
        QCOMPARE(w->font().underline(), underline);
        QCOMPARE(w->palette().color(QPalette::WindowText), colour);
    }

    void headerBandIsWhiteAndTheRestButtonFace() {
        QCOMPARE(window->Panel1->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(window->Panel1->autoFillBackground());
        QCOMPARE(window->palette().color(QPalette::Window), window->palette().color(QPalette::Button));
        QCOMPARE(window->font().pixelSize(), 12);
        QCOMPARE(window->lblServer->font().pixelSize(), 12);
    }

    void focusMovesInTheTablesOrder() {
        // The focus chain, reduced to the controls that take focus by Tab.
        const QList<QWidget*> expected{window->CmbServer, window->rdo0,     window->rdo1,
                                       window->EdtUid,    window->EdtPwd,   window->BtnConn,
                                       window->PageControl1, window->TabSheet1->LsbDB, window->TabSheet1->EdtPath,
                                       window->TabSheet1->MemoInfo,  window->TabSheet1->BtnBackup, static_cast<QWidget*>(window->TabSheet1->BtnPath),
                                       window->TabSheet2->CmbDb,     window->TabSheet2->EdtBakFile,
                                       static_cast<QWidget*>(window->TabSheet2->FlatButton1), window->TabSheet2->CmbBfj,
                                       window->TabSheet2->BtnRead,   static_cast<QWidget*>(window->TabSheet2->Grid),
                                       window->TabSheet2->ChkRestore, window->TabSheet2->BtnRestore, window->BtnExit};
        QList<QWidget*> chain;
        QWidget* w = window->CmbServer;
        do {
            if (expected.contains(w) && !chain.contains(w))
                chain.append(w);
            w = w->nextInFocusChain();
        } while (w != window->CmbServer && chain.size() < expected.size());
        QCOMPARE(chain, expected);
    }

    void windowIsFixedAndStartsOnTheBackupPage() {
        QCOMPARE(window->size(), QSize(439, 475));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QCOMPARE(window->windowTitle(), QStringLiteral("SQL SERVER 数据库备份恢复工具"));
        QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QCOMPARE(window->PageControl1->tabText(0), QStringLiteral("数据库备份"));
        QCOMPARE(window->PageControl1->tabText(1), QStringLiteral("数据库恢复"));
        QVERIFY(window->EdtPwd->echoMode() == QLineEdit::Password);
        // Each character of the password shows as "*", whatever the style's own mask is.
        window->EdtPwd->setText(QStringLiteral("pa55"));
        QCOMPARE(window->EdtPwd->displayText(), QStringLiteral("****"));
        window->EdtPwd->clear();
        QVERIFY(window->rdo0->isChecked());
        QVERIFY(window->TabSheet2->CmbDb->isEditable());
        QVERIFY(!window->TabSheet2->CmbBfj->isEditable());
        QVERIFY(window->TabSheet1->EdtPath->isReadOnly() && window->TabSheet2->EdtBakFile->isReadOnly() && window->TabSheet1->MemoInfo->isReadOnly());
        QCOMPARE(window->lblDbInfo->font().pixelSize(), 20);
        QVERIFY(window->lblDbInfo->font().bold());
        QCOMPARE(window->Label2->font().pixelSize(), 24);
        QCOMPARE(window->Label2->palette().color(QPalette::WindowText), QColor(0, 0x4D, 0));
    }

    void sqlLoginConnectsAndFillsBothLists() {
        connectAs(SimServer::login(), SimServer::password());
        QCOMPARE(window->BtnConn->text(), QStringLiteral("断开(&D)"));
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        // The status label keeps its place and height; its width follows the text.
        QCOMPARE(window->lblDbInfo->pos(), QPoint(96, 126));
        QCOMPARE(window->lblDbInfo->height(), 20);
        QVERIFY(window->lblDbInfo->width() >=
                window->lblDbInfo->fontMetrics().horizontalAdvance(window->lblDbInfo->text()));
        for (QWidget* w : {static_cast<QWidget*>(window->pan1), static_cast<QWidget*>(window->CmbServer),
                           static_cast<QWidget*>(window->rdo0), static_cast<QWidget*>(window->EdtUid),
                           static_cast<QWidget*>(window->EdtPwd)})
            QVERIFY(!w->isEnabled());
        QVERIFY(window->BtnConn->isEnabled());
        const QStringList names = texts(window->TabSheet1->LsbDB);
        QCOMPARE(names.mid(0, 3), (QStringList{"master", "model", "msdb"}));
        QVERIFY(!names.contains("tempdb"));
        QCOMPARE(texts(window->TabSheet2->CmbDb), names);
        // A refill keeps the typed target name.
        window->TabSheet2->CmbDb->setEditText("typed");
        window->FillDbList();
        QCOMPARE(window->TabSheet2->CmbDb->currentText(), QStringLiteral("typed"));
        QCOMPARE(texts(window->TabSheet2->CmbDb), names);
        QCOMPARE(window->TabSheet1->LsbDB->item(0)->checkState(), Qt::Unchecked);

        // A typed target that differs from a listed name only in letter case is another database
        // on a case-sensitive server: finishing the edit must not turn it into the listed one.
        window->TabSheet2->CmbDb->lineEdit()->clear();
        QTest::keyClicks(window->TabSheet2->CmbDb->lineEdit(), "MSDB");
        QTest::keyClick(window->TabSheet2->CmbDb->lineEdit(), Qt::Key_Return);
        QCOMPARE(window->TabSheet2->CmbDb->currentText(), QStringLiteral("MSDB"));

        // Disconnect: lists emptied, the typed target name stays.
        window->TabSheet2->CmbDb->setEditText("NewDb");
        window->BtnConn->click();
        QCOMPARE(window->BtnConn->text(), QStringLiteral("连接(&C)"));
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("已断开SQL SERVER服务器连接"));
        QCOMPARE(window->TabSheet1->LsbDB->count(), 0);
        QCOMPARE(window->TabSheet2->CmbDb->count(), 0);
        QCOMPARE(window->TabSheet2->CmbDb->currentText(), QStringLiteral("NewDb"));
        QVERIFY(window->EdtUid->isEnabled());
        QVERIFY(!window->connection()->Connected());
    }

    void wrongPasswordFailsQuietlyAndKeepsTheInputs() {
        ScopedMessageBoxRecorder boxes(window.get());
        connectAs(SimServer::login(), "wrong");
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QCOMPARE(window->BtnConn->text(), QStringLiteral("连接(&C)"));
        QVERIFY(window->EdtUid->isEnabled() && window->EdtPwd->isEnabled());
        QCOMPARE(window->EdtPwd->text(), QStringLiteral("wrong"));
        QVERIFY(boxes.shown().isEmpty());
    }

    void noServerFailsQuietly() {
        ScopedMessageBoxRecorder boxes(window.get());
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(freeTcpPort()));
        window->EdtUid->setText("sa");
        window->BtnConn->click();
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(boxes.shown().isEmpty());
    }

    void integratedModeIgnoresUserAndPasswordAndKeepsThemDisabled() {
        ScopedMessageBoxRecorder boxes(window.get());
        window->rdo1->click();
        QVERIFY(!window->EdtUid->isEnabled() && !window->EdtPwd->isEnabled() && !window->lblUid->isEnabled());
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window->EdtUid->setText("sa");
        window->EdtPwd->setText(SimServer::password());
        window->BtnConn->click();
        // No Kerberos ticket here, and the simulator refuses integrated logins.
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(window->CmbServer->isEnabled() && window->rdo0->isEnabled());
        QVERIFY(!window->EdtUid->isEnabled() && !window->EdtPwd->isEnabled());
        QCOMPARE(window->EdtUid->text(), QStringLiteral("sa"));
        QVERIFY(boxes.shown().isEmpty());
        window->rdo0->click();
        QVERIFY(window->EdtUid->isEnabled());
    }

    void exitWhileConnectedClosesWithoutAsking() {
        ScopedMessageBoxRecorder boxes(window.get());
        connectAs(SimServer::login(), SimServer::password());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->BtnExit->click();
        QVERIFY(!window->isVisible());
        QVERIFY(boxes.shown().isEmpty());
        window.reset(); // the connection is closed and freed on the way out
    }

    void closingIsRefusedWhileABackupRuns() {
        SimServer slow;
        QVERIFY2(slow.start({"--seed", "--delay-per-mb", "300"}), qPrintable(slow.errorString()));
        ScopedMessageBoxRecorder boxes(window.get());
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(slow.port()));
        window->EdtUid->setText(SimServer::login());
        window->EdtPwd->setText(SimServer::password());
        window->BtnConn->click();
        QVERIFY(window->connection()->Connected());
        const QList<QListWidgetItem*> found = window->TabSheet1->LsbDB->findItems("SalesDemo", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found.first()->setCheckState(Qt::Checked);
        window->TabSheet1->EdtPath->setText("C:\\");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        // The window is asked to close (as its close box would) while the BACKUP runs.
        int refused = 0;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (!window->connection()->busy())
                return;
            window->close();
            if (window->isVisible())
                ++refused;
        });
        closer.start(100);
        window->TabSheet1->BtnBackup->click();
        closer.stop();
        QVERIFY(refused > 0);
        QVERIFY(window->isVisible());
        QVERIFY(window->TabSheet1->MemoInfo->toPlainText().contains("SalesDemo"));
        // Once it has ended, closing works again.
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
    }

    void failingDatabaseListKeepsTheConnectionAndShowsTheError() {
        SimServer failing;
        QVERIFY2(failing.start({"--fail", "Sysdatabases=229"}), qPrintable(failing.errorString()));
        ScopedMessageBoxRecorder boxes(window.get());
        window->TabSheet1->LsbDB->addItem("stale");
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(failing.port()));
        window->EdtUid->setText(SimServer::login());
        window->EdtPwd->setText(SimServer::password());
        window->BtnConn->click();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Critical);
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QVERIFY(window->connection()->Connected());
        QCOMPARE(texts(window->TabSheet1->LsbDB), QStringList{"stale"}); // emptied only once the query is open
    }

    void linkLabelAlternatesEveryTick() {
        QCOMPARE(window->lbllinkColor(), AppLook::kDarkGreen);
        QCOMPARE(window->timer1->interval(), 10000);
        QVERIFY(window->timer1->isActive());
        window->timer1Timer();
        QCOMPARE(window->lbllinkColor(), AppLook::kRed);
        QCOMPARE(window->lbllink->text(), AppLook::kDownloadNotice);
        window->timer1Timer();
        QCOMPARE(window->lbllinkColor(), AppLook::kDarkGreen);
        QCOMPARE(window->lbllink->text(), AppLook::kContactLine);

        QCOMPARE(window->tmrQQ->interval(), 2000);
        QCOMPARE(window->lblTalkColor(), AppLook::kNavy);
        window->tmrQQTimer();
        QCOMPARE(window->lblTalkColor(), AppLook::kRed);
        window->tmrQQTimer();
        QCOMPARE(window->lblTalkColor(), AppLook::kNavy);
    }

    void discoveryFillsTheServerBoxInOrder() {
        const quint16 udp = freeUdpPort();
        SimServer announced;
        QVERIFY2(announced.start({"--browser-port", QString::number(udp), "--instance", "DEMO"}),
                 qPrintable(announced.errorString()));
        DiscoveryTargets t;
        t.browserPort = udp;
        t.defaultInstancePort = freeTcpPort();
                TFrmMain discovered(setupWith(t));
        QCOMPARE(texts(discovered.CmbServer), QStringList{"127.0.0.1\\DEMO"});
        QCOMPARE(discovered.CmbServer->currentText(), QStringLiteral("127.0.0.1\\DEMO"));
        // Connecting by that name needs the Browser on its standard port 1434, which the driver
        // asks; the demo runs it there, a test cannot rely on having it.
    }

    // A link opens on a click: press and release on the label. A press dragged off the label
    // and released elsewhere opens nothing.
    void linkLabelOpensOnlyOnAClickOnIt_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QPoint>("releaseAt"); // relative to the label
        QTest::addColumn<QString>("opened");
        QTest::newRow("click on lblCom") << "lblCom" << QPoint(5, 5) << AppLook::kHomePage;
        QTest::newRow("click on lblHttp") << "lblHttp" << QPoint(5, 5) << AppLook::kWebAddress;
        QTest::newRow("click on lblTalk") << "lblTalk" << QPoint(5, 5) << AppLook::kTalkAddress;
        QTest::newRow("dragged off to the right") << "lblCom" << QPoint(200, 5) << "";
        QTest::newRow("dragged off below") << "lblTalk" << QPoint(5, 40) << "";
    }
    void linkLabelOpensOnlyOnAClickOnIt() {
        QFETCH(QString, label);
        QFETCH(QPoint, releaseAt);
        QFETCH(QString, opened);
        QStringList addresses;
        MainWindowSetup setup = quietSetup();
        setup.openAddress = [&](const QUrl& url) { addresses << url.toString(); };
        TFrmMain linked(setup);
        linked.show();
        QVERIFY(QTest::qWaitForWindowExposed(&linked));
        QWidget* w = control(linked, label);
        QVERIFY(w);
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(w, releaseAt);
        QTest::mouseRelease(w, Qt::LeftButton, {}, releaseAt);
        QCOMPARE(addresses, opened.isEmpty() ? QStringList() : QStringList{opened});
        // A release without a press on the label opens nothing either.
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(addresses.size(), opened.isEmpty() ? 0 : 1);
    }

    // When the connection object cannot be created at start-up the error is shown, discovery
    // is skipped, and every handler that needs the connection ends with a message instead of
    // using an object that does not exist.
    void failedConnectionCreationLeavesHandlersSafe() {
        QWidget host; // records the boxes from before the window exists
        ScopedMessageBoxRecorder boxes(&host);
        MainWindowSetup setup = quietSetup();
        setup.makeConnection = []() -> std::unique_ptr<TADOConnection> {
            throw std::runtime_error("Could not allocate the ODBC environment");
        };
        TFrmMain broken(setup, &host);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown()[0].text, QStringLiteral("Could not allocate the ODBC environment."));
        QVERIFY(!broken.connection());
        broken.createPickers();

        boxes.clear();
        broken.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        broken.EdtUid->setText(SimServer::login());
        broken.EdtPwd->setText(SimServer::password());
        broken.BtnConn->click();
        QCOMPARE(broken.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(boxes.shown().isEmpty());

        broken.TabSheet1->LsbDB->addItem("x");
        broken.TabSheet1->EdtPath->setText("C:\\");
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
                 broken.TabSheet1->BtnBackup, broken.TabSheet2->BtnRestore, broken.TabSheet2->BtnRead})
            b->click();
        QTest::mouseClick(broken.TabSheet1->BtnPath, Qt::LeftButton);
        QTest::mouseClick(broken.TabSheet2->FlatButton1, Qt::LeftButton);
        // Reading the set's files is silent without a connection, as when it is closed.
        QCOMPARE(boxes.shown().size(), 4);
        for (const MessageBox::Shown& box : boxes.shown())
            QCOMPARE(box.text, QStringLiteral("The server connection could not be created."));
        QVERIFY(!broken.FrmSelPath->isVisible() && !broken.FrmSelFile->isVisible());
        QVERIFY(broken.close()); // nothing is busy
    }

    void nothingDiscoveredLeavesAnEmptyEditableBox() {
        QCOMPARE(window->CmbServer->count(), 0);
        QVERIFY(window->CmbServer->currentText().isEmpty());
        QVERIFY(window->CmbServer->isEditable());
    }

private:
    void connectAs(const QString& user, const QString& password) {
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window->EdtUid->setText(user);
        window->EdtPwd->setText(password);
        window->BtnConn->click();
    }

    SimServer sim;
    std::unique_ptr<TFrmMain> window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
