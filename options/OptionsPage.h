#pragma once
// The third page of the main window, "选项": the encryption setting, the trusted server
// certificates with a button to forget one, the backup options, and the remembered servers with
// a button to forget one. Every change is saved at once.

#include "ProgramOptions.h"

#include <QWidget>

class CertificatePins;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QShowEvent;
class QPushButton;
class QTreeWidget;

class OptionsPage : public QWidget {
    Q_OBJECT

public:
    // pins is borrowed and must outlive the page; options are read from and saved to optionsFile.
    OptionsPage(CertificatePins& pins, QString optionsFile, QWidget* parent = nullptr);

    ProgramOptions options() const { return options_; }
    // Rereads the trusted certificates, after the connect flow pinned or forgot one.
    void refreshCertificates();
    // Rereads the remembered servers; the page also does when it is shown.
    void refreshServers();

    QGroupBox* gbEncryption;
    QLabel* lblEncryption;
    QComboBox* CmbEncryption;
    QLabel* lblEncryptionHint;
    QGroupBox* gbCertificates;
    QTreeWidget* LvCertificates;
    QPushButton* BtnForget;
    QGroupBox* gbBackupOptions;
    QCheckBox* ChkShowProgress;
    QCheckBox* ChkVerifyAfterBackup;
    QCheckBox* ChkCopyOnly;
    QCheckBox* ChkCompression;
    QGroupBox* gbServers;
    QListWidget* LsbServers;
    QPushButton* BtnForgetServer;

signals:
    void optionsChanged(const ProgramOptions& options);
    void serverForgotten(const QString& server);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void showOptions();
    void CmbEncryptionChange();
    void BtnForgetClick();
    void BtnForgetServerClick();
    void backupOptionClick();
    void store();

    CertificatePins& pins_;
    QString optionsFile_;
    ProgramOptions options_;
};
