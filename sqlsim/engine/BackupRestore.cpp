#include "BackupRestore.h"

#include "FileReplace.h"
#include "MessageCatalog.h"
#include "RestoreJournal.h"
#include "SqlError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace sqlsim {
namespace {

constexpr qint64 pageSize = 8192;
constexpr quint16 cmdBackup = 0; // DONE's current command for BACKUP/RESTORE: not a row statement

Column col(const char* name, SqlType type, int size = 0, bool nullable = true, int precision = 0) {
    Column c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    c.nullable = nullable;
    c.precision = precision;
    return c;
}

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

// WITH STATS [= n]: "n percent processed." at every step, as the work goes.
void reportProgress(const ExecContext& context, const Statement& st) {
    const MediaOption* o = option(st, "STATS");
    if (!o)
        return;
    qint64 step = 10;
    if (o->value && std::holds_alternative<qint64>(*o->value))
        step = std::clamp<qint64>(std::get<qint64>(*o->value), 1, 100);
    for (qint64 percent = step; percent <= 100; percent += step)
        context.sink.add(MessageCatalog::make(3211, {QString::number(percent)}));
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

// Waits delay-per-MB for the given amount of data in small steps, so an attention stops it.
void pace(const ExecContext& context, qint64 bytes) {
    const qint64 totalMs =
        static_cast<qint64>(std::llround(double(context.engine.config.delayPerMbMs) * double(bytes) / 1048576.0));
    QElapsedTimer timer;
    timer.start();
    while (true) {
        if (context.cancel.isCancelled())
            throw StatementCancelled();
        const qint64 left = totalMs - timer.elapsed();
        if (left <= 0)
            return;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
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

QString sameFileKey(const QString& hostPath) {
    return QDir::cleanPath(hostPath).toLower();
}

std::filesystem::path fsPath(const QString& p) {
    return std::filesystem::path(QFile::encodeName(p).toStdString());
}

} // namespace

ResultSet BackupRestore::headerColumns() {
    ResultSet rs;
    rs.columns = {
        col("BackupName", SqlType::NVarChar, 128),
        col("BackupDescription", SqlType::NVarChar, 255),
        col("BackupType", SqlType::SmallInt),
        col("ExpirationDate", SqlType::DateTime),
        col("Compressed", SqlType::Bit),
        col("Position", SqlType::SmallInt),
        col("DeviceType", SqlType::TinyInt),
        col("UserName", SqlType::NVarChar, 128),
        col("ServerName", SqlType::NVarChar, 128),
        col("DatabaseName", SqlType::NVarChar, 128),
        col("DatabaseVersion", SqlType::Int),
        col("DatabaseCreationDate", SqlType::DateTime),
        col("BackupSize", SqlType::Numeric, 0, true, 20),
        col("FirstLSN", SqlType::Numeric, 0, true, 25),
        col("LastLSN", SqlType::Numeric, 0, true, 25),
        col("CheckpointLSN", SqlType::Numeric, 0, true, 25),
        col("DatabaseBackupLSN", SqlType::Numeric, 0, true, 25),
        col("BackupStartDate", SqlType::DateTime),
        col("BackupFinishDate", SqlType::DateTime),
        col("SortOrder", SqlType::SmallInt),
        col("CodePage", SqlType::SmallInt),
        col("UnicodeLocaleId", SqlType::Int),
        col("UnicodeComparisonStyle", SqlType::Int),
        col("CompatibilityLevel", SqlType::TinyInt),
        col("SoftwareVendorId", SqlType::Int),
        col("SoftwareVersionMajor", SqlType::Int),
        col("SoftwareVersionMinor", SqlType::Int),
        col("SoftwareVersionBuild", SqlType::Int),
        col("MachineName", SqlType::NVarChar, 128),
        col("Flags", SqlType::Int),
        col("BindingID", SqlType::UniqueIdentifier),
        col("RecoveryForkID", SqlType::UniqueIdentifier),
        col("Collation", SqlType::NVarChar, 128),
        col("FamilyGUID", SqlType::UniqueIdentifier),
        col("HasBulkLoggedData", SqlType::Bit),
        col("IsSnapshot", SqlType::Bit),
        col("IsReadOnly", SqlType::Bit),
        col("IsSingleUser", SqlType::Bit),
        col("HasBackupChecksums", SqlType::Bit),
        col("IsDamaged", SqlType::Bit),
        col("BeginsLogChain", SqlType::Bit),
        col("HasIncompleteMetaData", SqlType::Bit),
        col("IsForceOffline", SqlType::Bit),
        col("IsCopyOnly", SqlType::Bit),
        col("FirstRecoveryForkID", SqlType::UniqueIdentifier),
        col("ForkPointLSN", SqlType::Numeric, 0, true, 25),
        col("RecoveryModel", SqlType::NVarChar, 60),
        col("DifferentialBaseLSN", SqlType::Numeric, 0, true, 25),
        col("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        col("BackupTypeDescription", SqlType::NVarChar, 60),
        col("BackupSetGUID", SqlType::UniqueIdentifier),
        col("CompressedBackupSize", SqlType::BigInt),
        col("Containment", SqlType::TinyInt),
        col("KeyAlgorithm", SqlType::NVarChar, 32),
        col("EncryptorThumbprint", SqlType::VarBinary, 20),
        col("EncryptorType", SqlType::NVarChar, 32),
    };
    return rs;
}

ResultSet BackupRestore::fileListColumns() {
    ResultSet rs;
    rs.columns = {
        col("LogicalName", SqlType::NVarChar, 128),
        col("PhysicalName", SqlType::NVarChar, 260),
        col("Type", SqlType::Char, 1),
        col("FileGroupName", SqlType::NVarChar, 128),
        col("Size", SqlType::Numeric, 0, true, 20),
        col("MaxSize", SqlType::Numeric, 0, true, 20),
        col("FileId", SqlType::BigInt),
        col("CreateLSN", SqlType::Numeric, 0, true, 25),
        col("DropLSN", SqlType::Numeric, 0, true, 25),
        col("UniqueId", SqlType::UniqueIdentifier),
        col("ReadOnlyLSN", SqlType::Numeric, 0, true, 25),
        col("ReadWriteLSN", SqlType::Numeric, 0, true, 25),
        col("BackupSizeInBytes", SqlType::BigInt),
        col("SourceBlockSize", SqlType::Int),
        col("FileGroupId", SqlType::Int),
        col("LogGroupGUID", SqlType::UniqueIdentifier),
        col("DifferentialBaseLSN", SqlType::Numeric, 0, true, 25),
        col("DifferentialBaseGUID", SqlType::UniqueIdentifier),
        col("IsReadOnly", SqlType::Bit),
        col("IsPresent", SqlType::Bit),
        col("TDEThumbprint", SqlType::VarBinary, 32),
        col("SnapshotUrl", SqlType::NVarChar, 360),
    };
    return rs;
}

Done BackupRestore::backup(const ExecContext& context, const Statement& st) {
    const QString statementName = st.backupLog ? QStringLiteral("BACKUP LOG") : QStringLiteral("BACKUP DATABASE");
    if (context.session.tranCount > 0)
        fail(MessageCatalog::make(3021), statementName);
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
    if (QFileInfo(*host).isDir())
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
    pace(context, totalBytes);
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
    reportProgress(context, st);
    reportSuccess(context, statementName, db.name, report, position, timer.elapsed());
    Done done;
    done.currentCommand = cmdBackup;
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
        rs.rows.push_back({
            h->backupName.isEmpty() ? Value(Null{}) : Value(h->backupName),
            h->backupDescription.isEmpty() ? Value(Null{}) : Value(h->backupDescription),
            qint64(1),
            Null{},
            false,
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
            qint64(15),
            qint64(0),
            qint64(2000),
            h->machineName,
            qint64(512),
            h->bindingId,
            h->recoveryForkId,
            h->collation,
            h->familyGuid,
            false,
            false,
            false,
            false,
            false,
            false,
            false,
            false,
            false,
            false,
            h->recoveryForkId,
            Null{},
            h->recoveryModel,
            Null{},
            Null{},
            QStringLiteral("Database"),
            h->backupSetGuid,
            size,
            qint64(0),
            Null{},
            Null{},
            Null{},
        });
    }
    const auto count = qint64(rs.rows.size());
    context.sink.add(std::move(rs));
    Done done;
    done.hasCount = true;
    done.count = count;
    done.currentCommand = 0xC1;
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
    const auto count = qint64(rs.rows.size());
    context.sink.add(std::move(rs));
    Done done;
    done.hasCount = true;
    done.count = count;
    done.currentCommand = 0xC1;
    return done;
}

Done BackupRestore::verifyOnly(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("VERIFY DATABASE");
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    const BackupSetHeader& h = chooseSet(device, fileNumber(st).value_or(1), path, statementName);
    std::vector<QByteArray> contents;
    const BackupFile::Problem problem = BackupFile::readFiles(device.host, h, &contents);
    if (problem == BackupFile::Problem::Truncated)
        fail(MessageCatalog::make(3203, {path, OsError::endOfFile}), statementName);
    if (problem != BackupFile::Problem::None)
        fail(MessageCatalog::make(3183, {QStringLiteral("1"), QStringLiteral("0"), h.databaseName}), statementName);
    Message ok;
    ok.number = 0;
    ok.severity = 0;
    ok.text = QStringLiteral("The backup set on file %1 is valid.").arg(h.position);
    context.sink.add(ok);
    return Done{};
}

Done BackupRestore::restoreDatabase(const ExecContext& context, const Statement& st) {
    const QString statementName = QStringLiteral("RESTORE DATABASE");
    if (context.session.tranCount > 0)
        fail(MessageCatalog::make(3021), statementName);
    const QString path = st.disks.value(0);
    const OpenedDevice device = openDevice(context, path, statementName);
    const BackupSetHeader& set = chooseSet(device, fileNumber(st).value_or(1), path, statementName);
    const bool replace = option(st, "REPLACE") != nullptr;
    EngineState& engine = context.engine;
    const DriveMap& drives = engine.drives;

    // Target file of each logical file: its MOVE target, else where it was backed up from.
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

    struct Target {
        const BackupSetFile* file;
        QString windowsPath;
        QString host;
    };
    std::vector<Target> targets;
    std::optional<Database> existing;
    {
        std::lock_guard lock(engine.mutex);
        if (const Database* db = engine.catalog.find(st.database))
            existing = *db;
        if (existing && existing->dbid == 2)
            fail(MessageCatalog::make(3147), statementName);
        if (!context.session.sysadmin) {
            if (existing)
                fail(MessageCatalog::make(3110, {existing->name}), statementName);
            fail(MessageCatalog::make(262, {QStringLiteral("CREATE DATABASE"), QStringLiteral("master")}),
                 statementName);
        }
        if (existing && existing->name.compare(set.databaseName, Qt::CaseInsensitive) != 0 && !replace)
            fail(MessageCatalog::make(3154, {existing->name}), statementName);
        if (existing && context.session.database.compare(existing->name, Qt::CaseInsensitive) == 0)
            fail(MessageCatalog::make(3102, {existing->name}), statementName);
        if (existing) {
            bool inUse = existing->dbid <= 4;
            for (const auto& [spid, database] : engine.sessionDatabases)
                inUse = inUse ||
                        (spid != context.session.spid && database.compare(existing->name, Qt::CaseInsensitive) == 0);
            if (inUse)
                fail(MessageCatalog::make(3101), statementName);
        }

        std::vector<Message> problems;
        std::map<QString, const BackupSetFile*> claimed;
        for (const BackupSetFile& f : set.files) {
            const auto move = moves.find(f.logicalName.toUpper());
            const QString windowsPath = move != moves.end() ? move->second : f.physicalName;
            const auto host = drives.toHost(windowsPath);
            const auto parent = drives.parentOnHost(windowsPath);
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
            if (sameFileKey(*host) == sameFileKey(device.host)) {
                // Writing over the backup being read would destroy it.
                problems.push_back(MessageCatalog::make(
                    3634, {OsError::sharingViolation, QStringLiteral("CreateFileW"), windowsPath}));
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
            targets.push_back({&f, windowsPath, *host});
        }
        if (!problems.empty()) {
            problems.push_back(MessageCatalog::make(3119));
            fail(std::move(problems), statementName);
        }
    }

    std::vector<QByteArray> contents;
    const BackupFile::Problem problem = BackupFile::readFiles(device.host, set, &contents);
    if (problem == BackupFile::Problem::Truncated)
        fail(MessageCatalog::make(3203, {path, OsError::endOfFile}), statementName);
    if (problem != BackupFile::Problem::None)
        fail(MessageCatalog::make(3183, {QStringLiteral("1"), QStringLiteral("0"), st.database}), statementName);

    QElapsedTimer timer;
    timer.start();

    // Each file goes to a temporary name beside its target first, paced as it is written; only
    // when all are written are they renamed into place and the catalog committed. The journal
    // lets the next start undo the copy or finish the commit if the simulator dies in between.
    std::vector<RestoreJournal::Move> copies;
    for (const Target& t : targets)
        copies.push_back(
            {t.host + QStringLiteral(".restoring-") + QUuid::createUuid().toString(QUuid::Id128), t.host});
    auto removeTemporaries = [&copies] {
        for (const RestoreJournal::Move& m : copies)
            QFile::remove(m.temporary);
    };
    const Message journalFailure =
        MessageCatalog::make(3634, {OsError::diskFull, QStringLiteral("WriteFile"), QStringLiteral("journal")});
    std::optional<RestoreJournal> journal;
    try {
        journal.emplace(QDir(engine.config.stateDir).filePath(QStringLiteral("restores")));
        journal->copying(copies);
    } catch (const std::runtime_error&) {
        fail(journalFailure, statementName);
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        QFile out(copies[i].temporary);
        const bool ok = out.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
                        out.write(contents[i]) == contents[i].size() && out.flush();
        out.close();
        if (!ok) {
            removeTemporaries();
            fail(MessageCatalog::make(3634, {QStringLiteral("112(There is not enough space on the disk.)"),
                                             QStringLiteral("WriteFile"), targets[i].windowsPath}),
                 statementName);
        }
        try {
            pace(context, contents[i].size());
        } catch (const StatementCancelled&) {
            removeTemporaries();
            throw;
        }
    }

    {
        std::lock_guard lock(engine.mutex);
        // Another session may have taken a target while the files were copied.
        for (const Target& t : targets) {
            const Database* owner = engine.ownerOfHostPath(t.host);
            if (owner && !(existing && owner->dbid == existing->dbid)) {
                removeTemporaries();
                fail({MessageCatalog::make(1834, {t.windowsPath, owner->name}),
                      MessageCatalog::make(3156, {t.file->logicalName, t.windowsPath}, 4), MessageCatalog::make(3119)},
                     statementName);
            }
        }
        Database restored;
        restored.name = existing ? existing->name : st.database;
        restored.dbid = existing ? existing->dbid : engine.catalog.nextDbid();
        restored.created = wholeSeconds(QDateTime::currentDateTime());
        restored.compatibilityLevel = set.compatibilityLevel;
        restored.recoveryModel = set.recoveryModel.isEmpty() ? QStringLiteral("SIMPLE") : set.recoveryModel;
        for (const Target& t : targets)
            restored.files.push_back({t.file->logicalName, t.windowsPath, t.file->type, t.file->fileId});
        // Files of the replaced database that the restore does not reuse go away, as on a server.
        QStringList obsolete;
        if (existing) {
            for (const DatabaseFile& old : existing->files) {
                const QString oldHost = engine.hostPathOf(old.physicalName);
                bool reused = false;
                for (const Target& t : targets)
                    reused = reused || sameFileKey(t.host) == sameFileKey(oldHost);
                if (!oldHost.isEmpty() && !reused)
                    obsolete.append(oldHost);
            }
        }
        try {
            journal->committing(copies, restored, obsolete);
        } catch (const std::runtime_error&) {
            removeTemporaries();
            fail(journalFailure, statementName);
        }
        for (size_t i = 0; i < targets.size(); ++i) {
            std::error_code error;
            std::filesystem::rename(fsPath(copies[i].temporary), fsPath(copies[i].target), error);
            if (error) {
                removeTemporaries();
                fail(MessageCatalog::make(3634, {QString::fromStdString(error.message()), QStringLiteral("MoveFile"),
                                                 targets[i].windowsPath}),
                     statementName);
            }
        }
        engine.catalog.put(restored);
        try {
            engine.catalog.save();
        } catch (const std::exception&) {
            if (existing)
                engine.catalog.put(*existing);
            fail(
                MessageCatalog::make(3634, {OsError::diskFull, QStringLiteral("WriteFile"), QStringLiteral("catalog")}),
                statementName);
        }
        for (const QString& file : obsolete)
            QFile::remove(file);
    }

    std::vector<std::pair<QString, qint64>> report;
    for (const Target& t : targets)
        report.emplace_back(t.file->logicalName, t.file->size);
    reportProgress(context, st);
    reportSuccess(context, statementName, st.database, report, set.position, timer.elapsed());
    Done done;
    done.currentCommand = cmdBackup;
    return done;
}

} // namespace sqlsim
