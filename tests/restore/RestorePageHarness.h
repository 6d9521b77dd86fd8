#pragma once
// The shipping restore page on a simulator with sample databases: the page is given the
// harness's connection, a file picker that answers as the test says, and a counter in place of
// the window's database lists.

#include "ConnectionHolder.h"
#include "RestorePage.h"
#include "SimServer.h"
#include "TADOConnection.h"

#include <QStringList>

#include <optional>

class RestorePageHarness {
public:
    // Sample databases of the simulator, two files each.
    static QString salesDemo() { return QStringLiteral("SalesDemo"); }
    static QString inventory() { return QStringLiteral("库存管理"); }

    RestorePageHarness();
    RestorePageHarness(const RestorePageHarness&) = delete;
    RestorePageHarness& operator=(const RestorePageHarness&) = delete;

    // Starts the simulator with the arguments and connects. False with the reason in error().
    bool start(const QStringList& simArgs = {QStringLiteral("--seed")});
    QString error() const { return error_; }

    // "C:\a\b.mdf" -> the file in the simulator's drive directory.
    QString hostPath(const QString& serverPath) const;
    // Creates a directory of drive C: such as "C:\Bak".
    void makeServerDir(const QString& serverPath) const;

    // Every batch the simulator received so far, and those received after the first `from`.
    int sentCount() const { return sim.statements().size(); }
    QStringList sentSince(int from) const { return sim.statements().mid(from); }
    // The same without the reads of the check before a restore (version, sessions, space, files):
    // what the restore itself sends.
    QStringList sentWithoutChecksSince(int from) const;

    // Names of the server's databases (tempdb aside), from master..sysdatabases.
    QStringList databases();
    // Backs up a database into a server file (appending a set when the file exists).
    void backup(const QString& database, const QString& serverFile);
    // Puts the file into the file box and chooses a set as the user does.
    void readFileList(const QString& serverFile);
    // Reads the sets of a file, chooses one (1-based) and reads its file list into the grid.
    void loadSet(const QString& serverFile, int set);

    // Column 1 of the data rows.
    QStringList targets() const;
    void setTargets(const QStringList& paths);

    SimServer sim;
    ConnectionHolder holder;
    TADOConnection& connection;
    // What the file picker answers when the page shows it, and whether it was shown.
    std::optional<QString> pickAnswer;
    bool pickerShown = false;
    // How often the page asked for the database lists to be filled again.
    int refills = 0;
    RestorePage page;
    QComboBox* CmbDb;
    QLineEdit* EdtBakFile;
    QComboBox* CmbBfj;
    THtStringGrid* Grid;
    QCheckBox* ChkRestore;

private:
    QString error_;
};
