#include "BackupFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace sqlsim {
namespace {

const QByteArray magic("SQLSIMBK");
constexpr qint64 hashSize = 32;
constexpr qint64 maxHeaderSize = 16 * 1024 * 1024;

QByteArray sha256(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

QString dateText(const QDateTime& d) {
    return d.toString(Qt::ISODateWithMs);
}
QDateTime dateValue(const QJsonValue& v) {
    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
}
QString lsnText(qint64 v) {
    return QString::number(v);
}

QJsonObject toJson(const BackupSetHeader& h) {
    QJsonArray files;
    for (const BackupSetFile& f : h.files) {
        files.append(QJsonObject{{QStringLiteral("logicalName"), f.logicalName},
                                 {QStringLiteral("physicalName"), f.physicalName},
                                 {QStringLiteral("type"), QString(f.type)},
                                 {QStringLiteral("fileId"), f.fileId},
                                 {QStringLiteral("size"), QString::number(f.size)}});
    }
    return QJsonObject{
        {QStringLiteral("backupName"), h.backupName},
        {QStringLiteral("backupDescription"), h.backupDescription},
        {QStringLiteral("databaseName"), h.databaseName},
        {QStringLiteral("databaseCreated"), dateText(h.databaseCreated)},
        {QStringLiteral("backupStart"), dateText(h.backupStart)},
        {QStringLiteral("backupFinish"), dateText(h.backupFinish)},
        {QStringLiteral("userName"), h.userName},
        {QStringLiteral("serverName"), h.serverName},
        {QStringLiteral("machineName"), h.machineName},
        {QStringLiteral("databaseVersion"), h.databaseVersion},
        {QStringLiteral("versionMajor"), h.versionMajor},
        {QStringLiteral("versionMinor"), h.versionMinor},
        {QStringLiteral("versionBuild"), h.versionBuild},
        {QStringLiteral("checksums"), h.checksums},
        {QStringLiteral("copyOnly"), h.copyOnly},
        {QStringLiteral("compressed"), h.compressed},
        {QStringLiteral("compressedSize"), QString::number(h.compressedSize)},
        {QStringLiteral("compatibilityLevel"), h.compatibilityLevel},
        {QStringLiteral("recoveryModel"), h.recoveryModel},
        {QStringLiteral("collation"), h.collation},
        {QStringLiteral("firstLsn"), lsnText(h.firstLsn)},
        {QStringLiteral("lastLsn"), lsnText(h.lastLsn)},
        {QStringLiteral("checkpointLsn"), lsnText(h.checkpointLsn)},
        {QStringLiteral("databaseBackupLsn"), lsnText(h.databaseBackupLsn)},
        {QStringLiteral("backupSetGuid"), h.backupSetGuid.toString()},
        {QStringLiteral("familyGuid"), h.familyGuid.toString()},
        {QStringLiteral("bindingId"), h.bindingId.toString()},
        {QStringLiteral("recoveryForkId"), h.recoveryForkId.toString()},
        {QStringLiteral("files"), files},
    };
}

bool fromJson(const QByteArray& bytes, BackupSetHeader* h) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    h->backupName = o.value(QStringLiteral("backupName")).toString();
    h->backupDescription = o.value(QStringLiteral("backupDescription")).toString();
    h->databaseName = o.value(QStringLiteral("databaseName")).toString();
    h->databaseCreated = dateValue(o.value(QStringLiteral("databaseCreated")));
    h->backupStart = dateValue(o.value(QStringLiteral("backupStart")));
    h->backupFinish = dateValue(o.value(QStringLiteral("backupFinish")));
    h->userName = o.value(QStringLiteral("userName")).toString();
    h->serverName = o.value(QStringLiteral("serverName")).toString();
    h->machineName = o.value(QStringLiteral("machineName")).toString();
    h->databaseVersion = o.value(QStringLiteral("databaseVersion")).toInt(904);
    h->compatibilityLevel = o.value(QStringLiteral("compatibilityLevel")).toInt(150);
    h->versionMajor = o.value(QStringLiteral("versionMajor")).toInt(15);
    h->versionMinor = o.value(QStringLiteral("versionMinor")).toInt(0);
    h->versionBuild = o.value(QStringLiteral("versionBuild")).toInt(2000);
    h->checksums = o.value(QStringLiteral("checksums")).toBool();
    h->copyOnly = o.value(QStringLiteral("copyOnly")).toBool();
    h->compressed = o.value(QStringLiteral("compressed")).toBool();
    h->compressedSize = o.value(QStringLiteral("compressedSize")).toString().toLongLong();
    h->recoveryModel = o.value(QStringLiteral("recoveryModel")).toString();
    h->collation = o.value(QStringLiteral("collation")).toString();
    h->firstLsn = o.value(QStringLiteral("firstLsn")).toString().toLongLong();
    h->lastLsn = o.value(QStringLiteral("lastLsn")).toString().toLongLong();
    h->checkpointLsn = o.value(QStringLiteral("checkpointLsn")).toString().toLongLong();
    h->databaseBackupLsn = o.value(QStringLiteral("databaseBackupLsn")).toString().toLongLong();
    h->backupSetGuid = QUuid::fromString(o.value(QStringLiteral("backupSetGuid")).toString());
    h->familyGuid = QUuid::fromString(o.value(QStringLiteral("familyGuid")).toString());
    h->bindingId = QUuid::fromString(o.value(QStringLiteral("bindingId")).toString());
    h->recoveryForkId = QUuid::fromString(o.value(QStringLiteral("recoveryForkId")).toString());
    const QJsonArray files = o.value(QStringLiteral("files")).toArray();
    if (h->databaseName.isEmpty() || files.isEmpty())
        return false;
    for (const QJsonValue& v : files) {
        const QJsonObject f = v.toObject();
        BackupSetFile file;
        file.logicalName = f.value(QStringLiteral("logicalName")).toString();
        file.physicalName = f.value(QStringLiteral("physicalName")).toString();
        const QString type = f.value(QStringLiteral("type")).toString();
        file.type = type.isEmpty() ? u'D' : type.at(0);
        file.fileId = f.value(QStringLiteral("fileId")).toInt(1);
        bool ok = false;
        file.size = f.value(QStringLiteral("size")).toString().toLongLong(&ok);
        // Sizes beyond any real database file are damage, and would overflow the offsets.
        if (!ok || file.size < 0 || file.size > (qint64(1) << 44))
            return false;
        h->files.push_back(file);
    }
    return true;
}

} // namespace

qint64 BackupSetHeader::payloadSize() const {
    qint64 total = 0;
    for (const BackupSetFile& f : files)
        total += f.size;
    return total;
}

QByteArray BackupFile::encode(const BackupSetHeader& header, const std::vector<QByteArray>& fileBytes) {
    const QByteArray json = QJsonDocument(toJson(header)).toJson(QJsonDocument::Compact);
    QByteArray out = magic;
    char word[4];
    qToLittleEndian<quint32>(formatVersion, word);
    out.append(word, 4);
    qToLittleEndian<quint32>(static_cast<quint32>(json.size()), word);
    out.append(word, 4);
    out += json;
    out += sha256(json);
    QCryptographicHash payloadHash(QCryptographicHash::Sha256);
    for (const QByteArray& bytes : fileBytes) {
        out += bytes;
        payloadHash.addData(bytes);
    }
    out += payloadHash.result();
    return out;
}

BackupFile::Listing BackupFile::list(const QString& hostPath) {
    Listing listing;
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly)) {
        listing.problem = Problem::Unreadable;
        return listing;
    }
    const qint64 total = file.size();
    if (total == 0) {
        listing.problem = Problem::Empty;
        return listing;
    }
    qint64 offset = 0;
    while (offset < total) {
        file.seek(offset);
        const QByteArray head = file.read(16);
        if (head.size() < 16 || !head.startsWith(magic)) {
            // A tail that is the start of a set was cut short; anything else is not ours.
            listing.problem = offset > 0 && magic.startsWith(head.left(8)) ? Problem::Truncated : Problem::NotBackup;
            return listing;
        }
        const quint32 version = qFromLittleEndian<quint32>(head.constData() + 8);
        const quint32 headerSize = qFromLittleEndian<quint32>(head.constData() + 12);
        if (version != formatVersion || headerSize == 0 || headerSize > maxHeaderSize) {
            listing.problem = Problem::NotBackup;
            return listing;
        }
        if (offset + 16 + headerSize + hashSize > total) {
            listing.problem = Problem::Truncated;
            return listing;
        }
        const QByteArray json = file.read(headerSize);
        const QByteArray hash = file.read(hashSize);
        BackupSetHeader header;
        if (sha256(json) != hash || !fromJson(json, &header)) {
            listing.problem = Problem::NotBackup;
            return listing;
        }
        header.position = static_cast<int>(listing.sets.size()) + 1;
        header.payloadOffset = offset + 16 + headerSize + hashSize;
        const qint64 end = header.payloadOffset + header.payloadSize() + hashSize;
        if (end > total || end < header.payloadOffset) {
            listing.problem = Problem::Truncated;
            return listing;
        }
        listing.sets.push_back(std::move(header));
        offset = end;
    }
    return listing;
}

BackupFile::Problem BackupFile::readFiles(const QString& hostPath, const BackupSetHeader& header,
                                          std::vector<QByteArray>* out) {
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return Problem::Unreadable;
    if (!file.seek(header.payloadOffset))
        return Problem::Truncated;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    out->clear();
    for (const BackupSetFile& f : header.files) {
        QByteArray bytes = file.read(f.size);
        if (bytes.size() != f.size)
            return Problem::Truncated;
        hash.addData(bytes);
        out->push_back(std::move(bytes));
    }
    const QByteArray stored = file.read(hashSize);
    if (stored.size() != hashSize)
        return Problem::Truncated;
    if (stored != hash.result())
        return Problem::NotBackup;
    return Problem::None;
}

} // namespace sqlsim
