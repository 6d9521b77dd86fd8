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
    QFrame* Panel1;
    QLabel* Label2;
    QLabel* lblCom;
    QLabel* lblHttp;
    QLabel* lbllink;
    // Connection group.
    QFrame* Panel2;
    QGroupBox* GroupBox1;
    QWidget* pan1;
    QLabel* lblServer;
    QComboBox* CmbServer;
    QGroupBox* gb1;
    QRadioButton* rdo0;
    QRadioButton* rdo1;
    QLabel* lblUid;
    QLineEdit* EdtUid;
    QLabel* lblPwd;
    QLineEdit* EdtPwd;
    QPushButton* BtnConn;
    QLabel* lblDbInfo;
    QLabel* lblTalk;
    // Pages.
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QLabel* Label7;
    QListWidget* LsbDB;
    QLabel* Label8;
    QLineEdit* EdtPath;
    TFlatButton* BtnPath;
    QLabel* Label9;
    QPlainTextEdit* MemoInfo;
    QPushButton* BtnBackup;
    QLabel* Label10;
    QWidget* TabSheet2;
    QLabel* Label1;
    QComboBox* CmbDb;
    QLabel* Label3;
    QLineEdit* EdtBakFile;
    TFlatButton* FlatButton1;
    QLabel* Label5;
    QComboBox* CmbBfj;
    QPushButton* BtnRead;
    QLabel* Label4;
    THtStringGrid* Grid;
    QCheckBox* ChkRestore;
    QPushButton* BtnRestore;
    // Foot and timers.
    QPushButton* BtnExit;
    QTimer* timer1;
    QTimer* tmrQQ;

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
