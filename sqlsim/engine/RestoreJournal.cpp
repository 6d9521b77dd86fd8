#include "RestoreJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <filesystem>
#include <stdexcept>

namespace sqlsim {
namespace {

const QString kCopying = QStringLiteral("copying");
const QString kCommitting = QStringLiteral("committing");

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

QJsonArray movesToJson(const std::vector<RestoreJournal::Move>& moves) {
    QJsonArray out;
    for (const RestoreJournal::Move& m : moves)
        out.append(QJsonObject{{QStringLiteral("temporary"), m.temporary},
                               {QStringLiteral("target"), m.target},
                               {QStringLiteral("replaced"), m.replaced}});
    return out;
}

void recoverOne(const QJsonObject& journal, Catalog& catalog) {
    const QJsonArray moves = journal.value(QStringLiteral("moves")).toArray();
    if (journal.value(QStringLiteral("phase")).toString() != kCommitting) {
        for (const QJsonValue& m : moves)
            QFile::remove(m.toObject().value(QStringLiteral("temporary")).toString());
        return;
    }
    // Every temporary was complete before the journal said committing: finish the renames.
    for (const QJsonValue& m : moves) {
        const QString temporary = m.toObject().value(QStringLiteral("temporary")).toString();
        const QString target = m.toObject().value(QStringLiteral("target")).toString();
        if (!QFileInfo::exists(temporary))
            continue; // renamed before the kill
        std::error_code error;
        std::filesystem::rename(fsPath(temporary), fsPath(target), error);
        if (error)
            throw std::runtime_error("cannot finish an interrupted restore: " + error.message());
    }
    catalog.put(Catalog::fromJson(journal.value(QStringLiteral("database")).toObject()));
    catalog.save();
    for (const QJsonValue& m : moves) {
        const QString replaced = m.toObject().value(QStringLiteral("replaced")).toString();
        if (!replaced.isEmpty())
            QFile::remove(replaced);
    }
    for (const QJsonValue& f : journal.value(QStringLiteral("obsolete")).toArray())
        QFile::remove(f.toString());
}

} // namespace

RestoreJournal::RestoreJournal(const QString& directory) {
    if (!QDir().mkpath(directory))
        throw std::runtime_error("cannot create the restore journal directory " + directory.toStdString());
    path_ = QDir(directory).filePath(QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".json"));
}

RestoreJournal::~RestoreJournal() {
    if (!kept_)
        QFile::remove(path_);
}

void RestoreJournal::copying(const std::vector<Move>& moves) {
    write(QJsonDocument(QJsonObject{{QStringLiteral("phase"), kCopying}, {QStringLiteral("moves"), movesToJson(moves)}})
              .toJson());
}

void RestoreJournal::committing(const std::vector<Move>& moves, const Database& entry,
                                const QStringList& obsoleteFiles) {
    write(QJsonDocument(QJsonObject{{QStringLiteral("phase"), kCommitting},
                                    {QStringLiteral("moves"), movesToJson(moves)},
                                    {QStringLiteral("database"), Catalog::toJson(entry)},
                                    {QStringLiteral("obsolete"), QJsonArray::fromStringList(obsoleteFiles)}})
              .toJson());
}

void RestoreJournal::write(const QByteArray& json) {
    // Replaced whole by rename, so a kill leaves the previous phase or the new one.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        throw std::runtime_error("cannot write the restore journal " + path_.toStdString());
}

void RestoreJournal::recover(const QString& directory, Catalog& catalog) {
    const QFileInfoList files = QDir(directory).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        // Anything but a journal is the temporary of a journal write that a kill cut short: the
        // journal it would have replaced is still there, or the restore had not begun.
        if (info.suffix() == QLatin1String("json")) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                throw std::runtime_error("cannot read the restore journal " + info.filePath().toStdString());
            const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
            if (doc.isObject())
                recoverOne(doc.object(), catalog);
        }
        QFile::remove(info.filePath());
    }
}

} // namespace sqlsim
