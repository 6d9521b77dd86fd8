#include "ConnectionStrings.h"

#include "EDatabaseError.h"
#include "OdbcHandles.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

QStringList installedDrivers() {
    QStringList drivers;
    SQLHANDLE env = SQL_NULL_HANDLE;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS)
        return drivers;
    OdbcHandle owner(SQL_HANDLE_ENV, env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR name[256] = {};
        SQLWCHAR attributes[1024] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(env, direction, name, 256, &nameLength, attributes, 1024, &attributesLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        drivers.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(name), std::min<int>(nameLength, 255)));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

bool isFreeTds(const QString& driver) { return driver.contains(QLatin1String("FreeTDS"), Qt::CaseInsensitive); }

QString driverPart(const QString& driver) { return QStringLiteral("DRIVER=") + ConnectionStrings::quoteValue(driver); }

// Keywords the chosen driver needs beyond the values the user typed.
QString driverSettings(const QString& driver) {
    // FreeTDS: with the default "auto" version a silent server makes it retry old protocol
    // versions and the login time-out never fires; 7.4 is what every supported server speaks.
    if (isFreeTds(driver))
        return QStringLiteral(";TDS_Version=7.4");
    return {};
}

// FreeTDS reads a braced value up to the first "}" and has no escape for one inside it, so such
// a value could never arrive intact; refuse it plainly instead of sending something else.
void checkDriverCanCarry(const QString& driver, std::initializer_list<const QString*> values) {
    if (!isFreeTds(driver))
        return;
    for (const QString* v : values) {
        if (v->contains(QLatin1Char('}')))
            throw EDatabaseError(QStringLiteral("The FreeTDS driver cannot pass a server name, user name or password "
                                                "that contains \"}\"."));
    }
}

// A login name or password is at most 128 characters on the server. FreeTDS cuts a longer one
// to 128 without a word, so a password with extra characters at its end would still log in.
void checkLoginFits(const QString& driver, const QString& user, const QString& password) {
    constexpr qsizetype longest = 128;
    if (isFreeTds(driver) && (user.size() > longest || password.size() > longest))
        throw EDatabaseError(QStringLiteral("A user name or password is at most 128 characters long."));
}

// The server part: a freetds.conf section when the secure-connect step wrote one. FreeTDS looks
// a braced Servername up with its braces, so it goes bare: section names hold no separators.
QString serverPart(const QString& server, const ConnectionSecurity& security) {
    if (!security.freeTdsServername.isEmpty())
        return QStringLiteral(";Servername=") + security.freeTdsServername;
    return QStringLiteral(";SERVER=") + ConnectionStrings::quoteValue(server);
}

// FreeTDS keeps the braces of some values (Encryption={require} is a configuration error), so a
// plain value goes bare; only one with separators or blanks is braced.
QString securityKeywords(const ConnectionSecurity& security) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.:/\\-]*$"));
    QString part;
    for (const auto& [keyword, value] : security.keywords)
        part += QLatin1Char(';') + keyword + QLatin1Char('=') +
                (plain.match(value).hasMatch() ? value : ConnectionStrings::quoteValue(value));
    return part;
}

} // namespace

QString ConnectionStrings::chooseDriver() {
    static const QString chosen = [] {
        const QStringList installed = installedDrivers();
        for (const char* preferred :
             {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"}) {
            for (const QString& name : installed) {
                if (name.compare(QLatin1String(preferred), Qt::CaseInsensitive) == 0)
                    return name;
            }
        }
        return QString();
    }();
    return chosen;
}

QString ConnectionStrings::quoteValue(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString ConnectionStrings::sqlServerAuthentication(const QString& server, const QString& database,
                                                   const QString& user, const QString& password,
                                                   const QString& driver, const ConnectionSecurity& security) {
    checkDriverCanCarry(driver, {&server, &database, &user, &password});
    checkLoginFits(driver, user, password);
    return driverPart(driver) + serverPart(server, security) + QStringLiteral(";DATABASE=") + quoteValue(database) +
           QStringLiteral(";UID=") + quoteValue(user) + QStringLiteral(";PWD=") + quoteValue(password) +
           driverSettings(driver) + securityKeywords(security);
}

QString ConnectionStrings::integratedAuthentication(const QString& server, const QString& database,
                                                    const QString& driver, const ConnectionSecurity& security) {
    checkDriverCanCarry(driver, {&server, &database});
    return driverPart(driver) + serverPart(server, security) + QStringLiteral(";DATABASE=") + quoteValue(database) +
           QStringLiteral(";Trusted_Connection=Yes") + driverSettings(driver) + securityKeywords(security);
}
