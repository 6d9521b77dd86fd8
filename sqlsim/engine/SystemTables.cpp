#include "SystemTables.h"

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
        // 65536 page checksums, 8 truncate log on checkpoint (simple recovery); 16 torn page off.
        // 32 loading: a restore was stopped part-way.
        const qint64 status = 65536 + (db.recoveryModel == QLatin1String("SIMPLE") ? 8 : 0) + (db.restoring ? 32 : 0);
        rs.rows.push_back({db.name, qint64(db.dbid), QByteArray(1, '\x01'), qint64(0), status, qint64(1090519040),
                           db.created, epoch(), qint64(0), qint64(db.compatibilityLevel),
                           dataFile.isEmpty() ? Value(Null{}) : Value(dataFile), qint64(904)});
    }
    return rs;
}

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
                  column("recovery_model", SqlType::TinyInt),
                  column("recovery_model_desc", SqlType::NVarChar, 60)};
    // recovery_model 1 FULL, 2 BULK_LOGGED, 3 SIMPLE; state 0 ONLINE, 1 RESTORING.
    auto recoveryModel = [](const QString& name) -> qint64 {
        if (name == QLatin1String("FULL"))
            return 1;
        return name == QLatin1String("SIMPLE") ? 3 : 2;
    };
    for (const Database& db : catalog.databases()) {
        rs.rows.push_back({db.name, qint64(db.dbid), Null{}, QByteArray(1, '\x01'), db.created,
                           qint64(db.compatibilityLevel), QStringLiteral("Chinese_PRC_CI_AS"), qint64(0),
                           QStringLiteral("MULTI_USER"), false, false, false, qint64(db.restoring ? 1 : 0),
                           db.restoring ? QStringLiteral("RESTORING") : QStringLiteral("ONLINE"),
                           recoveryModel(db.recoveryModel), db.recoveryModel});
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

} // namespace sqlsim
