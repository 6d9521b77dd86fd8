#pragma once
// The main window: header band with link labels, the connection panel, the backup and restore
// pages, and the exit button. Handlers stay thin and call the subsystem that owns the behaviour.

#include "ServerDiscovery.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <memory>

class TADOConnection;
class TFlatButton;
class THtStringGrid;
class TFrmSelFile;
class TFrmSelPath;

class TFrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override; // FormDestroy

    // Where discovery looks; tests point it at their own responders before creating the window.
    static void setDiscoveryTargets(const DiscoveryTargets& targets);

    // Connection panel.
    bool ConnSql(TADOConnection& connection, const QString& server, const QString& database, const QString& user,
                 const QString& password);
    void EnableConnPanel(bool enabled);
    void BtnConnClick();
    void rdo0Click();
    void rdo1Click();
    void BtnExitClick();
    void timer1Timer();
    void tmrQQTimer();

    // The pickers, created hidden at start-up right after this window and owned by it.
    TFrmSelPath* FrmSelPath = nullptr;
    TFrmSelFile* FrmSelFile = nullptr;
    void createPickers();

    // Backup page.
    void BtnPathClick();
    void BtnBackupClick();

    // Restore page.
    void FlatButton1Click();
    void CmbBfjChange();
    void BtnReadClick();
    void BtnRestoreClick();

    // Restore page: only the target column of the data rows can become the current cell.
    void GridSelectCell(QObject* Sender, int ACol, int ARow, bool& CanSelect);

    // Database list shared by both pages.
    void FillDbList();
    void ClearDbList();

    TADOConnection* connection() const { return connection_.get(); }

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
    // Pages.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QLabel* Label7 = nullptr;
    QListWidget* LsbDB = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* EdtPath = nullptr;
    TFlatButton* BtnPath = nullptr;
    QLabel* Label9 = nullptr;
    QPlainTextEdit* MemoInfo = nullptr;
    QPushButton* BtnBackup = nullptr;
    QLabel* Label10 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* CmbDb = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* EdtBakFile = nullptr;
    TFlatButton* FlatButton1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* CmbBfj = nullptr;
    QPushButton* BtnRead = nullptr;
    QLabel* Label4 = nullptr;
    THtStringGrid* Grid = nullptr;
    QCheckBox* ChkRestore = nullptr;
    QPushButton* BtnRestore = nullptr;
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

    std::unique_ptr<TADOConnection> connection_; // lives exactly as long as the window
    quint32 lbllinkColor_;
    quint32 lblTalkColor_;
};
