#include "UntMain.h"

#include "AppLook.h"
#include "BackupFilePick.h"
#include "BackupPath.h"
#include "BackupRun.h"
#include "BackupSetList.h"
#include "RestoreRun.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "ConnectionStrings.h"
#include "DatabaseList.h"
#include "EventGuard.h"
#include "FlatButtonPicker.h"
#include "GridRestoreSetup.h"
#include "HtGrids.h"
#include "TFlatButtonUnit.h"
#include "TADOConnection.h"
#include "untPublic.h"

#include <QCloseEvent>
#include <QCompleter>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace {

DiscoveryTargets& discoveryTargets() {
    static DiscoveryTargets targets;
    return targets;
}

const QString kConnect = QStringLiteral("连接(&C)");
const QString kDisconnect = QStringLiteral("断开(&D)");

template <typename W>
W* place(QWidget* parent, int left, int top, int width, int height) {
    auto* w = new W(parent); // owned by its parent
    w->setGeometry(left, top, width, height);
    return w;
}

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height) {
    QLabel* l = place<QLabel>(parent, left, top, width, height);
    l->setText(text);
    return l;
}

} // namespace

TFrmMain::TFrmMain(QWidget* parent) : QWidget(parent), lbllinkColor_(AppLook::kDarkGreen), lblTalkColor_(AppLook::kNavy) {
    buildLayout();
    connectHandlers();
    guarded([this] { FormCreate(); });
}

TFrmMain::~TFrmMain() { guarded([this] { FormDestroy(); }); }

void TFrmMain::setDiscoveryTargets(const DiscoveryTargets& targets) { discoveryTargets() = targets; }

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

    BtnExit = place<QPushButton>(this, 345, 443, 75, 25);
    BtnExit->setText(QStringLiteral("退出(&E)"));

    timer1 = new QTimer(this);
    timer1->setInterval(10000);
    tmrQQ = new QTimer(this);
    tmrQQ->setInterval(2000);

    // Focus order: the connection inputs, the connect button, the pages, the exit button.
    QWidget::setTabOrder(CmbServer, rdo0);
    QWidget::setTabOrder(rdo0, rdo1);
    QWidget::setTabOrder(rdo1, EdtUid);
    QWidget::setTabOrder(EdtUid, EdtPwd);
    QWidget::setTabOrder(EdtPwd, BtnConn);
    QWidget::setTabOrder(BtnConn, PageControl1);
    QWidget::setTabOrder(PageControl1, LsbDB);
    QWidget::setTabOrder(LsbDB, EdtPath);
    QWidget::setTabOrder(EdtPath, MemoInfo);
    QWidget::setTabOrder(MemoInfo, BtnBackup);
    QWidget::setTabOrder(BtnBackup, BtnPath);
    QWidget::setTabOrder(BtnPath, CmbDb);
    QWidget::setTabOrder(CmbDb, EdtBakFile);
    QWidget::setTabOrder(EdtBakFile, FlatButton1);
    QWidget::setTabOrder(FlatButton1, CmbBfj);
    QWidget::setTabOrder(CmbBfj, BtnRead);
    QWidget::setTabOrder(BtnRead, Grid);
    QWidget::setTabOrder(Grid, ChkRestore);
    QWidget::setTabOrder(ChkRestore, BtnRestore);
    QWidget::setTabOrder(BtnRestore, BtnExit);
}

void TFrmMain::buildHeader() {
    Panel1 = place<QFrame>(this, 0, 0, 439, 62);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);

    Label2 = label(Panel1, QStringLiteral("MS SQL SERVER 数据库备份恢复工具"), 1, 1, 437, 24);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setFont(AppLook::font(QStringLiteral("黑体"), 24, true));
    setLabelColor(Label2, AppLook::kDarkGreen);

    const QFont linkFont = AppLook::font(QStringLiteral("MS Sans Serif"), 12);
    lblCom = label(Panel1, AppLook::kMakerName, 16, 29, 120, 12);
    lblHttp = label(Panel1, AppLook::kWebAddressShown, 279, 28, 138, 12);
    lbllink = label(Panel1, AppLook::kContactLine, 16, 45, 402, 12);
    for (QLabel* l : {lblCom, lblHttp, lbllink}) {
        l->setFont(linkFont);
        setLabelColor(l, AppLook::kDarkGreen);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }
}

void TFrmMain::buildConnectionGroup() {
    Panel2 = place<QFrame>(this, 0, 62, 439, 153);
    GroupBox1 = place<QGroupBox>(Panel2, 0, 0, 439, 154);
    GroupBox1->setTitle(QStringLiteral("数据库连接设置"));
    pan1 = place<QWidget>(GroupBox1, 2, 14, 435, 109);

    lblServer = label(pan1, QStringLiteral("服务器名:"), 12, 6, 54, 12);
    CmbServer = place<QComboBox>(pan1, 73, 2, 352, 20);
    CmbServer->setEditable(true);
    CmbServer->setInsertPolicy(QComboBox::NoInsert);

    gb1 = place<QGroupBox>(pan1, 12, 24, 413, 38);
    gb1->setTitle(QStringLiteral("身份验证模式"));
    rdo0 = place<QRadioButton>(gb1, 25, 15, 137, 17);
    rdo0->setText(QStringLiteral("SQL SERVER身份验证"));
    rdo0->setChecked(true);
    rdo1 = place<QRadioButton>(gb1, 273, 15, 126, 17);
    rdo1->setText(QStringLiteral("Windows 身份验证"));

    lblUid = label(pan1, QStringLiteral("用 户 名:"), 12, 68, 54, 12);
    EdtUid = place<QLineEdit>(pan1, 73, 64, 352, 20);
    lblPwd = label(pan1, QStringLiteral("口    令:"), 12, 90, 54, 12);
    EdtPwd = place<QLineEdit>(pan1, 73, 86, 352, 20);
    EdtPwd->setEchoMode(QLineEdit::Password);
    AppLook::maskWithStars(EdtPwd);

    BtnConn = place<QPushButton>(GroupBox1, 11, 124, 79, 25);
    BtnConn->setText(kConnect);

    lblDbInfo = label(GroupBox1, QString(), 96, 126, 0, 20);
    lblDbInfo->setFont(AppLook::font(QStringLiteral("黑体"), 20, true));
    setLabelColor(lblDbInfo, AppLook::kRed);

    lblTalk = label(GroupBox1, AppLook::kTalkText, 367, 133, 60, 12);
    lblTalk->setFont(AppLook::font(QStringLiteral("MS Sans Serif"), 12, false, true));
    setLabelColor(lblTalk, AppLook::kNavy);
    lblTalk->setCursor(Qt::PointingHandCursor);
    lblTalk->installEventFilter(this);
}

void TFrmMain::buildPages() {
    PageControl1 = place<QTabWidget>(this, 0, 215, 439, 222);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet1, QStringLiteral("数据库备份")); // the tab widget takes ownership
    PageControl1->addTab(TabSheet2, QStringLiteral("数据库恢复"));
    PageControl1->setCurrentIndex(0);

    Label7 = label(TabSheet1, QStringLiteral("数据库列表:"), 8, 4, 66, 12);
    LsbDB = place<QListWidget>(TabSheet1, 8, 21, 139, 154);
    Label8 = label(TabSheet1, QStringLiteral("数据库备份路径:"), 152, 4, 90, 12);
    EdtPath = place<QLineEdit>(TabSheet1, 152, 21, 249, 20);
    EdtPath->setReadOnly(true);
    BtnPath = place<TFlatButton>(TabSheet1, 402, 21, 18, 19);
    setupPickerButton(BtnPath);
    Label9 = label(TabSheet1, QStringLiteral("提示信息:"), 152, 43, 54, 12);
    MemoInfo = place<QPlainTextEdit>(TabSheet1, 152, 56, 265, 93);
    MemoInfo->setReadOnly(true);
    MemoInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    BtnBackup = place<QPushButton>(TabSheet1, 342, 153, 75, 25);
    BtnBackup->setText(QStringLiteral("备份(&B)"));
    Label10 = label(TabSheet1,
                    QStringLiteral("备份文件的格式为:数据库名20050101123045.bak【数据库名+备份时间+.bak】"), 8, 181,
                    414, 12);

    Label1 = label(TabSheet2, QStringLiteral("还原数据库名:"), 8, 4, 78, 12);
    CmbDb = place<QComboBox>(TabSheet2, 88, 0, 333, 20);
    CmbDb->setEditable(true);
    CmbDb->setInsertPolicy(QComboBox::NoInsert);
    // With a case-blind completer, finishing the edit replaces a typed name by the listed name that
    // differs only in letter case: on a case-sensitive server that restores over another database.
    CmbDb->completer()->setCaseSensitivity(Qt::CaseSensitive);
    Label3 = label(TabSheet2, QStringLiteral("原备份文件名:"), 8, 29, 78, 12);
    EdtBakFile = place<QLineEdit>(TabSheet2, 88, 24, 312, 20);
    EdtBakFile->setReadOnly(true);
    FlatButton1 = place<TFlatButton>(TabSheet2, 402, 23, 18, 19);
    setupPickerButton(FlatButton1);
    Label5 = label(TabSheet2, QStringLiteral("恢复备份集:"), 8, 53, 66, 12);
    CmbBfj = place<QComboBox>(TabSheet2, 88, 49, 333, 20);
    BtnRead = place<QPushButton>(TabSheet2, 252, 73, 169, 21);
    BtnRead->setText(QStringLiteral("从媒体读取(&M)"));
    Label4 = label(TabSheet2, QStringLiteral("将数据文件还原为:"), 8, 81, 102, 12);
    Grid = place<THtStringGrid>(TabSheet2, 8, 97, 413, 73);
    Grid->OnSelectCell = [this](QObject* sender, int col, int row, bool& canSelect) {
        GridSelectCell(sender, col, row, canSelect);
    };
    setupRestoreGrid(Grid);
    ChkRestore = place<QCheckBox>(TabSheet2, 8, 175, 177, 17);
    ChkRestore->setText(QStringLiteral("在现有数据库上强行还原(&F)"));
    BtnRestore = place<QPushButton>(TabSheet2, 341, 171, 79, 24);
    BtnRestore->setText(QStringLiteral("还原(&H)"));
}

void TFrmMain::connectHandlers() {
    connectGuarded(BtnConn, &QPushButton::clicked, this, [this] { BtnConnClick(); });
    connectGuarded(rdo0, &QRadioButton::clicked, this, [this] { rdo0Click(); });
    connectGuarded(rdo1, &QRadioButton::clicked, this, [this] { rdo1Click(); });
    connectGuarded(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
    connectGuarded(BtnBackup, &QPushButton::clicked, this, [this] { BtnBackupClick(); });
    connectGuarded(BtnPath, &TFlatButton::clicked, this, [this] { BtnPathClick(); });
    connectGuarded(FlatButton1, &TFlatButton::clicked, this, [this] { FlatButton1Click(); });
    // Only a choice by the user reads the set's files; filling the list does not.
    connectGuarded(CmbBfj, &QComboBox::activated, this, [this] { CmbBfjChange(); });
    connectGuarded(BtnRead, &QPushButton::clicked, this, [this] { BtnReadClick(); });
    connectGuarded(BtnRestore, &QPushButton::clicked, this, [this] { BtnRestoreClick(); });
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
    connection_ = std::make_unique<TADOConnection>();
    setServerConnection(connection_.get());
    // Discovery is silent whatever happens; names found before a failure stay, and the first
    // name is selected only when the whole list was read.
    try {
        ListAvailableSQLServers([this](const QString& name) { CmbServer->addItem(name); }, discoveryTargets());
        if (CmbServer->count() > 0)
            CmbServer->setCurrentIndex(0);
    } catch (...) {
        CmbServer->setCurrentIndex(-1);
        CmbServer->setEditText(QString());
    }
}

void TFrmMain::FormDestroy() {
    if (!connection_)
        return;
    connection_->Close();
    if (ServerConnection() == connection_.get())
        setServerConnection(nullptr);
    connection_.reset();
}

bool TFrmMain::ConnSql(TADOConnection& connection, const QString& server, const QString& database,
                       const QString& user, const QString& password) {
    try {
        connection.Close();
        connection.setConnectionString(rdo0->isChecked()
                                           ? ConnectionStrings::sqlServerAuthentication(server, database, user, password)
                                           : ConnectionStrings::integratedAuthentication(server, database));
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
    if (connection_->Connected()) {
        connection_->Close();
        showPanelState(false, QStringLiteral("已断开SQL SERVER服务器连接"));
        ClearDbList();
        return;
    }
    const QString user = EdtUid->text();
    const QString password = EdtPwd->text();
    const QString server = CmbServer->currentText();
    if (ConnSql(*connection_, server, QStringLiteral("master"), user, password)) {
        showPanelState(true, QStringLiteral("已连接SQL SERVER服务器"));
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

void TFrmMain::BtnExitClick() { close(); }

void TFrmMain::timer1Timer() {
    if (lbllinkColor_ == AppLook::kRed) {
        setLabelColor(lbllink, AppLook::kDarkGreen);
        lbllink->setText(AppLook::kContactLine);
    } else {
        setLabelColor(lbllink, AppLook::kRed);
        lbllink->setText(AppLook::kDownloadNotice);
    }
}

void TFrmMain::tmrQQTimer() { setLabelColor(lblTalk, lblTalkColor_ == AppLook::kRed ? AppLook::kNavy : AppLook::kRed); }

void TFrmMain::createPickers() {
    FrmSelPath = new TFrmSelPath(this); // owned by the main window, hidden until shown
    FrmSelFile = new TFrmSelFile(this);
}

void TFrmMain::BtnPathClick() { pickBackupDirectory(*connection_, *FrmSelPath, EdtPath); }

void TFrmMain::FlatButton1Click() {
    pickBackupFile(*connection_, [this] { return runFilePicker(*FrmSelFile); }, EdtBakFile, CmbBfj);
}

void TFrmMain::CmbBfjChange() { readFileList(*connection_, CmbBfj, EdtBakFile->text(), Grid); }

void TFrmMain::BtnReadClick() { CmbBfjChange(); }

void TFrmMain::BtnRestoreClick() {
    runRestore(*connection_, RestorePage{CmbDb, EdtBakFile, CmbBfj, Grid, ChkRestore}, [this] { FillDbList(); });
}

void TFrmMain::BtnBackupClick() { BackupRun::run(*connection_, EdtPath->text(), LsbDB, MemoInfo); }

void TFrmMain::GridSelectCell(QObject*, int ACol, int ARow, bool& CanSelect) { CanSelect = ACol != 0 && ARow != 0; }

void TFrmMain::FillDbList() { DatabaseList::fill(*connection_, LsbDB, CmbDb); }

void TFrmMain::ClearDbList() { DatabaseList::clear(LsbDB, CmbDb); }

void TFrmMain::closeEvent(QCloseEvent* event) {
    // A BACKUP or RESTORE is under way: the window stays until it ends.
    if (TADOConnection::isBusy())
        event->ignore();
    else
        event->accept();
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QString address;
        if (watched == lblCom || watched == lbllink)
            address = AppLook::kHomePage;
        else if (watched == lblHttp)
            address = AppLook::kWebAddress;
        else if (watched == lblTalk)
            address = AppLook::kTalkAddress;
        if (!address.isEmpty()) {
            QDesktopServices::openUrl(QUrl(address)); // a failure shows nothing
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
