#include "SystemTables.h"

#include <QFileInfo>

namespace sqlsim {
namespace {

const QDateTime& epoch() {
    static const QDateTime value(QDate(1900, 1, 1), QTime(0, 0));
    return value;
}

} // namespace

ResultSet SystemTables::sysdatabases(const Catalog& catalog) {
    ResultSet rs;
    rs.columns = {column("name", SqlType::NVarChar, 128),
                  column("dbid", SqlType::SmallInt),
                  column("sid", SqlType::VarBinary, 85),
                  column("mode", SqlType::SmallInt),
                  column("status", SqlType::Int),
                  column("status2", SqlType::Int),
                  column("crdate", SqlType::DateTime, 0, false),
                  column("reserved", SqlType::DateTime),
                  column("category", SqlType::Int),
                  column("cmptlevel", SqlType::TinyInt, 0, false),
                  column("filename", SqlType::NVarChar, 260),
                  column("version", SqlType::SmallInt)};
    for (const Database& db : catalog.databases()) {
        QString dataFile;
        for (const DatabaseFile& f : db.files)
            if (f.type == u'D' && dataFile.isEmpty())
                dataFile = f.physicalName;
        // 65536 page checksums, 8 truncate log on checkpoint (simple recovery); 16 torn page off;
        // 32 loading (restoring), 4096 single user.
        const qint64 status = 65536 + (db.recoveryModel == QLatin1String("SIMPLE") ? 8 : 0) +
                              (db.isRestoring() ? 32 : 0) + (db.singleUser ? 4096 : 0);
        rs.rows.push_back({db.name, qint64(db.dbid), QByteArray(1, '\x01'), qint64(0), status, qint64(1090519040),
                           db.created, epoch(), qint64(0), qint64(db.compatibilityLevel),
                           dataFile.isEmpty() ? Value(Null{}) : Value(dataFile), qint64(904)});
    }
    return rs;
}

ResultSet SystemTables::sysobjects(const QString& database, const TempTables& tempTables) {
    ResultSet rs;
    rs.columns = {column("name", SqlType::NVarChar, 128, false),
                  column("id", SqlType::Int, 0, false),
                  column("xtype", SqlType::Char, 2, false),
                  column("uid", SqlType::SmallInt),
                  column("info", SqlType::SmallInt),
                  column("status", SqlType::Int),
                  column("base_schema_ver", SqlType::Int),
                  column("replinfo", SqlType::Int),
                  column("parent_obj", SqlType::Int, 0, false),
                  column("crdate", SqlType::DateTime, 0, false),
                  column("ftcatid", SqlType::SmallInt),
                  column("schema_ver", SqlType::Int),
                  column("stats_schema_ver", SqlType::Int),
                  column("type", SqlType::Char, 2),
                  column("userstat", SqlType::SmallInt),
                  column("sysstat", SqlType::SmallInt),
                  column("indexdel", SqlType::SmallInt),
                  column("refdate", SqlType::DateTime, 0, false),
                  column("version", SqlType::Int),
                  column("deltrig", SqlType::Int),
                  column("instrig", SqlType::Int),
                  column("updtrig", SqlType::Int),
                  column("seltrig", SqlType::Int),
                  column("category", SqlType::Int),
                  column("cache", SqlType::SmallInt)};
    const QDateTime systemDate(QDate(2019, 9, 24), QTime(14, 21, 38, 90));
    auto addRow = [&rs](const QString& name, qint64 id, const char* type, const QDateTime& created, qint64 userstat,
                        qint64 sysstat) {
        const QString t = QString::fromLatin1(type);
        rs.rows.push_back({name,      id,        t,         qint64(type[0] == 'U' ? 1 : 4),
                           qint64(0), qint64(0), qint64(0), qint64(0),
                           qint64(0), created,   qint64(0), qint64(0),
                           qint64(0), t,         userstat,  sysstat,
                           qint64(0), created,   qint64(0), qint64(0),
                           qint64(0), qint64(0), qint64(0), qint64(0),
                           qint64(0)});
    };
    static const char* const systemTables[] = {
        "sysrscols", "sysrowsets", "sysclones",  "sysallocunits", "sysfiles1",     "sysseobjvalues", "syspriorities",
        "sysdbfrag", "sysfgfrag",  "sysdbfiles", "syspru",        "sysbrickfiles", "sysphfg",        "sysprufiles"};
    qint64 id = 3;
    for (const char* name : systemTables)
        addRow(QString::fromLatin1(name), id++, "S ", systemDate, 0, 1);
    if (database.compare(QLatin1String("tempdb"), Qt::CaseInsensitive) == 0) {
        for (const TempTable* t : tempTables.all())
            addRow(t->name, t->objectId, "U ", t->created, 1, 3);
    }
    return rs;
}

namespace {

qint64 recoveryModelCode(const QString& model) {
    if (model == QLatin1String("FULL"))
        return 1;
    return model == QLatin1String("BULK_LOGGED") ? 2 : 3;
}

// The sessions a login may see, in spid order.
std::vector<std::pair<int, const SessionInfo*>> visibleSessions(const EngineState& engine, int ownSpid,
                                                                bool viewServerState) {
    std::vector<std::pair<int, const SessionInfo*>> out;
    for (const auto& [spid, info] : engine.sessions)
        if (viewServerState || spid == ownSpid)
            out.emplace_back(spid, &info);
    return out;
}

qint64 databaseIdOf(const EngineState& engine, int spid) {
    const auto current = engine.sessionDatabases.find(spid);
    const Database* db = current == engine.sessionDatabases.end() ? nullptr : engine.catalog.find(current->second);
    return db ? db->dbid : 1;
}

} // namespace

ResultSet SystemTables::databases(const Catalog& catalog) {
    ResultSet rs;
    rs.columns = {column("name", SqlType::NVarChar, 128, false),
                  column("database_id", SqlType::Int, 0, false),
                  column("source_database_id", SqlType::Int),
                  column("owner_sid", SqlType::VarBinary, 85),
                  column("create_date", SqlType::DateTime, 0, false),
                  column("compatibility_level", SqlType::TinyInt, 0, false),
                  column("collation_name", SqlType::NVarChar, 128),
                  column("user_access", SqlType::TinyInt),
                  column("user_access_desc", SqlType::NVarChar, 60),
                  column("is_read_only", SqlType::Bit),
                  column("is_auto_close_on", SqlType::Bit, 0, false),
                  column("is_auto_shrink_on", SqlType::Bit),
                  column("state", SqlType::TinyInt),
                  column("state_desc", SqlType::NVarChar, 60),
                  column("is_in_standby", SqlType::Bit),
                  column("is_cleanly_shutdown", SqlType::Bit),
                  column("is_supplemental_logging_enabled", SqlType::Bit),
                  column("snapshot_isolation_state", SqlType::TinyInt),
                  column("snapshot_isolation_state_desc", SqlType::NVarChar, 60),
                  column("is_read_committed_snapshot_on", SqlType::Bit),
                  column("recovery_model", SqlType::TinyInt),
                  column("recovery_model_desc", SqlType::NVarChar, 60)};
    for (const Database& db : catalog.databases()) {
        const bool restoring = db.isRestoring();
        // A restoring database has no collation to report yet.
        rs.rows.push_back({db.name,
                           qint64(db.dbid),
                           Null{},
                           QByteArray(1, '\x01'),
                           db.created,
                           qint64(db.compatibilityLevel),
                           restoring ? Value(Null{}) : Value(QStringLiteral("Chinese_PRC_CI_AS")),
                           qint64(db.singleUser ? 1 : 0),
                           db.singleUser ? QStringLiteral("SINGLE_USER") : QStringLiteral("MULTI_USER"),
                           false,
                           false,
                           false,
                           qint64(restoring ? 1 : 0),
                           db.state,
                           false,
                           false,
                           false,
                           qint64(0),
                           QStringLiteral("OFF"),
                           false,
                           recoveryModelCode(db.recoveryModel),
                           db.recoveryModel});
    }
    return rs;
}

ResultSet SystemTables::masterFiles(const EngineState& engine) {
    ResultSet rs;
    rs.columns = {column("database_id", SqlType::Int, 0, false),
                  column("file_id", SqlType::Int, 0, false),
                  column("file_guid", SqlType::UniqueIdentifier),
                  column("type", SqlType::TinyInt, 0, false),
                  column("type_desc", SqlType::NVarChar, 60),
                  column("data_space_id", SqlType::Int, 0, false),
                  column("name", SqlType::NVarChar, 128, false),
                  column("physical_name", SqlType::NVarChar, 260, false),
                  column("state", SqlType::TinyInt),
                  column("state_desc", SqlType::NVarChar, 60),
                  column("size", SqlType::Int, 0, false),
                  column("max_size", SqlType::Int, 0, false),
                  column("growth", SqlType::Int, 0, false),
                  column("is_media_read_only", SqlType::Bit, 0, false),
                  column("is_read_only", SqlType::Bit, 0, false),
                  column("is_sparse", SqlType::Bit, 0, false),
                  column("is_percent_growth", SqlType::Bit, 0, false),
                  column("is_name_reserved", SqlType::Bit, 0, false)};
    for (const Database& db : engine.catalog.databases()) {
        for (const DatabaseFile& f : db.files) {
            const bool data = f.type == u'D';
            const QString host = engine.hostPathOf(f.physicalName);
            const qint64 pages = host.isEmpty() ? 0 : (QFileInfo(host).size() + 8191) / 8192;
            rs.rows.push_back({qint64(db.dbid), qint64(f.fileId), QUuid::createUuidV5(QUuid(), db.name + f.logicalName),
                               qint64(data ? 0 : 1), data ? QStringLiteral("ROWS") : QStringLiteral("LOG"),
                               qint64(data ? 1 : 0), f.logicalName, f.physicalName, qint64(db.isRestoring() ? 1 : 0),
                               db.state, pages, qint64(data ? -1 : 268435456), qint64(8192), false, false, false, false,
                               false});
        }
    }
    return rs;
}

ResultSet SystemTables::execSessions(const EngineState& engine, int ownSpid, bool viewServerState) {
    ResultSet rs;
    rs.columns = {column("session_id", SqlType::SmallInt, 0, false),
                  column("login_time", SqlType::DateTime, 0, false),
                  column("host_name", SqlType::NVarChar, 128),
                  column("program_name", SqlType::NVarChar, 128),
                  column("host_process_id", SqlType::Int),
                  column("client_version", SqlType::Int),
                  column("client_interface_name", SqlType::NVarChar, 32),
                  column("security_id", SqlType::VarBinary, 85, false),
                  column("login_name", SqlType::NVarChar, 128, false),
                  column("nt_domain", SqlType::NVarChar, 128),
                  column("nt_user_name", SqlType::NVarChar, 128),
                  column("status", SqlType::NVarChar, 30, false),
                  column("is_user_process", SqlType::Bit, 0, false),
                  column("database_id", SqlType::SmallInt, 0, false),
                  column("open_transaction_count", SqlType::Int, 0, false)};
    for (const auto& [spid, info] : visibleSessions(engine, ownSpid, viewServerState)) {
        rs.rows.push_back({qint64(spid), info->loginTime, QStringLiteral("localhost"),
                           info->programName.isEmpty() ? Value(Null{}) : Value(info->programName), Null{}, qint64(7),
                           QStringLiteral("ODBC"), QByteArray(1, '\x01'), info->login, Null{}, Null{},
                           spid == ownSpid ? QStringLiteral("running") : QStringLiteral("sleeping"), true,
                           databaseIdOf(engine, spid), qint64(0)});
    }
    return rs;
}

ResultSet SystemTables::sysprocesses(const EngineState& engine, int ownSpid, bool viewServerState) {
    ResultSet rs;
    rs.columns = {column("spid", SqlType::SmallInt, 0, false),
                  column("kpid", SqlType::SmallInt, 0, false),
                  column("blocked", SqlType::SmallInt, 0, false),
                  column("waittype", SqlType::VarBinary, 2, false),
                  column("waittime", SqlType::BigInt, 0, false),
                  column("lastwaittype", SqlType::NVarChar, 32, false),
                  column("waitresource", SqlType::NVarChar, 256, false),
                  column("dbid", SqlType::SmallInt, 0, false),
                  column("uid", SqlType::SmallInt),
                  column("cpu", SqlType::Int, 0, false),
                  column("physical_io", SqlType::BigInt, 0, false),
                  column("memusage", SqlType::Int, 0, false),
                  column("login_time", SqlType::DateTime, 0, false),
                  column("last_batch", SqlType::DateTime, 0, false),
                  column("ecid", SqlType::SmallInt, 0, false),
                  column("open_tran", SqlType::SmallInt, 0, false),
                  column("status", SqlType::NVarChar, 30, false),
                  column("sid", SqlType::VarBinary, 86, false),
                  column("hostname", SqlType::NVarChar, 128, false),
                  column("program_name", SqlType::NVarChar, 128, false),
                  column("hostprocess", SqlType::NVarChar, 10, false),
                  column("cmd", SqlType::NVarChar, 32, false),
                  column("nt_domain", SqlType::NVarChar, 128, false),
                  column("nt_username", SqlType::NVarChar, 128, false),
                  column("net_address", SqlType::NVarChar, 12, false),
                  column("net_library", SqlType::NVarChar, 12, false),
                  column("loginame", SqlType::NVarChar, 128, false)};
    for (const auto& [spid, info] : visibleSessions(engine, ownSpid, viewServerState)) {
        const bool own = spid == ownSpid;
        rs.rows.push_back({qint64(spid),
                           qint64(0),
                           qint64(0),
                           QByteArray(2, '\0'),
                           qint64(0),
                           QStringLiteral("MISCELLANEOUS"),
                           QString(),
                           databaseIdOf(engine, spid),
                           qint64(1),
                           qint64(0),
                           qint64(0),
                           qint64(0),
                           info->loginTime,
                           info->loginTime,
                           qint64(0),
                           qint64(0),
                           own ? QStringLiteral("runnable") : QStringLiteral("sleeping"),
                           QByteArray(1, '\x01'),
                           QStringLiteral("localhost"),
                           info->programName,
                           QString(),
                           own ? QStringLiteral("SELECT") : QStringLiteral("AWAITING COMMAND"),
                           QString(),
                           QString(),
                           QStringLiteral("000000000000"),
                           QStringLiteral("TCP/IP"),
                           info->login});
    }
    return rs;
}

} // namespace sqlsim
