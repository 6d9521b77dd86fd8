#include "StagedRestore.h"

#include "FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <stdexcept>

namespace sqlsim {

StagedRestore::StagedRestore(const QString& journalDirectory, const QStringList& targets, RenameFile rename)
    : rename_(rename ? std::move(rename) : RenameFile(renameFile)), journal_(journalDirectory) {
    for (const QString& target : targets) {
        const QString id = QUuid::createUuid().toString(QUuid::Id128);
        moves_.push_back(
            {target + QStringLiteral(".restoring-") + id, target, target + QStringLiteral(".replaced-") + id});
    }
    setAside_.assign(moves_.size(), false);
    journal_.copying(moves_);
}

StagedRestore::~StagedRestore() {
    if (finished_)
        return;
    if (swapped_)
        swapOut();
    if (stuck_)
        return; // the next start needs the temporaries to finish the restore
    for (const RestoreJournal::Move& m : moves_)
        QFile::remove(m.temporary);
}

bool StagedRestore::write(size_t index, const QByteArray& bytes) {
    QFile out(moves_.at(index).temporary);
    const bool ok =
        out.open(QIODevice::WriteOnly | QIODevice::NewOnly) && out.write(bytes) == bytes.size() && out.flush();
    out.close();
    return ok;
}

std::optional<StagedRestore::RenameFailure> StagedRestore::swapIn(const Database& entry,
                                                                  const QStringList& obsoleteFiles) {
    journal_.committing(moves_, entry, obsoleteFiles);
    obsolete_ = obsoleteFiles;
    for (size_t i = 0; i < moves_.size(); ++i) {
        const RestoreJournal::Move& m = moves_[i];
        std::error_code error;
        if (QFileInfo::exists(m.target)) {
            error = rename_(m.target, m.replaced);
            setAside_[i] = !error;
        }
        if (!error)
            error = rename_(m.temporary, m.target);
        if (error) {
            const bool putBackWhole = putBack(i, false);
            undo(i, putBackWhole);
            return RenameFailure{i, error};
        }
    }
    swapped_ = true;
    return std::nullopt;
}

void StagedRestore::swapOut() {
    swapped_ = false;
    undo(moves_.size());
}

void StagedRestore::finish() {
    for (size_t i = 0; i < moves_.size(); ++i)
        if (setAside_[i])
            QFile::remove(moves_[i].replaced);
    for (const QString& file : obsolete_)
        QFile::remove(file);
    finished_ = true;
}

bool StagedRestore::putBack(size_t index, bool newInPlace) {
    const RestoreJournal::Move& m = moves_[index];
    if (newInPlace && rename_(m.target, m.temporary))
        return false;
    if (setAside_[index]) {
        if (rename_(m.replaced, m.target))
            return false;
        setAside_[index] = false;
    }
    return true;
}

void StagedRestore::undo(size_t swappedCount, bool whole) {
    // Every file ends up either new at its target or staged beside it, so a journal kept after
    // a failure here still lets the next start finish the restore.
    for (size_t i = swappedCount; i-- > 0;)
        whole = putBack(i, true) && whole;
    if (!whole) {
        stuck_ = true;
        journal_.keep();
        return;
    }
    try {
        journal_.copying(moves_); // a kill from here on removes the temporaries, as before the swap
    } catch (const std::runtime_error&) {
        // The old journal still says committing and the temporaries are still there: a kill now
        // would finish the restore at the next start, which leaves a consistent database too.
    }
}

} // namespace sqlsim
