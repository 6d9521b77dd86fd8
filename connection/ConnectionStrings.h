#pragma once
// The two connection strings of the program (SQL Server login, integrated login), mapped onto
// ODBC keywords for the installed SQL Server driver. Values are passed unaltered but quoted by
// the ODBC rules, so ";", "=" or braces in a value cannot add keywords.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// What the secure-connect step adds: with FreeTDS the freetds.conf section that names the server
// (Servername= instead of SERVER=), and the driver's encryption keywords. Empty adds nothing.
struct ConnectionSecurity {
    QString freeTdsServername;
    QList<QPair<QString, QString>> keywords;
};

namespace ConnectionStrings {

// The first installed of "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server",
// "FreeTDS"; empty when none is.
QString chooseDriver();

// {value} with "}" doubled.
QString quoteValue(const QString& value);

// Both throw EDatabaseError when the chosen driver cannot carry a value intact.
QString sqlServerAuthentication(const QString& server, const QString& database, const QString& user,
                                const QString& password, const QString& driver = chooseDriver(),
                                const ConnectionSecurity& security = {});
QString integratedAuthentication(const QString& server, const QString& database,
                                 const QString& driver = chooseDriver(), const ConnectionSecurity& security = {});

} // namespace ConnectionStrings
