#include "Catalog.h"

#include "FileReplace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <stdexcept>

namespace sqlsim {
namespace {

QString normalizedPath(const QString& p) {
    return QString(p).replace(u'/', u'\\').toLower();
}

} // namespace

Catalog::Catalog(QString path) : path_(std::move(path)) {
    QFile file(path_);
    if (!file.exists())
        return;
    // The counter file may be ahead of the catalog (backups since the catalog last changed).
    qint64 savedLsn = 0;
    QFile lsnFile(lsnPath());
    if (lsnFile.open(QIODevice::ReadOnly))
        savedLsn = lsnFile.readAll().trimmed().toLongLong();
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the catalog " + path_.toStdString());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        throw std::runtime_error("the catalog " + path_.toStdString() + " is damaged");
    const QJsonObject root = doc.object();
    lsnCounter_ = std::max(root.value(QStringLiteral("lsnCounter")).toInteger(37), savedLsn);
    for (const QJsonValue& v : root.value(QStringLiteral("databases")).toArray())
        databases_.push_back(fromJson(v.toObject()));
    // Everything else relies on dbid order; a catalog edited by hand may not keep it.
    std::stable_sort(databases_.begin(), databases_.end(),
                     [](const Database& a, const Database& b) { return a.dbid < b.dbid; });
}

QJsonObject Catalog::toJson(const Database& db) {
    QJsonArray files;
    for (const DatabaseFile& f : db.files) {
        files.append(QJsonObject{{QStringLiteral("logicalName"), f.logicalName},
                                 {QStringLiteral("physicalName"), f.physicalName},
                                 {QStringLiteral("type"), QString(f.type)},
                                 {QStringLiteral("fileId"), f.fileId}});
    }
    return QJsonObject{{QStringLiteral("name"), db.name},
                       {QStringLiteral("dbid"), db.dbid},
                       {QStringLiteral("created"), db.created.toString(Qt::ISODateWithMs)},
                       {QStringLiteral("compatibilityLevel"), db.compatibilityLevel},
                       {QStringLiteral("recoveryModel"), db.recoveryModel},
                       {QStringLiteral("state"), db.state},
                       {QStringLiteral("singleUser"), db.singleUser},
                       {QStringLiteral("files"), files}};
}

Database Catalog::fromJson(const QJsonObject& o) {
    Database db;
    db.name = o.value(QStringLiteral("name")).toString();
    db.dbid = o.value(QStringLiteral("dbid")).toInt();
    db.created = QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
    db.compatibilityLevel = o.value(QStringLiteral("compatibilityLevel")).toInt(150);
    db.recoveryModel = o.value(QStringLiteral("recoveryModel")).toString(QStringLiteral("SIMPLE"));
    db.state = o.value(QStringLiteral("state")).toString(QStringLiteral("ONLINE"));
    db.singleUser = o.value(QStringLiteral("singleUser")).toBool();
    for (const QJsonValue& fv : o.value(QStringLiteral("files")).toArray()) {
        const QJsonObject f = fv.toObject();
        DatabaseFile df;
        df.logicalName = f.value(QStringLiteral("logicalName")).toString();
        df.physicalName = f.value(QStringLiteral("physicalName")).toString();
        const QString type = f.value(QStringLiteral("type")).toString(QStringLiteral("D"));
        df.type = type.isEmpty() ? u'D' : type.at(0);
        df.fileId = f.value(QStringLiteral("fileId")).toInt(1);
        db.files.push_back(df);
    }
    return db;
}

void Catalog::save() const {
    QJsonArray dbs;
    for (const Database& db : databases_)
        dbs.append(toJson(db));
    const QJsonObject root{
        {QStringLiteral("format"), 1}, {QStringLiteral("lsnCounter"), lsnCounter_}, {QStringLiteral("databases"), dbs}};
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit())
        throw std::runtime_error("cannot write the catalog " + path_.toStdString());
}

const Database* Catalog::find(const QString& name) const {
    return const_cast<Catalog*>(this)->locate(name);
}

Database* Catalog::locate(const QString& name) {
    if (dbidByName_.size() != qsizetype(databases_.size())) {
        dbidByName_.clear();
        for (const Database& db : databases_)
            dbidByName_.insert(db.name.toCaseFolded(), db.dbid);
    }
    const auto dbid = dbidByName_.constFind(name.toCaseFolded());
    if (dbid == dbidByName_.cend())
        return nullptr;
    const auto at = std::lower_bound(databases_.begin(), databases_.end(), dbid.value(),
                                     [](const Database& d, int wanted) { return d.dbid < wanted; });
    return at != databases_.end() && at->dbid == dbid.value() ? &*at : nullptr;
}

void Catalog::put(Database db) {
    if (Database* existing = locate(db.name)) {
        if (db.dbid == 0 || db.dbid == existing->dbid) {
            db.dbid = existing->dbid;
            *existing = std::move(db);
            return;
        }
        // Another dbid for the same name: the entry moves to its place in dbid order.
        databases_.erase(databases_.begin() + (existing - databases_.data()));
    }
    if (db.dbid == 0)
        db.dbid = nextDbid();
    // Kept in dbid order; inserting in place keeps a bulk load linear per database.
    const auto at = std::upper_bound(databases_.begin(), databases_.end(), db.dbid,
                                     [](int dbid, const Database& d) { return dbid < d.dbid; });
    dbidByName_.insert(db.name.toCaseFolded(), db.dbid);
    databases_.insert(at, std::move(db));
}

void Catalog::remove(const QString& name) {
    databases_.erase(
        std::remove_if(databases_.begin(), databases_.end(),
                       [&name](const Database& db) { return db.name.compare(name, Qt::CaseInsensitive) == 0; }),
        databases_.end());
}

int Catalog::nextDbid() const {
    // The list is in dbid order, so the last one is the highest.
    return databases_.empty() ? 5 : std::max(5, databases_.back().dbid + 1);
}

bool Catalog::hasUserDatabase() const {
    return std::any_of(databases_.begin(), databases_.end(), [](const Database& db) { return db.dbid > 4; });
}

const Database* Catalog::ownerOf(const QString& physicalName) const {
    const QString wanted = normalizedPath(physicalName);
    for (const Database& db : databases_)
        for (const DatabaseFile& f : db.files)
            if (normalizedPath(f.physicalName) == wanted)
                return &db;
    return nullptr;
}

qint64 Catalog::nextLsn() {
    return ++lsnCounter_;
}

QString Catalog::lsnPath() const {
    return path_ + QStringLiteral(".lsn");
}

void Catalog::saveLsn() const {
    if (!replaceFile(lsnPath(), QByteArray::number(lsnCounter_)))
        throw std::runtime_error("cannot write the LSN counter " + lsnPath().toStdString());
}

} // namespace sqlsim
