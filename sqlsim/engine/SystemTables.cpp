#include "SystemTables.h"

namespace sqlsim {
namespace {

Column col(const char* name, SqlType type, int size = 0, bool nullable = false) {
    Column c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    c.nullable = nullable;
    return c;
}

const QDateTime& epoch() {
    static const QDateTime value(QDate(1900, 1, 1), QTime(0, 0));
    return value;
}

} // namespace

ResultSet SystemTables::sysdatabases(const Catalog& catalog) {
    ResultSet rs;
    rs.columns = {col("name", SqlType::NVarChar, 128, true),
                  col("dbid", SqlType::SmallInt, 0, true),
                  col("sid", SqlType::VarBinary, 85, true),
                  col("mode", SqlType::SmallInt, 0, true),
                  col("status", SqlType::Int, 0, true),
                  col("status2", SqlType::Int, 0, true),
                  col("crdate", SqlType::DateTime),
                  col("reserved", SqlType::DateTime, 0, true),
                  col("category", SqlType::Int, 0, true),
                  col("cmptlevel", SqlType::TinyInt),
                  col("filename", SqlType::NVarChar, 260, true),
                  col("version", SqlType::SmallInt, 0, true)};
    for (const Database& db : catalog.databases()) {
        QString dataFile;
        for (const DatabaseFile& f : db.files)
            if (f.type == u'D' && dataFile.isEmpty())
                dataFile = f.physicalName;
        // 65536 page checksums, 8 truncate log on checkpoint (simple recovery); 16 torn page off.
        const qint64 status = 65536 + (db.recoveryModel == QLatin1String("SIMPLE") ? 8 : 0);
        rs.rows.push_back({db.name, qint64(db.dbid), QByteArray(1, '\x01'), qint64(0), status, qint64(1090519040),
                           db.created, epoch(), qint64(0), qint64(db.compatibilityLevel),
                           dataFile.isEmpty() ? Value(Null{}) : Value(dataFile), qint64(904)});
    }
    return rs;
}

ResultSet SystemTables::sysobjects(const QString& database, const TempTables& tempTables) {
    ResultSet rs;
    rs.columns = {col("name", SqlType::NVarChar, 128),
                  col("id", SqlType::Int),
                  col("xtype", SqlType::Char, 2),
                  col("uid", SqlType::SmallInt, 0, true),
                  col("info", SqlType::SmallInt, 0, true),
                  col("status", SqlType::Int, 0, true),
                  col("base_schema_ver", SqlType::Int, 0, true),
                  col("replinfo", SqlType::Int, 0, true),
                  col("parent_obj", SqlType::Int),
                  col("crdate", SqlType::DateTime),
                  col("ftcatid", SqlType::SmallInt, 0, true),
                  col("schema_ver", SqlType::Int, 0, true),
                  col("stats_schema_ver", SqlType::Int, 0, true),
                  col("type", SqlType::Char, 2, true),
                  col("userstat", SqlType::SmallInt, 0, true),
                  col("sysstat", SqlType::SmallInt, 0, true),
                  col("indexdel", SqlType::SmallInt, 0, true),
                  col("refdate", SqlType::DateTime),
                  col("version", SqlType::Int, 0, true),
                  col("deltrig", SqlType::Int, 0, true),
                  col("instrig", SqlType::Int, 0, true),
                  col("updtrig", SqlType::Int, 0, true),
                  col("seltrig", SqlType::Int, 0, true),
                  col("category", SqlType::Int, 0, true),
                  col("cache", SqlType::SmallInt, 0, true)};
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
