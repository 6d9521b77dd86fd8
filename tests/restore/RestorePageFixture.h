#pragma once
// A restore page for tests: the controls the restore functions read and write, a simulator
// with sample databases, and the connection to it.

#include "RestoreRun.h"
#include "SimServer.h"
#include "TADOConnection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

class THtStringGrid;

class RestorePageFixture {
public:
    // Sample databases of the simulator, two files each.
    static QString salesDemo() { return QStringLiteral("SalesDemo"); }
    static QString inventory() { return QStringLiteral("库存管理"); }

    RestorePageFixture();
    ~RestorePageFixture();
    RestorePageFixture(const RestorePageFixture&) = delete;
    RestorePageFixture& operator=(const RestorePageFixture&) = delete;

    // Starts the simulator with the arguments and connects. False with the reason in error().
    bool start(const QStringList& simArgs = {QStringLiteral("--seed")});
    QString error() const { return error_; }

    RestorePage page() const { return {CmbDb, EdtBakFile, CmbBfj, Grid, ChkRestore}; }

    // "C:\a\b.mdf" -> the file in the simulator's drive directory.
    QString hostPath(const QString& serverPath) const;
    // Creates a directory of drive C: such as "C:\Bak".
    void makeServerDir(const QString& serverPath) const;

    // Every batch the simulator received so far, and those received after the first `from`.
    int sentCount() const { return sim.statements().size(); }
    QStringList sentSince(int from) const { return sim.statements().mid(from); }

    // Names of the server's databases (tempdb aside), from master..sysdatabases.
    QStringList databases();
    // Backs up a database into a server file (appending a set when the file exists).
    void backup(const QString& database, const QString& serverFile);
    // Reads the sets of a file, chooses one (1-based) and reads its file list into the grid.
    void loadSet(const QString& serverFile, int set);

    // Column 1 of the data rows.
    QStringList targets() const;
    void setTargets(const QStringList& paths);

    SimServer sim;
    TADOConnection connection;
    QWidget window;
    QComboBox* CmbDb;
    QLineEdit* EdtBakFile;
    QComboBox* CmbBfj;
    THtStringGrid* Grid;
    QCheckBox* ChkRestore;

private:
    QString error_;
};
