#pragma once
// The files of one RESTORE from staging to commit, and their only owner. Each new file is written
// beside its target under a temporary name; swapping them in first sets each old target aside,
// so that a failed rename can be undone and the old database stays whole. Whatever was not
// committed is removed by the destructor; the journal covers a simulator killed in between.

#include "Catalog.h"
#include "EngineConfig.h"
#include "RestoreJournal.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace sqlsim {

class StagedRestore {
public:
    struct RenameFailure {
        size_t index; // of the target that could not be put in place
        std::error_code error;
    };

    // Records the temporaries of targets (host paths) in a journal in journalDirectory.
    // Throws std::runtime_error when the journal cannot be written.
    StagedRestore(const QString& journalDirectory, const QStringList& targets, RenameFile rename);
    ~StagedRestore();
    StagedRestore(const StagedRestore&) = delete;
    StagedRestore& operator=(const StagedRestore&) = delete;

    // The new content of target index; false when it could not be written whole.
    bool write(size_t index, const QByteArray& bytes);

    // Journals the catalog entry to finish with, then puts every staged file in place. On a failed
    // rename it puts back what it had moved and reports which target failed; the old files are
    // then whole again, unless putting them back failed too (then the journal stays for the next
    // start to finish the restore). Throws std::runtime_error when the journal cannot be written.
    std::optional<RenameFailure> swapIn(const Database& entry, const QStringList& obsoleteFiles);
    // Undoes a successful swapIn, for a catalog that could not be saved.
    void swapOut();
    // The catalog lists the restored database: the old files and the journal go.
    void finish();

private:
    bool putBack(size_t index, bool newInPlace);       // false when a rename failed
    void undo(size_t swappedCount, bool whole = true); // puts back the first swappedCount moves

    RenameFile rename_;
    RestoreJournal journal_;
    std::vector<RestoreJournal::Move> moves_;
    std::vector<bool> setAside_; // the old target was moved to replaced during swapIn
    QStringList obsolete_;
    bool swapped_ = false;
    bool finished_ = false;
    bool stuck_ = false; // a put-back failed: the journal and the temporaries stay
};

} // namespace sqlsim
