#pragma once
// Maps the encryption setting, the SQL Server driver in use and what is known of the server's
// certificate onto that driver's connection-string keywords, or onto a refusal when the driver
// cannot do what the setting asks.

#include "EncryptionSetting.h"

#include <QList>
#include <QPair>
#include <QString>

enum class SqlServerDriver {
    FreeTds,
    Microsoft17,   // "ODBC Driver 17 for SQL Server": Encrypt=yes|no, TrustServerCertificate
    Microsoft18_0, // adds Encrypt=Optional|Mandatory|Strict and HostNameInCertificate
    Microsoft18_1, // 18.1 and later: adds ServerCertificate (with Encrypt=Strict only)
};

// How the program will let the driver check the server's certificate.
struct CertificateTrust {
    enum class Kind {
        System,     // the system trust store (or a configured CA file) vouches for it
        Pinned,     // the user trusted this exact certificate; pinFile holds it as PEM
        Unverified, // the user chose encryption without verification for this server
    };
    Kind kind = Kind::System;
    QString pinFile;
    // Name to check the certificate against when it differs from the server name typed.
    QString hostNameInCertificate;
};

struct EncryptionKeywords {
    // Keyword and value, unquoted; the caller quotes values by the ODBC rules.
    QList<QPair<QString, QString>> keywords;
    // Non-empty when the combination is refused; keywords is then empty. The text names the
    // driver and says what the user can do.
    QString refusal;

    bool refused() const { return !refusal.isEmpty(); }
};

namespace EncryptionKeywordMap {

// The driver kind of an installed driver name as ConnectionStrings::chooseDriver gives it.
// Microsoft's 18 is taken as 18.1+ unless driverVersion (its file version, "18.0.1.1") says
// otherwise.
SqlServerDriver driverKind(const QString& driverName, const QString& driverVersion = {});
QString driverDisplayName(SqlServerDriver driver);

// Whether the driver can hold the connection to one pinned certificate under this setting.
bool canPin(SqlServerDriver driver, EncryptionSetting setting);

EncryptionKeywords map(EncryptionSetting setting, SqlServerDriver driver, const CertificateTrust& trust);

} // namespace EncryptionKeywordMap
