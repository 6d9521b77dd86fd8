#include "UntMain.h"

#include "AppLook.h"
#include "CaptionFit.h"
#include "BackupOptionsBinding.h"
#include "BackupPage.h"
#include "ConnectionStrings.h"
#include "DatabaseList.h"
#include "EventGuard.h"
#include "HtGrids.h"
#include "LongRunInputGate.h"
#include "NewTexts.h"
#include "MessageBox.h"
#include "Placement.h"
#include "RestorePage.h"
#include "TADOConnection.h"
#include "TFlatButtonUnit.h"
#include "UntSelFile.h"
#include "UntSelPath.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QScopeGuard>

namespace {

const QString kConnect = QStringLiteral("连接(&C)");
const QString kDisconnect = QStringLiteral("断开(&D)");

// A picker shown modally: the chosen server path, or nothing when left without a pick.
std::optional<QString> runPicker(ServerTreeDialog* picker) {
    if (!picker)
        throw std::logic_error("The server pickers were not created");
    return picker->pick();
}

// The pointer shows busy while a long statement runs.
void showBusyPointer(bool busy) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace

TFrmMain::TFrmMain(MainWindowSetup setup, QWidget* parent)
    : QWidget(parent), setup_(std::move(setup)), connection_(setup_.makeConnection), serverBox_(setup_.userServers),
      pins_(setup_.security.pinsFile()),
      lbllinkColor_(AppLook::kDarkGreen), lblTalkColor_(AppLook::kNavy) {
    setObjectName(QStringLiteral("FrmMain"));
    buildLayout();
    connectHandlers();
    guarded(this, [this] { FormCreate(); });
}

TFrmMain::~TFrmMain() { guarded(this, [this] { FormDestroy(); }); }

void TFrmMain::buildLayout() {
    setWindowTitle(QStringLiteral("SQL SERVER 数据库备份恢复工具"));
    setWindowIcon(AppLook::windowIcon());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(439, 475);
    setFont(AppLook::font(QStringLiteral("MS Sans Serif"), 12));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button); // clBtnFace
    buildHeader();
    buildConnectionGroup();
    buildPages();

    BtnExit = place<QPushButton>(this, "BtnExit", 345, 443, 75, 25);
    BtnExit->setText(QStringLiteral("退出(&E)"));

    timer1 = new QTimer(this);
    timer1->setObjectName(QStringLiteral("timer1"));
    timer1->setInterval(10000);
    tmrQQ = new QTimer(this);
    tmrQQ->setObjectName(QStringLiteral("tmrQQ"));
    tmrQQ->setInterval(2000);

    // Focus order: the connection inputs, the connect button, the pages, the exit button.
    QWidget::setTabOrder(CmbServer, rdo0);
    QWidget::setTabOrder(rdo0, rdo1);
    QWidget::setTabOrder(rdo1, EdtUid);
    QWidget::setTabOrder(EdtUid, EdtPwd);
    QWidget::setTabOrder(EdtPwd, BtnConn);
    QWidget::setTabOrder(BtnConn, PageControl1);
    const BackupPage* b = TabSheet1;
    const RestorePage* r = TabSheet2;
    const QList<QWidget*> chain{PageControl1,   b->LsbDB,  b->EdtPath, b->MemoInfo, b->BtnBackup, b->BtnPath,
                                r->CmbDb,       r->EdtBakFile, r->FlatButton1, r->CmbBfj, r->BtnRead,
                                r->Grid,        r->ChkRestore, r->BtnRestore, BtnExit};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    CaptionFit::fitCaptions(this);
}

void TFrmMain::buildHeader() {
    Panel1 = place<QFrame>(this, "Panel1", 0, 0, 439, 62);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);

    Label2 = placeLabel(Panel1, "Label2", QStringLiteral("MS SQL SERVER 数据库备份恢复工具"), 1, 1, 437, 24);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setFont(AppLook::font(QStringLiteral("黑体"), 24, true));
    setLabelColor(Label2, AppLook::kDarkGreen);

    const QFont linkFont = AppLook::font(QStringLiteral("MS Sans Serif"), 12);
    lblCom = placeLabel(Panel1, "lblCom", AppLook::kMakerName, 16, 29, 120, 12);
    lblHttp = placeLabel(Panel1, "lblHttp", AppLook::kWebAddressShown, 279, 28, 138, 12);
    lbllink = placeLabel(Panel1, "lbllink", AppLook::kContactLine, 16, 45, 402, 12);
    for (QLabel* l : {lblCom, lblHttp, lbllink}) {
        l->setFont(linkFont);
        setLabelColor(l, AppLook::kDarkGreen);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }
}

void TFrmMain::buildConnectionGroup() {
    Panel2 = place<QFrame>(this, "Panel2", 0, 62, 439, 153);
    GroupBox1 = place<QGroupBox>(Panel2, "GroupBox1", 0, 0, 439, 154);
    GroupBox1->setTitle(QStringLiteral("数据库连接设置"));
    pan1 = place<QWidget>(GroupBox1, "pan1", 2, 14, 435, 109);

    lblServer = placeLabel(pan1, "lblServer", QStringLiteral("服务器名:"), 12, 6, 54, 12);
    CmbServer = place<QComboBox>(pan1, "CmbServer", 73, 2, 352, 20);
    CmbServer->setEditable(true);
    CmbServer->setInsertPolicy(QComboBox::NoInsert);
    announceAs(CmbServer, lblServer);

    gb1 = place<QGroupBox>(pan1, "gb1", 12, 24, 413, 38);
    gb1->setTitle(QStringLiteral("身份验证模式"));
    rdo0 = place<QRadioButton>(gb1, "rdo0", 25, 15, 137, 17);
    rdo0->setText(QStringLiteral("SQL SERVER身份验证"));
    rdo0->setChecked(true);
    rdo1 = place<QRadioButton>(gb1, "rdo1", 273, 15, 126, 17);
    rdo1->setText(QStringLiteral("Windows 身份验证"));

    lblUid = placeLabel(pan1, "lblUid", QStringLiteral("用 户 名:"), 12, 68, 54, 12);
    EdtUid = place<QLineEdit>(pan1, "EdtUid", 73, 64, 352, 20);
    lblPwd = placeLabel(pan1, "lblPwd", QStringLiteral("口    令:"), 12, 90, 54, 12);
    EdtPwd = place<QLineEdit>(pan1, "EdtPwd", 73, 86, 352, 20);
    EdtPwd->setEchoMode(QLineEdit::Password);
    AppLook::maskWithStars(EdtPwd);
    announceAs(EdtUid, lblUid);
    announceAs(EdtPwd, lblPwd);

    BtnConn = place<QPushButton>(GroupBox1, "BtnConn", 11, 124, 79, 25);
    BtnConn->setText(kConnect);

    lblDbInfo = placeLabel(GroupBox1, "lblDbInfo", QString(), 96, 126, 0, 20);
    lblDbInfo->setFont(AppLook::font(QStringLiteral("黑体"), 20, true));
    setLabelColor(lblDbInfo, AppLook::kRed);

    lblTalk = placeLabel(GroupBox1, "lblTalk", AppLook::kTalkText, 367, 133, 60, 12);
    lblTalk->setFont(AppLook::font(QStringLiteral("MS Sans Serif"), 12, false, true));
    setLabelColor(lblTalk, AppLook::kNavy);
    lblTalk->setCursor(Qt::PointingHandCursor);
    lblTalk->installEventFilter(this);
}

void TFrmMain::buildPages() {
    PageControl1 = place<QTabWidget>(this, "PageControl1", 0, 215, 439, 222);
    TabSheet1 = new BackupPage(connection_, [this] { return runPicker(FrmSelPath); });
    TabSheet2 = new RestorePage(connection_, [this] { return runPicker(FrmSelFile); }, [this] { FillDbList(); });
    PageControl1->addTab(TabSheet1, QStringLiteral("数据库备份")); // the tab widget takes ownership
    PageControl1->addTab(TabSheet2, QStringLiteral("数据库恢复"));
    TabSheet3 = new OptionsPage(pins_, setup_.security.optionsFile());
    PageControl1->addTab(TabSheet3, NewTexts::text(NewTexts::OptionsPage));
    bindBackupOptions(*TabSheet3, *TabSheet1); // the backup page follows the options as they change
    bindRestoreOptions(*TabSheet3, *TabSheet2);
    PageControl1->setCurrentIndex(0);
}

void TFrmMain::connectHandlers() {
    connectGuarded(BtnConn, &QPushButton::clicked, this, [this] { BtnConnClick(); });
    connectGuarded(rdo0, &QRadioButton::clicked, this, [this] { rdo0Click(); });
    connectGuarded(rdo1, &QRadioButton::clicked, this, [this] { rdo1Click(); });
    connectGuarded(CmbServer, &QComboBox::activated, this, [this] { CmbServerSelect(); });
    connectGuarded(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
    connectGuarded(timer1, &QTimer::timeout, this, [this] { timer1Timer(); });
    connectGuarded(tmrQQ, &QTimer::timeout, this, [this] { tmrQQTimer(); });
    timer1->start();
    tmrQQ->start();
}

void TFrmMain::setLabelColor(QLabel* label, quint32 color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, AppLook::toQColor(color));
    label->setPalette(p);
    if (label == lbllink)
        lbllinkColor_ = color;
    else if (label == lblTalk)
        lblTalkColor_ = color;
}

void TFrmMain::FormCreate() {
    connection_.create();
    connection_.get().setBusyNotifier([this](bool busy) {
        showBusyPointer(busy);
        if (busy)
            longRunGate_ = std::make_unique<LongRunInputGate>(this, [this] { askToStopLongRun(); });
        else
            longRunGate_.reset();
    });
    // Discovery is silent whatever happens; names found before a failure stay, and the first
    // name is selected only when the whole list was read (or a server was used before).
    QStringList discovered;
    bool complete = true;
    try {
        ListAvailableSQLServers([&](const QString& name) { discovered.append(name); }, setup_.discovery);
    } catch (...) {
        complete = false;
    }
    serverBox_.fill(CmbServer, discovered, complete);
    CmbServerSelect();
}

void TFrmMain::FormDestroy() { connection_.release(); }

bool TFrmMain::ConnSql(TADOConnection& connection, const QString& server, const QString& database,
                       const QString& user, const QString& password, const ConnectionSecurity& security) {
    try {
        connection.Close();
        const QString driver = ConnectionStrings::chooseDriver();
        connection.setConnectionString(
            rdo0->isChecked()
                ? ConnectionStrings::sqlServerAuthentication(server, database, user, password, driver, security)
                : ConnectionStrings::integratedAuthentication(server, database, driver, security));
        connection.setConnectionTimeout(10);
        connection.Open();
        return connection.Connected();
    } catch (...) {
        return false; // the reason is not shown: the status line is the only report
    }
}

void TFrmMain::EnableConnPanel(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{pan1, lblServer, CmbServer, gb1, rdo0, rdo1, lblUid, EdtUid,
                                                      lblPwd, EdtPwd})
        w->setEnabled(enabled);
    if (enabled) {
        if (rdo0->isChecked())
            rdo0Click();
        else
            rdo1Click();
    }
}

void TFrmMain::showPanelState(bool connected, const QString& status) {
    EnableConnPanel(!connected);
    BtnConn->setText(connected ? kDisconnect : kConnect);
    lblDbInfo->setText(status);
    lblDbInfo->resize(lblDbInfo->sizeHint().width(), 20); // the width follows the text, the height stays
}

void TFrmMain::BtnConnClick() {
    if (!connection_.exists()) { // creation failed at start-up: every attempt fails the same way
        showPanelState(false, QStringLiteral("SQL SERVER服务器连接失败"));
        ClearDbList();
        return;
    }
    TADOConnection& connection = connection_.get();
    if (connection.Connected()) {
        connection.Close();
        showPanelState(false, QStringLiteral("已断开SQL SERVER服务器连接"));
        ClearDbList();
        return;
    }
    const QString user = EdtUid->text();
    const QString password = EdtPwd->text();
    const QString server = CmbServer->currentText();
    // The certificate is checked, and the user asked, before the password goes anywhere.
    const QString target = serverBox_.connectionTarget(server);
    std::optional<ConnectionSecurity> security;
    try {
        security = SecureConnectStep::prepare(this, target, ConnectionStrings::chooseDriver(),
                                              TabSheet3->options().encryption, pins_, setup_.security);
    } catch (const std::exception& e) {
        MessageBox::warning(this, QString::fromUtf8(e.what()));
    }
    TabSheet3->refreshCertificates();
    if (security && ConnSql(connection, target, QStringLiteral("master"), user, password, *security)) {
        showPanelState(true, QStringLiteral("已连接SQL SERVER服务器"));
        const bool sqlLogin = rdo0->isChecked();
        serverBox_.remember({server.trimmed(), sqlLogin ? Authentication::SqlServer : Authentication::Integrated,
                             sqlLogin ? user : QString()});
        FillDbList();
    } else {
        showPanelState(false, QStringLiteral("SQL SERVER服务器连接失败"));
        ClearDbList();
    }
}

void TFrmMain::rdo0Click() {
    for (QWidget* w : std::initializer_list<QWidget*>{lblUid, EdtUid, lblPwd, EdtPwd})
        w->setEnabled(true);
}

void TFrmMain::rdo1Click() {
    for (QWidget* w : std::initializer_list<QWidget*>{lblUid, EdtUid, lblPwd, EdtPwd})
        w->setEnabled(false);
}

// A remembered server brings back how the user logged in to it.
void TFrmMain::CmbServerSelect() {
    const std::optional<RememberedServer> login = serverBox_.remembered(CmbServer->currentText());
    if (!login)
        return;
    if (login->authentication == Authentication::Integrated) {
        rdo1->setChecked(true);
        rdo1Click();
    } else {
        rdo0->setChecked(true);
        rdo0Click();
        EdtUid->setText(login->userName);
    }
}

void TFrmMain::BtnExitClick() { close(); }

void TFrmMain::timer1Timer() {
    if (lbllinkColor_ == AppLook::kRed) {
        setLabelColor(lbllink, AppLook::kDarkGreen);
        lbllink->setText(AppLook::kContactLine);
    } else {
        setLabelColor(lbllink, AppLook::kRed);
        lbllink->setText(AppLook::kDownloadNotice);
        CaptionFit::fitCaption(lbllink);
    }
}

void TFrmMain::tmrQQTimer() { setLabelColor(lblTalk, lblTalkColor_ == AppLook::kRed ? AppLook::kNavy : AppLook::kRed); }

void TFrmMain::createPickers() {
    FrmSelPath = new TFrmSelPath(connection_, this); // owned by the main window, hidden until shown
    FrmSelFile = new TFrmSelFile(connection_, this);
}

void TFrmMain::FillDbList() {
    const QStringList names = DatabaseList::read(connection_.get());
    TabSheet1->showDatabases(names);
    TabSheet2->showDatabases(names);
}

void TFrmMain::ClearDbList() {
    TabSheet1->clearDatabases();
    TabSheet2->clearDatabases();
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    // A BACKUP or RESTORE is under way: the window stays until it ends; the user may stop it.
    if (connection_.exists() && connection_.get().busy()) {
        event->ignore();
        askToStopLongRun();
    } else {
        event->accept();
    }
}

void TFrmMain::askToStopLongRun() {
    if (!connection_.exists() || !connection_.get().busy() || askingToStop_)
        return;
    askingToStop_ = true;
    const auto asked = qScopeGuard([this] { askingToStop_ = false; });
    const QString question = TabSheet2->restoring() ? TabSheet2->stopQuestion() : TabSheet1->stopQuestion();
    // The statement may end while the question is open; cancelLong then finds nothing to stop.
    if (MessageBox::question(this, question))
        connection_.get().cancelLong();
}

QString TFrmMain::linkAddress(const QObject* label) const {
    if (label == lblCom || label == lbllink)
        return AppLook::kHomePage;
    if (label == lblHttp)
        return AppLook::kWebAddress;
    if (label == lblTalk)
        return AppLook::kTalkAddress;
    return {};
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    if ((press || release) && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const QString address = linkAddress(watched);
        if (!address.isEmpty()) {
            if (press) {
                pressedLink_ = watched;
                return false;
            }
            // A press dragged off the label and released elsewhere is the user changing their mind.
            const bool clicked = pressedLink_ == watched &&
                                 static_cast<QWidget*>(watched)->rect().contains(
                                     static_cast<QMouseEvent*>(event)->position().toPoint());
            pressedLink_ = nullptr;
            if (clicked) {
                if (setup_.openAddress)
                    setup_.openAddress(QUrl(address));
                else
                    QDesktopServices::openUrl(QUrl(address)); // a failure shows nothing
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
