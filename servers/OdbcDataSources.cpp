// SPDX-License-Identifier: MIT
#include "OdbcDataSources.h"

#include <QRegularExpression>
#include <QSet>

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <array>
#include <memory>

namespace {

struct EnvironmentFree {
    void operator()(SQLHENV env) const { SQLFreeHandle(SQL_HANDLE_ENV, env); }
};
using Environment = std::unique_ptr<std::remove_pointer_t<SQLHENV>, EnvironmentFree>;

Environment allocateEnvironment() {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return Environment();
    Environment owner(env);
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
        return Environment();
    return owner;
}

// A key of the DSN's section, from the user file when it has the DSN, else the system file.
QString profileValue(const QString& dsn, const char* key) {
    std::array<char, 1024> buffer{};
    const QByteArray section = dsn.toUtf8();
    const int length =
        SQLGetPrivateProfileString(section.constData(), key, "", buffer.data(), int(buffer.size()), "odbc.ini");
    if (length <= 0)
        return {};
    return QString::fromUtf8(buffer.data(), qMin(length, int(buffer.size()) - 1)).trimmed();
}

// The first of the keys that has a value; drivers spell the same thing differently.
QString firstValue(const QString& dsn, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const QString value = profileValue(dsn, key);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// Microsoft's drivers take "tcp:host,port"; the program's server box takes "host,port".
QString withoutProtocolPrefix(QString server) {
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server.remove(0, 4);
    return server;
}

QString dataSourceAddress(const QString& dsn) {
    if (isTdsVersionBelow7(firstValue(dsn, {"TDS_Version", "TDS Version"})))
        return {};
    const QString server = withoutProtocolPrefix(firstValue(dsn, {"Server", "Address"}));
    if (server.isEmpty())
        return {};
    // A server that names its port or instance already is complete.
    if (server.contains(QLatin1Char(',')) || server.contains(QLatin1Char('\\')))
        return server;
    return serverAddress(server, profileValue(dsn, "Port"), profileValue(dsn, "Instance"));
}

} // namespace

bool OdbcDataSources::isSqlServerDriver(const QString& driver) {
    static const QRegularExpression microsoft(QStringLiteral(R"(^ODBC Driver \d+ for SQL Server$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression library(QStringLiteral(R"((^|/)lib(tdsodbc|msodbcsql)[^/]*\.so[^/]*$)"));
    const QString name = driver.trimmed();
    return name.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0 || microsoft.match(name).hasMatch() ||
           library.match(name).hasMatch();
}

ServerChoices OdbcDataSources::servers() {
    const Environment env = allocateEnvironment();
    if (!env)
        return {};
    ServerChoices servers;
    QSet<QString> seen;
    for (const SQLUSMALLINT first : {SQLUSMALLINT(SQL_FETCH_FIRST_USER), SQLUSMALLINT(SQL_FETCH_FIRST_SYSTEM)}) {
        SQLUSMALLINT direction = first;
        std::array<SQLCHAR, SQL_MAX_DSN_LENGTH + 1> name{};
        std::array<SQLCHAR, 512> driver{};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT driverLength = 0;
        while (SQL_SUCCEEDED(SQLDataSources(env.get(), direction, name.data(), SQLSMALLINT(name.size()), &nameLength,
                                            driver.data(), SQLSMALLINT(driver.size()), &driverLength))) {
            direction = SQL_FETCH_NEXT;
            const QString dsn = QString::fromUtf8(reinterpret_cast<const char*>(name.data()));
            const QString driverName = QString::fromUtf8(reinterpret_cast<const char*>(driver.data()));
            if (dsn.isEmpty() || seen.contains(dsn.toLower()) || !isSqlServerDriver(driverName))
                continue;
            const QString address = dataSourceAddress(dsn);
            if (address.isEmpty())
                continue;
            seen.insert(dsn.toLower());
            servers.append({dsn, address});
        }
    }
    return servers;
}
