#pragma once
// The main window: header band with link labels, the connection panel, the page control with
// the backup and restore pages, and the exit button. Handlers stay thin and call the page or
// subsystem that owns the behaviour.

#include "BackupPage.h"
#include "CertificatePins.h"
#include "ConnectionHolder.h"
#include "OptionsPage.h"
#include "RestorePage.h"
#include "ServerBox.h"
#include "SecureConnectStep.h"
#include "ServerDiscovery.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class LongRunInputGate;
class TADOConnection;
class TFrmSelFile;
class TFrmSelPath;

// What the window is given rather than finds for itself.
struct MainWindowSetup {
    // Where discovery looks at start-up.
    DiscoveryTargets discovery;
    // Makes the server connection in FormCreate; empty makes a plain one.
    ConnectionHolder::Factory makeConnection;
    // Opens a link label's address; empty opens it with the desktop's browser.
    std::function<void(const QUrl&)> openAddress;
    // Offers the user's own servers before discovery's and remembers successful logins; off keeps
    // the server box to discovery's names and writes nothing.
    bool userServers = true;
    // Settings, pinned certificates, freetds.conf and the CA file for certificate checks.
    SecurityFiles security;
};

class TFrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMain(MainWindowSetup setup = {}, QWidget* parent = nullptr);
    ~TFrmMain() override; // FormDestroy

    // Connection panel.
    bool ConnSql(TADOConnection& connection, const QString& server, const QString& database, const QString& user,
                 const QString& password, const ConnectionSecurity& security = {});
    void EnableConnPanel(bool enabled);
    void BtnConnClick();
    void rdo0Click();
    void rdo1Click();
    void CmbServerSelect();
    void BtnExitClick();
    void timer1Timer();
    void tmrQQTimer();

    // The pickers, created hidden at start-up right after this window and owned by it.
    TFrmSelPath* FrmSelPath = nullptr;
    TFrmSelFile* FrmSelFile = nullptr;
    void createPickers();

    // Database list shared by both pages.
    void FillDbList();
    void ClearDbList();

    // Esc or the close box during a BACKUP or RESTORE: asks whether to stop it and, on Yes,
    // asks the driver to cancel the statement.
    void askToStopLongRun();

    // The server connection, or null when it could not be created.
    TADOConnection* connection() const { return connection_.pointer(); }

    // Header band.
    QFrame* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblCom = nullptr;
    QLabel* lblHttp = nullptr;
    QLabel* lbllink = nullptr;
    // Connection group.
    QFrame* Panel2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QWidget* pan1 = nullptr;
    QLabel* lblServer = nullptr;
    QComboBox* CmbServer = nullptr;
    QGroupBox* gb1 = nullptr;
    QRadioButton* rdo0 = nullptr;
    QRadioButton* rdo1 = nullptr;
    QLabel* lblUid = nullptr;
    QLineEdit* EdtUid = nullptr;
    QLabel* lblPwd = nullptr;
    QLineEdit* EdtPwd = nullptr;
    QPushButton* BtnConn = nullptr;
    QLabel* lblDbInfo = nullptr;
    QLabel* lblTalk = nullptr;
    // Pages; later pages are added after these two.
    QTabWidget* PageControl1 = nullptr;
    BackupPage* TabSheet1 = nullptr;
    RestorePage* TabSheet2 = nullptr;
    OptionsPage* TabSheet3 = nullptr;
    // Foot and timers.
    QPushButton* BtnExit = nullptr;
    QTimer* timer1 = nullptr;
    QTimer* tmrQQ = nullptr;

    // Colours as the program keeps them (0x00BBGGRR), since the timers compare them.
    quint32 lbllinkColor() const { return lbllinkColor_; }
    quint32 lblTalkColor() const { return lblTalkColor_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildHeader();
    void buildConnectionGroup();
    void buildPages();
    void connectHandlers();
    void FormCreate();
    void FormDestroy();
    void setLabelColor(QLabel* label, quint32 color);
    void showPanelState(bool connected, const QString& status);
    QString linkAddress(const QObject* label) const;

    MainWindowSetup setup_;
    ConnectionHolder connection_; // the connection lives exactly as long as the window
    ServerBox serverBox_;
    CertificatePins pins_;        // before the options page, which lists them
    QObject* pressedLink_ = nullptr; // the link label under the last left press
    quint32 lbllinkColor_;
    quint32 lblTalkColor_;
    std::unique_ptr<LongRunInputGate> longRunGate_; // exists while a long statement runs
    bool askingToStop_ = false;
};
