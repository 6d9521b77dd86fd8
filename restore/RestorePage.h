#pragma once
// The restore page (TabSheet2): target database name, backup file with its picker button, the
// backup set, the grid of database files and where each goes, the replace option and the
// restore button. It translates between its controls and the reading and restore runs, which
// take plain values.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class ConnectionHolder;
class QStringListModel;
class RunProgressArea;
class TFlatButton;
class THtStringGrid;

class RestorePage : public QWidget {
    Q_OBJECT
public:
    // Shows the server file picker modally: the chosen file, or nothing when the user left it
    // without a pick.
    using FilePicker = std::function<std::optional<QString>()>;

    // refillDatabaseLists runs after a successful restore; what it raises reaches the handler.
    RestorePage(ConnectionHolder& connection, FilePicker pickFile, std::function<void()> refillDatabaseLists,
                QWidget* parent = nullptr);

    // Not connected: says so. Otherwise runs the picker; a pick goes into EdtBakFile and its
    // sets into CmbBfj; no pick empties EdtBakFile and keeps the sets.
    void FlatButton1Click();
    // Reads the chosen set's files into the grid: column 0 the logical names, column 1 the
    // physical paths, from row 1; under a target name other than the backed-up database's, each
    // path renamed after the target in the same directory. Does nothing, silently, when no set is chosen, the file box
    // is empty or the connection is closed. A set without files leaves the grid untouched.
    void CmbBfjChange();
    void BtnReadClick();
    void BtnRestoreClick();
    // Only the target column of the data rows can become the current cell.
    void GridSelectCell(QObject* Sender, int ACol, int ARow, bool& CanSelect);

    // Empties CmbBfj (even when the file then cannot be read) and lists one entry per backup
    // set, none chosen, without raising its change signals.
    void FillBfjList(const QString& file);

    // The database names as choices of CmbDb; the typed name stays. And emptied.
    void showDatabases(const QStringList& names);
    void clearDatabases();

    // True while the restore button's run is under way.
    bool restoring() const { return restoring_; }
    // Asked when the user wants to stop a running restore: the database is left unusable, and
    // with ChkRestore ticked its old data is already gone.
    QString stopQuestion() const;
    // Every later restore asks the server for a progress message at every statsPercent percent
    // and shows them in ProgressArea; 0 (the default) asks for none.
    void setStatsPercent(int statsPercent) { statsPercent_ = statsPercent; }

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
    // Between the replace option and the button, shown while a restore reports progress.
    RunProgressArea* ProgressArea;

private:
    void focusTarget(int row);

    ConnectionHolder& connection_;
    FilePicker pickFile_;
    // The backed-up database of each set of the listed file, by position.
    QMap<int, QString> setDatabases_;
    std::function<void()> refillDatabaseLists_;
    // CmbDb's choices: a whole list of names goes in with one reset, without an item object per name.
    QStringListModel* databaseNames_;
    bool restoring_ = false;
    int statsPercent_ = 0;
};
