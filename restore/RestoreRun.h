#pragma once
// The restore button's run: checks the request, checks every target path on the server, then
// restores the chosen backup set under the chosen database name. It needs no window.

#include "RestoreStatements.h"

#include <QList>
#include <QString>

class RunSink;
class TADOConnection;

struct RestoreRequest {
    QString database;             // target database name, as typed or chosen
    QString backupFile;           // backup file on the server
    QString backupSet;            // the chosen set's entry, "<position> <finish time>"
    QList<RestoreFileMove> files; // logical name and target path of each database file
    bool replace = false;         // replace an existing database
    int statsPercent = 0;         // > 0: progress messages asked for and reported to the sink
};

struct RestoreOutcome {
    bool restored = false;
    // The file whose target path the user must correct (index into files), or -1.
    int fileToCorrect = -1;
    // The user stopped the RESTORE; the server then reported the database's state (empty when
    // the database does not exist, null when the state could not be read).
    bool cancelled = false;
    QString stateAfterCancel;
};

// After a stopped restore: what to tell the user, the state and how to get the database back.
QString cancelledRestoreReport(const QString& database, const QString& state);

// Guards and path problems are reported to the sink and end the run; failures of the server
// (path check, RESTORE) are raised. Before restoring, the facts that decide its success are read
// (RestoreCheck.h): a backup of a newer server is refused; sessions to close, short space or a
// clash with another database are summed up in one question. The RESTORE itself runs without the
// statement time-out, so a long restore WITH REPLACE is never cut off half-way by the client, only
// by the user.
RestoreOutcome runRestore(TADOConnection& connection, const RestoreRequest& request, RunSink& sink);
