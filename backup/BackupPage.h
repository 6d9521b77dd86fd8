#pragma once
// The backup page (TabSheet1): the database check list, the backup directory with its picker
// button, the log box and the backup button. It translates between its controls and the
// backup run, which takes plain values.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

#include "BackupStatements.h"

class ConnectionHolder;
class RunProgressArea;
class TFlatButton;

class BackupPage : public QWidget {
    Q_OBJECT
public:
    // Shows the server path picker modally: the chosen directory, or nothing when the user left
    // it without a pick.
    using DirectoryPicker = std::function<std::optional<QString>()>;

    BackupPage(ConnectionHolder& connection, DirectoryPicker pickDirectory, QWidget* parent = nullptr);

    void BtnPathClick();
    void BtnBackupClick();

    // The database list after a connect or a restore, each entry unticked; and emptied.
    void showDatabases(const QStringList& names);
    void clearDatabases();
    // The ticked entries, in list order.
    QStringList tickedDatabases() const;

    // What every later press of the backup button asks of the server; all off until set.
    void setBackupOptions(const BackupOptions& options) { options_ = options; }
    BackupOptions backupOptions() const { return options_; }
    // Asked when the user wants to stop a running backup.
    QString stopQuestion() const;

    QLabel* Label7;
    QListWidget* LsbDB;
    QLabel* Label8;
    QLineEdit* EdtPath;
    TFlatButton* BtnPath;
    QLabel* Label9;
    QPlainTextEdit* MemoInfo;
    QPushButton* BtnBackup;
    QLabel* Label10;
    // Between the log box and the button, shown while a run reports progress.
    RunProgressArea* ProgressArea;

private:
    ConnectionHolder& connection_;
    DirectoryPicker pickDirectory_;
    BackupOptions options_;
};
