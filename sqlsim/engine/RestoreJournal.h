#pragma once
// A RESTORE under way, recorded in the state directory so that a simulator killed part-way is
// put right at its next start. While the files are being copied aside the journal lists the
// temporaries: recovery removes them, as if the restore had never run. Once every file is
// written the journal says so and names the catalog entry: recovery then finishes the commit
// (renames what is still aside, records the database, removes the replaced files). A database
// is therefore listed either as it was or fully restored, never half. A journal that is kept
// (a failed commit that could not be undone) is finished the same way.

#include "Catalog.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace sqlsim {

class RestoreJournal {
public:
    struct Move {
        QString temporary; // host paths
        QString target;
        QString replaced; // where the old target is set aside while the new one goes in
    };

    // A new journal in directory (created when missing); nothing is written yet.
    explicit RestoreJournal(const QString& directory);
    ~RestoreJournal(); // removes the journal unless kept: the restore committed or cleaned up itself
    RestoreJournal(const RestoreJournal&) = delete;
    RestoreJournal& operator=(const RestoreJournal&) = delete;

    // Throws std::runtime_error when the journal cannot be written.
    void copying(const std::vector<Move>& moves);
    void committing(const std::vector<Move>& moves, const Database& entry, const QStringList& obsoleteFiles);
    // Leaves the journal for the next start to finish: the files are neither old nor new.
    void keep() { kept_ = true; }

    // Puts right every restore a killed simulator left in directory. Lock not needed: runs
    // before the engine serves anyone. Throws std::runtime_error when the catalog cannot be saved.
    static void recover(const QString& directory, Catalog& catalog);

private:
    void write(const QByteArray& json);

    QString path_;
    bool kept_ = false;
};

} // namespace sqlsim
