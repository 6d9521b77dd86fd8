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
#include "WindowDriver.h"
#include "LoopbackPeers.h"
#include "ListItems.h"

#include <QtTest>

#include <memory>

using namespace WindowDriver;

using namespace ListItems;
using namespace LoopbackPeers;

namespace {

// Every control of the window by its name, the window itself as "FrmMain".
QHash<QString, QWidget*> controls(TFrmMain& w) {
    return {{"FrmMain", &w},           {"Panel1", w.Panel1},         {"Label2", w.Label2},
            {"lblCom", w.lblCom},       {"lblHttp", w.lblHttp},       {"lbllink", w.lbllink},
            {"Panel2", w.Panel2},       {"GroupBox1", w.GroupBox1},   {"pan1", w.pan1},
            {"lblServer", w.lblServer}, {"CmbServer", w.CmbServer},   {"gb1", w.gb1},
            {"rdo0", w.rdo0},           {"rdo1", w.rdo1},             {"lblUid", w.lblUid},
            {"EdtUid", w.EdtUid},       {"lblPwd", w.lblPwd},         {"EdtPwd", w.EdtPwd},
            {"BtnConn", w.BtnConn},     {"lblDbInfo", w.lblDbInfo},   {"lblTalk", w.lblTalk},
            {"PageControl1", w.PageControl1}, {"TabSheet1", w.TabSheet1}, {"Label7", w.Label7},
            {"LsbDB", w.LsbDB},         {"Label8", w.Label8},         {"EdtPath", w.EdtPath},
            {"BtnPath", static_cast<QWidget*>(w.BtnPath)},       {"Label9", w.Label9},
            {"MemoInfo", w.MemoInfo},   {"BtnBackup", w.BtnBackup},   {"Label10", w.Label10},
            {"TabSheet2", w.TabSheet2}, {"Label1", w.Label1},         {"CmbDb", w.CmbDb},
            {"Label3", w.Label3},       {"EdtBakFile", w.EdtBakFile},
            {"FlatButton1", static_cast<QWidget*>(w.FlatButton1)}, {"Label5", w.Label5},
            {"CmbBfj", w.CmbBfj},       {"BtnRead", w.BtnRead},       {"Label4", w.Label4},
            {"Grid", static_cast<QWidget*>(w.Grid)},             {"ChkRestore", w.ChkRestore},
            {"BtnRestore", w.BtnRestore}, {"BtnExit", w.BtnExit}};
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        quietDiscovery();
    }

    void init() { window = std::make_unique<TFrmMain>(); }
    void cleanup() { window.reset(); }

    void layoutFollowsTheTables_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Panel1") << "Panel1" << QRect(0, 0, 439, 62) << "";
        QTest::newRow("Label2") << "Label2" << QRect(1, 1, 437, 24) << "MS SQL SERVER 数据库备份恢复工具";
        QTest::newRow("lblServer") << "lblServer" << QRect(12, 6, 54, 12) << "服务器名:";
        QTest::newRow("CmbServer") << "CmbServer" << QRect(73, 2, 352, 20) << "";
        QTest::newRow("gb1") << "gb1" << QRect(12, 24, 413, 38) << "身份验证模式";
        QTest::newRow("rdo0") << "rdo0" << QRect(25, 15, 137, 17) << "SQL SERVER身份验证";
        QTest::newRow("rdo1") << "rdo1" << QRect(273, 15, 126, 17) << "Windows 身份验证";
        QTest::newRow("lblUid") << "lblUid" << QRect(12, 68, 54, 12) << "用 户 名:";
        QTest::newRow("lblPwd") << "lblPwd" << QRect(12, 90, 54, 12) << "口    令:";
        QTest::newRow("EdtUid") << "EdtUid" << QRect(73, 64, 352, 20) << "";
        QTest::newRow("EdtPwd") << "EdtPwd" << QRect(73, 86, 352, 20) << "";
        QTest::newRow("BtnConn") << "BtnConn" << QRect(11, 124, 79, 25) << "连接(&C)";
        QTest::newRow("lblTalk") << "lblTalk" << QRect(367, 133, 60, 12) << AppLook::kTalkText;
        QTest::newRow("PageControl1") << "PageControl1" << QRect(0, 215, 439, 222) << "";
        QTest::newRow("LsbDB") << "LsbDB" << QRect(8, 21, 139, 154) << "";
        QTest::newRow("EdtPath") << "EdtPath" << QRect(152, 21, 249, 20) << "";
        QTest::newRow("MemoInfo") << "MemoInfo" << QRect(152, 56, 265, 93) << "";
        QTest::newRow("BtnBackup") << "BtnBackup" << QRect(342, 153, 75, 25) << "备份(&B)";
        QTest::newRow("Label10") << "Label10" << QRect(8, 181, 414, 12)
                                 << "备份文件的格式为:数据库名20050101123045.bak【数据库名+备份时间+.bak】";
        QTest::newRow("CmbDb") << "CmbDb" << QRect(88, 0, 333, 20) << "";
        QTest::newRow("EdtBakFile") << "EdtBakFile" << QRect(88, 24, 312, 20) << "";
        QTest::newRow("CmbBfj") << "CmbBfj" << QRect(88, 49, 333, 20) << "";
        QTest::newRow("BtnRead") << "BtnRead" << QRect(252, 73, 169, 21) << "从媒体读取(&M)";
        QTest::newRow("ChkRestore") << "ChkRestore" << QRect(8, 175, 177, 17) << "在现有数据库上强行还原(&F)";
        QTest::newRow("BtnRestore") << "BtnRestore" << QRect(341, 171, 79, 24) << "还原(&H)";
        QTest::newRow("BtnExit") << "BtnExit" << QRect(345, 443, 75, 25) << "退出(&E)";
    }
    void layoutFollowsTheTables() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        const QHash<QString, QWidget*> widgets{
            {"Panel1", window->Panel1},   {"Label2", window->Label2},       {"lblServer", window->lblServer},
            {"CmbServer", window->CmbServer}, {"gb1", window->gb1},         {"rdo0", window->rdo0},
            {"rdo1", window->rdo1},       {"lblUid", window->lblUid},       {"lblPwd", window->lblPwd},
            {"EdtUid", window->EdtUid},   {"EdtPwd", window->EdtPwd},       {"BtnConn", window->BtnConn},
            {"lblTalk", window->lblTalk}, {"PageControl1", window->PageControl1}, {"LsbDB", window->LsbDB},
            {"EdtPath", window->EdtPath}, {"MemoInfo", window->MemoInfo},   {"BtnBackup", window->BtnBackup},
            {"Label10", window->Label10}, {"CmbDb", window->CmbDb},         {"EdtBakFile", window->EdtBakFile},
            {"CmbBfj", window->CmbBfj},   {"BtnRead", window->BtnRead},     {"ChkRestore", window->ChkRestore},
            {"BtnRestore", window->BtnRestore}, {"BtnExit", window->BtnExit}};
        QWidget* w = widgets.value(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        QString actual;
        if (auto* l = qobject_cast<QLabel*>(w))
            actual = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            actual = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            actual = g->title();
        QCOMPARE(actual, text);
    }

    void everyControlSitsInItsParent_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        const auto row = [](const char* name, const char* parent, QRect r) {
            QTest::newRow(name) << QString(name) << QString(parent) << r;
        };
        row("Panel1", "FrmMain", {0, 0, 439, 62});
        row("Label2", "Panel1", {1, 1, 437, 24});
        row("lblCom", "Panel1", {16, 29, 120, 12});
        row("lblHttp", "Panel1", {279, 28, 138, 12});
        row("lbllink", "Panel1", {16, 45, 402, 12});
        row("Panel2", "FrmMain", {0, 62, 439, 153});
        row("GroupBox1", "Panel2", {0, 0, 439, 154});
        row("pan1", "GroupBox1", {2, 14, 435, 109});
        row("lblServer", "pan1", {12, 6, 54, 12});
        row("CmbServer", "pan1", {73, 2, 352, 20});
        row("gb1", "pan1", {12, 24, 413, 38});
        row("rdo0", "gb1", {25, 15, 137, 17});
        row("rdo1", "gb1", {273, 15, 126, 17});
        row("lblUid", "pan1", {12, 68, 54, 12});
        row("EdtUid", "pan1", {73, 64, 352, 20});
        row("lblPwd", "pan1", {12, 90, 54, 12});
        row("EdtPwd", "pan1", {73, 86, 352, 20});
        row("BtnConn", "GroupBox1", {11, 124, 79, 25});
        row("lblTalk", "GroupBox1", {367, 133, 60, 12});
        row("PageControl1", "FrmMain", {0, 215, 439, 222});
        row("Label7", "TabSheet1", {8, 4, 66, 12});
        row("LsbDB", "TabSheet1", {8, 21, 139, 154});
        row("Label8", "TabSheet1", {152, 4, 90, 12});
        row("EdtPath", "TabSheet1", {152, 21, 249, 20});
        row("BtnPath", "TabSheet1", {402, 21, 18, 19});
        row("Label9", "TabSheet1", {152, 43, 54, 12});
        row("MemoInfo", "TabSheet1", {152, 56, 265, 93});
        row("BtnBackup", "TabSheet1", {342, 153, 75, 25});
        row("Label10", "TabSheet1", {8, 181, 414, 12});
        row("Label1", "TabSheet2", {8, 4, 78, 12});
        row("CmbDb", "TabSheet2", {88, 0, 333, 20});
        row("Label3", "TabSheet2", {8, 29, 78, 12});
        row("EdtBakFile", "TabSheet2", {88, 24, 312, 20});
        row("FlatButton1", "TabSheet2", {402, 23, 18, 19});
        row("Label5", "TabSheet2", {8, 53, 66, 12});
        row("CmbBfj", "TabSheet2", {88, 49, 333, 20});
        row("BtnRead", "TabSheet2", {252, 73, 169, 21});
        row("Label4", "TabSheet2", {8, 81, 102, 12});
        row("Grid", "TabSheet2", {8, 97, 413, 73});
        row("ChkRestore", "TabSheet2", {8, 175, 177, 17});
        row("BtnRestore", "TabSheet2", {341, 171, 79, 24});
        row("BtnExit", "FrmMain", {345, 443, 75, 25});
    }
    void everyControlSitsInItsParent() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        const QHash<QString, QWidget*> all = controls(*window);
        QWidget* w = all.value(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), all.value(parent));
        QCOMPARE(w->geometry(), geometry);
        QVERIFY(w->isEnabled());
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
        QWidget* w = controls(*window).value(name);
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
                                       window->PageControl1, window->LsbDB, window->EdtPath,
                                       window->MemoInfo,  window->BtnBackup, static_cast<QWidget*>(window->BtnPath),
                                       window->CmbDb,     window->EdtBakFile,
                                       static_cast<QWidget*>(window->FlatButton1), window->CmbBfj,
                                       window->BtnRead,   static_cast<QWidget*>(window->Grid),
                                       window->ChkRestore, window->BtnRestore, window->BtnExit};
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
        QVERIFY(window->CmbDb->isEditable());
        QVERIFY(!window->CmbBfj->isEditable());
        QVERIFY(window->EdtPath->isReadOnly() && window->EdtBakFile->isReadOnly() && window->MemoInfo->isReadOnly());
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
        const QStringList names = texts(window->LsbDB);
        QCOMPARE(names.mid(0, 3), (QStringList{"master", "model", "msdb"}));
        QVERIFY(!names.contains("tempdb"));
        QCOMPARE(texts(window->CmbDb), names);
        QCOMPARE(window->LsbDB->item(0)->checkState(), Qt::Unchecked);

        // A typed target that differs from a listed name only in letter case is another database
        // on a case-sensitive server: finishing the edit must not turn it into the listed one.
        window->CmbDb->lineEdit()->clear();
        QTest::keyClicks(window->CmbDb->lineEdit(), "MSDB");
        QTest::keyClick(window->CmbDb->lineEdit(), Qt::Key_Return);
        QCOMPARE(window->CmbDb->currentText(), QStringLiteral("MSDB"));

        // Disconnect: lists emptied, the typed target name stays.
        window->CmbDb->setEditText("NewDb");
        window->BtnConn->click();
        QCOMPARE(window->BtnConn->text(), QStringLiteral("连接(&C)"));
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("已断开SQL SERVER服务器连接"));
        QCOMPARE(window->LsbDB->count(), 0);
        QCOMPARE(window->CmbDb->count(), 0);
        QCOMPARE(window->CmbDb->currentText(), QStringLiteral("NewDb"));
        QVERIFY(window->EdtUid->isEnabled());
        QVERIFY(!window->connection()->Connected());
    }

    void wrongPasswordFailsQuietlyAndKeepsTheInputs() {
        ScopedMessageBoxRecorder boxes;
        connectAs(SimServer::login(), "wrong");
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QCOMPARE(window->BtnConn->text(), QStringLiteral("连接(&C)"));
        QVERIFY(window->EdtUid->isEnabled() && window->EdtPwd->isEnabled());
        QCOMPARE(window->EdtPwd->text(), QStringLiteral("wrong"));
        QVERIFY(boxes.shown().isEmpty());
    }

    void noServerFailsQuietly() {
        ScopedMessageBoxRecorder boxes;
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(freeTcpPort()));
        window->EdtUid->setText("sa");
        window->BtnConn->click();
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(boxes.shown().isEmpty());
    }

    void integratedModeIgnoresUserAndPasswordAndKeepsThemDisabled() {
        ScopedMessageBoxRecorder boxes;
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
        ScopedMessageBoxRecorder boxes;
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
        ScopedMessageBoxRecorder boxes;
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(slow.port()));
        window->EdtUid->setText(SimServer::login());
        window->EdtPwd->setText(SimServer::password());
        window->BtnConn->click();
        QVERIFY(window->connection()->Connected());
        const QList<QListWidgetItem*> found = window->LsbDB->findItems("SalesDemo", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found.first()->setCheckState(Qt::Checked);
        window->EdtPath->setText("C:\\");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        // The window is asked to close (as its close box would) while the BACKUP runs.
        int refused = 0;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (!TADOConnection::isBusy())
                return;
            window->close();
            if (window->isVisible())
                ++refused;
        });
        closer.start(100);
        window->BtnBackup->click();
        closer.stop();
        QVERIFY(refused > 0);
        QVERIFY(window->isVisible());
        QVERIFY(window->MemoInfo->toPlainText().contains("SalesDemo"));
        // Once it has ended, closing works again.
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
    }

    void failingDatabaseListKeepsTheConnectionAndShowsTheError() {
        SimServer failing;
        QVERIFY2(failing.start({"--fail", "Sysdatabases=229"}), qPrintable(failing.errorString()));
        ScopedMessageBoxRecorder boxes;
        window->LsbDB->addItem("stale");
        window->CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(failing.port()));
        window->EdtUid->setText(SimServer::login());
        window->EdtPwd->setText(SimServer::password());
        window->BtnConn->click();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Critical);
        QCOMPARE(window->lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QVERIFY(window->connection()->Connected());
        QCOMPARE(texts(window->LsbDB), QStringList{"stale"}); // emptied only once the query is open
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
        TFrmMain::setDiscoveryTargets(t);
        TFrmMain discovered;
        quietDiscovery();
        QCOMPARE(texts(discovered.CmbServer), QStringList{"127.0.0.1\\DEMO"});
        QCOMPARE(discovered.CmbServer->currentText(), QStringLiteral("127.0.0.1\\DEMO"));
        // Connecting by that name needs the Browser on its standard port 1434, which the driver
        // asks; the demo runs it there, a test cannot rely on having it.
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
