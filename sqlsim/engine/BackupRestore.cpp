#include "BackupRestore.h"

#include "FileReplace.h"
#include "MessageCatalog.h"
#include "ServerVersion.h"
#include "ProgressMeter.h"
#include "SqlError.h"
#include "StagedRestore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <map>

namespace sqlsim {
namespace {

constexpr qint64 pageSize = 8192;

[[noreturn]] void fail(std::vector<Message> messages, const QString& statementName) {
    messages.push_back(MessageCatalog::make(3013, {statementName}));
    throw SqlError(std::move(messages));
}

[[noreturn]] void fail(Message message, const QString& statementName) {
    fail(std::vector<Message>{std::move(message)}, statementName);
}

QDateTime wholeSeconds(QDateTime t) {
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return t;
}

const MediaOption* option(const Statement& st, const char* name) {
    for (const MediaOption& o : st.options)
        if (o.name == QLatin1String(name))
            return &o;
    return nullptr;
}

QString textOption(const Statement& st, const char* name) {
    const MediaOption* o = option(st, name);
    if (!o || !o->value)
        return QString();
    if (const auto* text = std::get_if<QString>(&*o->value))
        return *text;
    return QString::number(std::get<qint64>(*o->value));
}

// WITH STATS [= n]: a "n percent processed." message at every n percent; STATS alone means 10.
int statsStep(const Statement& st) {
    const MediaOption* o = option(st, "STATS");
    if (!o)
        return 0;
    if (o->value && std::holds_alternative<qint64>(*o->value))
        return int(std::clamp<qint64>(std::get<qint64>(*o->value), 1, 100));
    return 10;
}

std::optional<qint64> fileNumber(const Statement& st) {
    const MediaOption* o = option(st, "FILE");
    if (!o || !o->value)
        return std::nullopt;
    if (const auto* n = std::get_if<qint64>(&*o->value))
        return *n;
    bool ok = false;
    const qint64 n = std::get_if<QString>(&*o->value) ? std::get<QString>(*o->value).toLongLong(&ok) : 0;
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

// Moves the given amount of data at delay-per-MB, in small steps so that an attention stops it
// and the progress messages go out as the data moves.
void pace(const ExecContext& context, qint64 bytes, ProgressMeter& progress) {
    const qint64 totalMs =
        static_cast<qint64>(std::llround(double(context.engine.config.delayPerMbMs) * double(bytes) / 1048576.0));
    QElapsedTimer timer;
    timer.start();
    qint64 moved = 0;
    while (true) {
        if (context.cancel.isCancelled())
            throw StatementCancelled();
        const qint64 elapsed = timer.elapsed();
        const qint64 nowMoved = totalMs <= 0 ? bytes : std::min(bytes, bytes * elapsed / totalMs);
        progress.advance(nowMoved - moved);
        moved = nowMoved;
        if (moved >= bytes)
            return;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(totalMs - elapsed, 10)));
    }
}

void checkCancel(const ExecContext& context) {
    if (context.cancel.isCancelled())
        throw StatementCancelled();
}

QString seconds3(double s) {
    return QString::number(s, 'f', 3);
}

void reportSuccess(const ExecContext& context, const QString& statementName, const QString& database,
                   const std::vector<std::pair<QString, qint64>>& files, int position, qint64 elapsedMs) {
    qint64 totalPages = 0;
    qint64 totalBytes = 0;
    for (const auto& [logical, size] : files) {
        const qint64 pages = (size + pageSize - 1) / pageSize;
        totalPages += pages;
        totalBytes += size;
        context.sink.add(
            MessageCatalog::make(4035, {QString::number(pages), database, logical, QString::number(position)}));
    }
    const double secs = std::max(0.001, double(elapsedMs) / 1000.0);
    const double rate = double(totalBytes) / 1048576.0 / secs;
    context.sink.add(
        MessageCatalog::make(3014, {statementName, QString::number(totalPages), seconds3(secs), seconds3(rate)}));
}

// Opens a backup device for reading and lists its sets, or fails as the server does.
struct OpenedDevice {
    QString host;
    BackupFile::Listing listing;
};

OpenedDevice openDevice(const ExecContext& context, const QString& path, const QString& statementName) {
    const DriveMap& drives = context.engine.drives;
    const auto host = drives.toHost(path);
    const auto parent = drives.parentOnHost(path);
    if (!host || !QFileInfo::exists(*host)) {
        const bool parentExists = parent && QFileInfo(*parent).isDir();
        fail(MessageCatalog::make(3201, {path, parentExists ? OsError::fileNotFound : OsError::pathNotFound},
                                  DeviceState::open),
             statementName);
    }
    if (QFileInfo(*host).isDir())
        fail(MessageCatalog::make(3201, {path, OsError::accessDenied}, DeviceState::open), statementName);
    {
        std::lock_guard lock(context.engine.mutex);
        if (context.engine.ownerOfHostPath(*host))
            fail(MessageCatalog::make(3201, {path, OsError::sharingViolation}, DeviceState::open), statementName);
    }
    OpenedDevice device{*host, BackupFile::list(*host)};
    switch (device.listing.problem) {
    case BackupFile::Problem::None:
        break;
    case BackupFile::Problem::Unreadable:
        fail(MessageCatalog::make(3201, {path, OsError::accessDenied}, DeviceState::open), statementName);
    case BackupFile::Problem::Empty:
        fail(MessageCatalog::make(3254, {path}), statementName);
    case BackupFile::Problem::NotBackup:
        fail(MessageCatalog::make(3241, {path}), statementName);
    case BackupFile::Problem::Truncated:
        fail(MessageCatalog::make(3203, {path, OsError::endOfFile}), statementName);
    }
    return device;
}

const BackupSetHeader& chooseSet(const OpenedDevice& device, qint64 number, const QString& path,
                                 const QString& statementName) {
    if (number < 1 || number > qint64(device.listing.sets.size()))
        fail(MessageCatalog::make(4038, {QString::number(number), path}), statementName);
    return device.listing.sets[size_t(number - 1)];
}

// Whether the service account may not write in this host directory: one listed by --deny-write,
// or one without any write permission bit. Both are checked by hand because a simulator running
// as root may write anywhere.
bool writeDenied(const EngineState& engine, const QString& hostDirectory) {
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!(QFileInfo(hostDirectory).permissions() & anyWrite))
        return true;
    const QString dir = QDir::cleanPath(hostDirectory) + u'/';
    for (const QString& denied : engine.config.denyWrite) {
        const auto host = engine.drives.toHost(denied);
        if (host && dir.startsWith(QDir::cleanPath(*host) + u'/'))
            return true;
    }
    return false;
}

bool isExpress(const EngineState& engine) {
    return engine.config.edition.startsWith(QLatin1String("Express"), Qt::CaseInsensitive);
}

// What a compressed set would take: the files' bytes deflated one by one.
qint64 compressedSize(const std::vector<QByteArray>& contents) {
    qint64 total = 0;
    for (const QByteArray& bytes : contents)
        total += qCompress(bytes, 1).size() - 4; // qCompress prefixes the length
    return total;
}

QString sameFileKey(const QString& hostPath) {
    return QDir::cleanPath(hostPath).toLower();
}

} // namespace

ResultSet BackupRestore::headerColumns() {
    ResultSet rs;
    rs.columns = {
        column("BackupName", SqlType::NVarChar, 128),
        column("BackupDescription", SqlType::NVarChar, 255),
        column("BackupType", SqlType::SmallInt),
        column("ExpirationDate", SqlType::DateTime),
        column("Compressed", SqlType::Bit),
        column("Position", SqlType::SmallInt),
        column("DeviceType", SqlType::TinyInt),
        column("UserName", SqlType::NVarChar, 128),
        column("ServerName", SqlType::NVarChar, 128),
        column("DatabaseName", SqlType::NVarChar, 128),
        column("DatabaseVersion", SqlType::Int),
        column("DatabaseCreationDate", SqlType::DateTime),
        column("BackupSize", SqlType::Numeric, 0, true, 20),
        column("FirstLSN", SqlType::Numeric, 0, true, 25),
        column("LastLSN", SqlType::Numeric, 0, true, 25),
        column("CheckpointLSN", SqlType::Numeric, 0, true, 25),
        column("DatabaseBackupLSN", SqlType::Numeric, 0, true, 25),
        column("BackupStartDate", SqlType::DateTime),
        column("BackupFinishDate", SqlType::DateTime),
        column("SortOrder", SqlType::SmallInt),
        column("CodePage", SqlType::SmallInt),
        column("UnicodeLocaleId", SqlType::Int),
        column("UnicodeComparisonStyle", SqlType::Int),
        column("CompatibilityLevel", SqlType::TinyInt),
        column("SoftwareVendorId", SqlType::Int),
        column("SoftwareVersionMajor", SqlType::Int),
        column("SoftwareVersionMinor", SqlType::Int),
        column("SoftwareVersionBuild", SqlType::Int),
        column("MachineName", SqlType::NVarChar, 128),
        column("Flags", SqlType::Int),
        column("BindingID", SqlType::UniqueIdentifier),
        column("RecoveryForkID", SqlType::UniqueIdentifier),
        column("Collation", SqlType::NVarChar, 128),
        column("FamilyGUID", SqlType::UniqueIdentifier),
        column("HasBulkLoggedData", SqlType::Bit),
        column("IsSnapshot", SqlType::Bit),
        column("IsReadOnly", SqlType::Bit),
        column("IsSingleUser", SqlType::Bit),
        column("HasBackupChecksums", SqlType::Bit),
        column("IsDamaged", SqlType::Bit),
        column("BeginsLogChain", SqlType::Bit),
        column("HasIncompleteMetaData", SqlType::Bit),
        column("IsForceOffline", SqlType::Bit),
        column("IsCopyOnly", SqlType::Bit),
        column("FirstRecoveryForkID", SqlType::UniqueIdentifier),
        column("ForkPointLSN", SqlType::Numeric, 0, true, 25),
        column("RecoveryModel", SqlType::NVarChar, 60),
        column("DifferentialBaseLSN", SqlType::Numeric, 0, true, 25),
        column("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        column("BackupTypeDescription", SqlType::NVarChar, 60),
        column("BackupSetGUID", SqlType::UniqueIdentifier),
        column("CompressedBackupSize", SqlType::BigInt),
        column("Containment", SqlType::TinyInt),
        column("KeyAlgorithm", SqlType::NVarChar, 32),
        column("EncryptorThumbprint", SqlType::VarBinary, 20),
        column("EncryptorType", SqlType::NVarChar, 32),
    };
    return rs;
}

ResultSet BackupRestore::fileListColumns() {
    ResultSet rs;
    rs.columns = {
        column("LogicalName", SqlType::NVarChar, 128),
        column("PhysicalName", SqlType::NVarChar, 260),
        column("Type", SqlType::Char, 1),
        column("FileGroupName", SqlType::NVarChar, 128),
        column("Size", SqlType::Numeric, 0, true, 20),
        column("MaxSize", SqlType::Numeric, 0, true, 20),
        column("FileId", SqlType::BigInt),
        column("CreateLSN", SqlType::Numeric, 0, true, 25),
        column("DropLSN", SqlType::Numeric, 0, true, 25),
        column("UniqueId", SqlType::UniqueIdentifier),
        column("ReadOnlyLSN", SqlType::Numeric, 0, true, 25),
        column("ReadWriteLSN", SqlType::Numeric, 0, true, 25),
        column("BackupSizeInBytes", SqlType::BigInt),
        column("SourceBlockSize", SqlType::Int),
        column("FileGroupId", SqlType::Int),
        column("LogGroupGUID", SqlType::UniqueIdentifier),
        column("DifferentialBaseLSN", SqlType::Numeric, 0, true, 25),
        column("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        column("IsReadOnly", SqlType::Bit),
        column("IsPresent", SqlType::Bit),
        column("TDEThumbprint", SqlType::VarBinary, 32),
        column("SnapshotUrl", SqlType::NVarChar, 360),
    };
    return rs;
}

Done BackupRestore::backup(const ExecContext& context, const Statement& st) {
    const QString statementName = st.backupLog ? QStringLiteral("BACKUP LOG") : QStringLiteral("BACKUP DATABASE");
    if (context.session.tranCount > 0)
        fail(MessageCatalog::make(3021), statementName);
    if (option(st, "COMPRESSION") && isExpress(context.engine))
        fail(MessageCatalog::make(1844,
                                  {statementName + QStringLiteral(" WITH COMPRESSION"), context.engine.config.edition}),
             statementName);
    Database db;
    {
        std::lock_guard lock(context.engine.mutex);
        const Database* found = context.engine.catalog.find(st.database);
        if (!found)
            fail(MessageCatalog::make(911, {st.database}), statementName);
        db = *found;
    }
    if (db.dbid == 2)
        fail(MessageCatalog::make(3147), statementName);
    // Unconfirmed which message a server gives here; 927 is what opening such a database gives.
    if (db.isRestoring())
        fail(MessageCatalog::make(927, {db.name}), statementName);
    if (!context.session.sysadmin)
        fail(MessageCatalog::make(262, {statementName, db.name}), statementName);
    if (st.backupLog)
        fail(MessageCatalog::make(4208), statementName);
    // Striped media sets are not simulated; every backup goes to one file.
    const QString path = st.disks.value(0);
    const DriveMap& drives = context.engine.drives;
    const auto host = drives.toHost(path);
    const auto parent = drives.parentOnHost(path);
    if (!host || !parent || !QFileInfo(*parent).isDir())
        fail(MessageCatalog::make(3201, {path, OsError::pathNotFound}), statementName);
    if (QFileInfo(*host).isDir() || writeDenied(context.engine, *parent))
        fail(MessageCatalog::make(3201, {path, OsError::accessDenied}), statementName);
    {
        // The server holds every database file open: a backup can never land on one.
        std::lock_guard lock(context.engine.mutex);
        if (context.engine.ownerOfHostPath(*host))
            fail(MessageCatalog::make(3201, {path, OsError::sharingViolation}), statementName);
    }
    const bool overwrite = option(st, "INIT") || option(st, "FORMAT");

    std::vector<QByteArray> contents;
    std::vector<std::pair<QString, qint64>> report;
    BackupSetHeader header;
    qint64 totalBytes = 0;
    for (const DatabaseFile& f : db.files) {
        const QString fileHost = context.engine.hostPathOf(f.physicalName);
        QFile file(fileHost);
        if (fileHost.isEmpty() || !file.open(QIODevice::ReadOnly))
            fail(MessageCatalog::make(3203, {f.physicalName, OsError::fileNotFound}), statementName);
        QByteArray bytes = file.readAll();
        header.files.push_back({f.logicalName, f.physicalName, f.type, f.fileId, bytes.size()});
        report.emplace_back(f.logicalName, bytes.size());
        totalBytes += bytes.size();
        contents.push_back(std::move(bytes));
    }

    QElapsedTimer timer;
    timer.start();
    header.backupStart = wholeSeconds(QDateTime::currentDateTime());
    ProgressMeter progress(context.sink, totalBytes, statsStep(st));
    pace(context, totalBytes, progress);
    header.backupFinish = wholeSeconds(QDateTime::currentDateTime());
    header.backupName = textOption(st, "NAME");
    header.backupDescription = textOption(st, "DESCRIPTION");
    header.databaseName = db.name;
    header.databaseCreated = wholeSeconds(db.created);
    header.userName = context.session.login;
    header.serverName = context.engine.config.serverName;
    header.machineName = context.engine.config.serverName;
    header.compatibilityLevel = db.compatibilityLevel;
    header.recoveryModel = db.recoveryModel;
    const ServerVersion version = ServerVersion::parse(context.engine.config.productVersion);
    header.versionMajor = version.major;
    header.versionMinor = version.minor;
    header.versionBuild = version.build;
    header.databaseVersion = version.databaseVersion();
    header.copyOnly = option(st, "COPY_ONLY") != nullptr;
    header.compressed = option(st, "COMPRESSION") != nullptr;
    // A compressed backup carries checksums unless told otherwise.
    header.checksums = option(st, "CHECKSUM") || (header.compressed && !option(st, "NO_CHECKSUM"));
    if (header.compressed)
        header.compressedSize = compressedSize(contents);
    header.backupSetGuid = QUuid::createUuid();
    header.familyGuid = QUuid::createUuid();
    header.bindingId = QUuid::createUuid();
    header.recoveryForkId = QUuid::createUuid();
    {
        std::lock_guard lock(context.engine.mutex);
        const qint64 vlf = context.engine.catalog.nextLsn();
        header.firstLsn = vlf * 1000000000000000LL + 100000LL + 1;
        header.lastLsn = header.firstLsn + 200000;
        header.checkpointLsn = header.firstLsn;
        header.databaseBackupLsn = header.firstLsn > 1000000000000000LL ? header.firstLsn - 1000000000000000LL : 0;
        try {
            context.engine.catalog.saveLsn();
        } catch (const std::exception&) {
            // The counter only needs to grow within this run; the next successful save keeps it.
        }
    }
    checkCancel(context);

    int position = 1;
    {
        std::lock_guard fileLock(context.engine.backupFileMutex);
        QByteArray existing;
        if (!overwrite && QFileInfo::exists(*host)) {
            const BackupFile::Listing listing = BackupFile::list(*host);
            if (listing.problem == BackupFile::Problem::Unreadable)
                fail(MessageCatalog::make(3201, {path, OsError::accessDenied}), statementName);
            if (listing.problem != BackupFile::Problem::None && listing.problem != BackupFile::Problem::Empty)
                fail(MessageCatalog::make(3241, {path}), statementName);
            position = static_cast<int>(listing.sets.size()) + 1;
            QFile old(*host);
            if (!old.open(QIODevice::ReadOnly))
                fail(MessageCatalog::make(3201, {path, OsError::accessDenied}), statementName);
            existing = old.readAll();
        }
        // The whole file is rewritten and renamed into place: a failure leaves the old sets intact.
        // As QSaveFile would: a directory or an existing file that may not be written is refused.
        if (!QFileInfo(*parent).isWritable() || (QFileInfo::exists(*host) && !QFileInfo(*host).isWritable()))
            fail(MessageCatalog::make(3201, {path, OsError::accessDenied}), statementName);
        if (!replaceFile(*host, existing, BackupFile::encode(header, contents)))
            fail(MessageCatalog::make(3202, {path, OsError::diskFull}), statementName);
    }
    progress.finish();
    reportSuccess(context, statementName, db.name, report, position, timer.elapsed());
    Done done;
    done.currentCommand = doneCommand::None;
    return done;
}

Done BackupRestore::headerOnly(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("RESTORE HEADERONLY");
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    std::vector<const BackupSetHeader*> sets;
    if (const auto number = fileNumber(st)) {
        sets.push_back(&chooseSet(device, *number, path, statementName));
    } else {
        for (const BackupSetHeader& h : device.listing.sets)
            sets.push_back(&h);
    }
    ResultSet rs = headerColumns();
    for (const BackupSetHeader* h : sets) {
        const qint64 size = h->payloadSize() + 2 * pageSize;
        // Flags as a real server sets them: 512 always, 16 with checksums, 1024 copy-only.
        const qint64 flags = 512 + (h->checksums ? 16 : 0) + (h->copyOnly ? 1024 : 0);
        rs.rows.push_back({
            h->backupName.isEmpty() ? Value(Null{}) : Value(h->backupName),
            h->backupDescription.isEmpty() ? Value(Null{}) : Value(h->backupDescription),
            qint64(1),
            Null{},
            h->compressed,
            qint64(h->position),
            qint64(2),
            h->userName,
            h->serverName,
            h->databaseName,
            qint64(h->databaseVersion),
            h->databaseCreated,
            size,
            h->firstLsn,
            h->lastLsn,
            h->checkpointLsn,
            h->databaseBackupLsn,
            h->backupStart,
            h->backupFinish,
            qint64(0),
            qint64(0),
            qint64(2052),
            qint64(196609),
            qint64(h->compatibilityLevel),
            qint64(4608),
            qint64(h->versionMajor),
            qint64(h->versionMinor),
            qint64(h->versionBuild),
            h->machineName,
            qint64(flags),
            h->bindingId,
            h->recoveryForkId,
            h->collation,
            h->familyGuid,
            false,
            false,
            false,
            false,
            h->checksums,
            false,
            false,
            false,
            false,
            h->copyOnly,
            h->recoveryForkId,
            Null{},
            h->recoveryModel,
            Null{},
            Null{},
            QStringLiteral("Database"),
            h->backupSetGuid,
            h->compressed ? h->compressedSize + 2 * pageSize : size,
            qint64(0),
            Null{},
            Null{},
            Null{},
        });
    }
    const Done done = Done::counted(doneCommand::Select, qint64(rs.rows.size()));
    context.sink.add(std::move(rs));
    return done;
}

Done BackupRestore::fileListOnly(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("RESTORE FILELIST");
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    const BackupSetHeader& h = chooseSet(device, fileNumber(st).value_or(1), path, statementName);
    ResultSet rs = fileListColumns();
    for (const BackupSetFile& f : h.files) {
        const bool data = f.type == u'D';
        rs.rows.push_back({
            f.logicalName,
            f.physicalName,
            QString(f.type),
            data ? Value(QStringLiteral("PRIMARY")) : Value(Null{}),
            f.size,
            data ? qint64(35184372080640LL) : qint64(2199023255552LL),
            qint64(f.fileId),
            qint64(0),
            qint64(0),
            QUuid::createUuidV5(h.familyGuid, f.logicalName),
            qint64(0),
            qint64(0),
            f.size,
            qint64(4096),
            qint64(data ? 1 : 0),
            Null{},
            qint64(0),
            QUuid(),
            false,
            true,
            Null{},
            Null{},
        });
    }
    const Done done = Done::counted(doneCommand::Select, qint64(rs.rows.size()));
    context.sink.add(std::move(rs));
    return done;
}

Done BackupRestore::verifyOnly(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("VERIFY DATABASE");
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    const BackupSetHeader& h = chooseSet(device, fileNumber(st).value_or(1), path, statementName);
    if (option(st, "CHECKSUM") && !h.checksums)
        fail(MessageCatalog::make(3187), statementName);
    std::vector<QByteArray> contents;
    const BackupFile::Problem problem = BackupFile::readFiles(device.host, h, &contents);
    if (problem == BackupFile::Problem::Truncated)
        fail(MessageCatalog::make(3203, {path, OsError::endOfFile}), statementName);
    // With checksums on the media the damage shows as such; without, as a bad page.
    if (problem != BackupFile::Problem::None && h.checksums)
        fail(MessageCatalog::make(3189), statementName);
    if (problem != BackupFile::Problem::None)
        fail(MessageCatalog::make(3183, {QStringLiteral("1"), QStringLiteral("0"), h.databaseName}), statementName);
    ProgressMeter(context.sink, 0, statsStep(st)).finish();
    context.sink.add(MessageCatalog::make(3262, {QString::number(h.position)}));
    Done done;
    done.currentCommand = doneCommand::None;
    return done;
}

namespace {

struct RestoreTarget {
    const BackupSetFile* file;
    QString windowsPath;
    QString host;
};

struct RestorePlan {
    std::vector<RestoreTarget> targets;
    std::optional<Database> existing;
};

// Target file of each logical file: its MOVE target, else where it was backed up from.
std::map<QString, QString> moveTargets(const Statement& st, const BackupSetHeader& set, const QString& statementName) {
    std::map<QString, QString> moves; // upper-case logical name -> Windows path
    for (const MediaOption& o : st.options) {
        if (o.name != QLatin1String("MOVE"))
            continue;
        bool known = false;
        for (const BackupSetFile& f : set.files)
            known = known || f.logicalName.compare(o.moveLogical, Qt::CaseInsensitive) == 0;
        if (!known)
            fail(MessageCatalog::make(3234, {o.moveLogical, set.databaseName}), statementName);
        moves[o.moveLogical.toUpper()] = o.moveTarget;
    }
    return moves;
}

// The restore journal could not be written: reported as the disk filling up would be.
Message journalFailure() {
    return MessageCatalog::make(3634, {OsError::diskFull, QStringLiteral("WriteFile"), QStringLiteral("journal")});
}

// Step one: every check the server makes before it touches a file. Problems with the target
// files are reported together, as the server does.
RestorePlan planRestore(const ExecContext& context, const Statement& st, const BackupSetHeader& set,
                        const QString& deviceHost, const QString& statementName) {
    const std::map<QString, QString> moves = moveTargets(st, set, statementName);
    const bool replace = option(st, "REPLACE") != nullptr;
    EngineState& engine = context.engine;
    RestorePlan plan;
    std::lock_guard lock(engine.mutex);
    if (const Database* db = engine.catalog.find(st.database))
        plan.existing = *db;
    const std::optional<Database>& existing = plan.existing;
    if (existing && existing->dbid == 2)
        fail(MessageCatalog::make(3147), statementName);
    if (!context.session.sysadmin) {
        if (existing)
            fail(MessageCatalog::make(3110, {existing->name}), statementName);
        fail(MessageCatalog::make(262, {QStringLiteral("CREATE DATABASE"), QStringLiteral("master")}), statementName);
    }
    // A database left RESTORING by a stopped restore already carries the backup's identity: the
    // server checks the backup's family, not the name, so restoring it again needs no REPLACE.
    if (existing && !existing->isRestoring() && existing->name.compare(set.databaseName, Qt::CaseInsensitive) != 0 &&
        !replace)
        fail(MessageCatalog::make(3154, {existing->name}), statementName);
    if (existing && context.session.database.compare(existing->name, Qt::CaseInsensitive) == 0)
        fail(MessageCatalog::make(3102, {existing->name}), statementName);
    if (existing) {
        bool inUse = existing->dbid <= 4;
        for (const auto& [spid, database] : engine.sessionDatabases)
            inUse =
                inUse || (spid != context.session.spid && database.compare(existing->name, Qt::CaseInsensitive) == 0);
        if (inUse)
            fail(MessageCatalog::make(3101), statementName);
    }

    std::vector<Message> problems;
    std::map<QString, const BackupSetFile*> claimed;
    for (const BackupSetFile& f : set.files) {
        const auto move = moves.find(f.logicalName.toUpper());
        const QString windowsPath = move != moves.end() ? move->second : f.physicalName;
        const auto host = engine.drives.toHost(windowsPath);
        const auto parent = engine.drives.parentOnHost(windowsPath);
        if (!host || !parent || !QFileInfo(*parent).isDir() || QFileInfo(*host).isDir()) {
            problems.push_back(MessageCatalog::make(5133, {windowsPath, OsError::pathNotFound}));
            problems.push_back(MessageCatalog::make(3156, {f.logicalName, windowsPath}, 3));
            continue;
        }
        const Database* owner = engine.ownerOfHostPath(*host);
        if (owner && !(existing && owner->dbid == existing->dbid)) {
            problems.push_back(MessageCatalog::make(1834, {windowsPath, owner->name}));
            problems.push_back(MessageCatalog::make(3156, {f.logicalName, windowsPath}, 4));
            continue;
        }
        if (!owner && !replace && QFileInfo::exists(*host)) {
            problems.push_back(MessageCatalog::make(3142, {f.logicalName, windowsPath}));
            continue;
        }
        if (sameFileKey(*host) == sameFileKey(deviceHost)) {
            // Writing over the backup being read would destroy it.
            problems.push_back(
                MessageCatalog::make(3634, {OsError::sharingViolation, QStringLiteral("CreateFileW"), windowsPath}));
            problems.push_back(MessageCatalog::make(3156, {f.logicalName, windowsPath}, 8));
            continue;
        }
        const QString key = sameFileKey(*host);
        if (const auto other = claimed.find(key); other != claimed.end()) {
            problems.push_back(MessageCatalog::make(3176, {windowsPath, other->second->logicalName,
                                                           QString::number(other->second->fileId), f.logicalName,
                                                           QString::number(f.fileId)}));
            continue;
        }
        claimed[key] = &f;
        plan.targets.push_back({&f, windowsPath, *host});
    }
    if (!problems.empty()) {
        problems.push_back(MessageCatalog::make(3119));
        fail(std::move(problems), statementName);
    }
    return plan;
}

// Step two: the new files, written beside their targets and paced as they are written.
void stageRestore(const ExecContext& context, const RestorePlan& plan, const std::vector<QByteArray>& contents,
                  StagedRestore& staged, ProgressMeter& progress, const QString& statementName) {
    for (size_t i = 0; i < plan.targets.size(); ++i) {
        if (!staged.write(i, contents[i]))
            fail(MessageCatalog::make(3634, {QStringLiteral("112(There is not enough space on the disk.)"),
                                             QStringLiteral("WriteFile"), plan.targets[i].windowsPath}),
                 statementName);
        pace(context, contents[i].size(), progress);
    }
}

// The catalog entry a restore of `set` over the plan's targets makes (engine lock held).
Database restoredEntry(EngineState& engine, const Statement& st, const BackupSetHeader& set, const RestorePlan& plan) {
    Database restored;
    restored.name = plan.existing ? plan.existing->name : st.database;
    restored.dbid = plan.existing ? plan.existing->dbid : engine.catalog.nextDbid();
    restored.created = wholeSeconds(QDateTime::currentDateTime());
    restored.compatibilityLevel = set.compatibilityLevel;
    restored.recoveryModel = set.recoveryModel.isEmpty() ? QStringLiteral("SIMPLE") : set.recoveryModel;
    for (const RestoreTarget& t : plan.targets)
        restored.files.push_back({t.file->logicalName, t.windowsPath, t.file->type, t.file->fileId});
    return restored;
}

// Files of the replaced database that the restore does not reuse: they go away, as on a server.
QStringList obsoleteFiles(const EngineState& engine, const RestorePlan& plan) {
    QStringList obsolete;
    if (!plan.existing)
        return obsolete;
    for (const DatabaseFile& old : plan.existing->files) {
        const QString oldHost = engine.hostPathOf(old.physicalName);
        bool reused = false;
        for (const RestoreTarget& t : plan.targets)
            reused = reused || sameFileKey(t.host) == sameFileKey(oldHost);
        if (!oldHost.isEmpty() && !reused)
            obsolete.append(oldHost);
    }
    return obsolete;
}

// Step three, under the engine's lock: the files swapped in and the catalog saved, or neither.
void commitRestore(const ExecContext& context, const Statement& st, const BackupSetHeader& set, const RestorePlan& plan,
                   StagedRestore& staged, const QString& statementName) {
    EngineState& engine = context.engine;
    const std::optional<Database>& existing = plan.existing;
    std::lock_guard lock(engine.mutex);
    // Another session may have taken a target while the files were copied.
    for (const RestoreTarget& t : plan.targets) {
        const Database* owner = engine.ownerOfHostPath(t.host);
        if (owner && !(existing && owner->dbid == existing->dbid))
            fail({MessageCatalog::make(1834, {t.windowsPath, owner->name}),
                  MessageCatalog::make(3156, {t.file->logicalName, t.windowsPath}, 4), MessageCatalog::make(3119)},
                 statementName);
    }
    Database restored = restoredEntry(engine, st, set, plan);
    // WITH NORECOVERY leaves the database waiting for further restores.
    if (option(st, "NORECOVERY"))
        restored.state = QStringLiteral("RESTORING");
    const QStringList obsolete = obsoleteFiles(engine, plan);
    std::optional<StagedRestore::RenameFailure> renameFailure;
    try {
        renameFailure = staged.swapIn(restored, obsolete);
    } catch (const std::runtime_error&) {
        fail(journalFailure(), statementName);
    }
    if (renameFailure)
        fail(MessageCatalog::make(3634, {QString::fromStdString(renameFailure->error.message()),
                                         QStringLiteral("MoveFile"), plan.targets[renameFailure->index].windowsPath}),
             statementName);
    engine.catalog.put(restored);
    try {
        engine.catalog.save();
    } catch (const std::exception&) {
        if (existing)
            engine.catalog.put(*existing);
        else
            engine.catalog.remove(restored.name);
        staged.swapOut();
        fail(MessageCatalog::make(3634, {OsError::diskFull, QStringLiteral("WriteFile"), QStringLiteral("catalog")}),
             statementName);
    }
    staged.finish();
}

// A restore stopped while its files were being written: as on a server, the old database is
// already overwritten, so the database stays, unusable, in the RESTORING state until a restore
// completes. Files of the old database that the restore does not reuse are gone.
void leaveRestoring(const ExecContext& context, const Statement& st, const BackupSetHeader& set,
                    const RestorePlan& plan) {
    EngineState& engine = context.engine;
    std::lock_guard lock(engine.mutex);
    Database stopped = restoredEntry(engine, st, set, plan);
    stopped.state = QStringLiteral("RESTORING");
    for (const QString& file : obsoleteFiles(engine, plan))
        QFile::remove(file);
    engine.catalog.put(stopped);
    try {
        engine.catalog.save();
    } catch (const std::exception&) {
        // The state holds for this run; the next save records it.
    }
}

} // namespace

Done BackupRestore::restoreDatabase(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("RESTORE DATABASE");
    if (context.session.tranCount > 0)
        fail(MessageCatalog::make(3021), statementName);
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    const BackupSetHeader& set = chooseSet(device, fileNumber(st).value_or(1), path, statementName);
    if (option(st, "CHECKSUM") && !set.checksums)
        fail(MessageCatalog::make(3187), statementName);
    const ServerVersion server = ServerVersion::parse(context.engine.config.productVersion);
    if (set.databaseVersion > server.databaseVersion()) {
        const auto spelled = [](int major, int minor, int build) {
            return QStringLiteral("%1.%2.%3")
                .arg(major)
                .arg(minor, 2, 10, QLatin1Char('0'))
                .arg(build, 4, 10, QLatin1Char('0'));
        };
        fail(MessageCatalog::make(3169, {spelled(set.versionMajor, set.versionMinor, set.versionBuild),
                                         spelled(server.major, server.minor, server.build)}),
             statementName);
    }
    const RestorePlan plan = planRestore(context, st, set, device.host, statementName);

    std::vector<QByteArray> contents;
    const BackupFile::Problem problem = BackupFile::readFiles(device.host, set, &contents);
    if (problem == BackupFile::Problem::Truncated)
        fail(MessageCatalog::make(3203, {path, OsError::endOfFile}), statementName);
    if (problem != BackupFile::Problem::None)
        fail(MessageCatalog::make(3183, {QStringLiteral("1"), QStringLiteral("0"), st.database}), statementName);

    QElapsedTimer timer;
    timer.start();
    QStringList targetHosts;
    for (const RestoreTarget& t : plan.targets)
        targetHosts << t.host;
    std::optional<StagedRestore> staged;
    try {
        staged.emplace(QDir(context.engine.config.stateDir).filePath(QStringLiteral("restores")), targetHosts,
                       context.engine.config.rename);
    } catch (const std::runtime_error&) {
        fail(journalFailure(), statementName);
    }
    qint64 totalBytes = 0;
    for (const QByteArray& c : contents)
        totalBytes += c.size();
    ProgressMeter progress(context.sink, totalBytes, statsStep(st));
    try {
        stageRestore(context, plan, contents, *staged, progress, statementName);
    } catch (const StatementCancelled&) {
        staged.reset(); // its temporaries go before the catalog names the targets
        leaveRestoring(context, st, set, plan);
        throw;
    }
    commitRestore(context, st, set, plan, *staged, statementName);

    std::vector<std::pair<QString, qint64>> report;
    for (const RestoreTarget& t : plan.targets)
        report.emplace_back(t.file->logicalName, t.file->size);
    progress.finish();
    reportSuccess(context, statementName, st.database, report, set.position, timer.elapsed());
    Done done;
    done.currentCommand = doneCommand::None;
    return done;
}

} // namespace sqlsim
