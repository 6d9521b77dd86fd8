#include "EncryptionKeywords.h"

#include "NewTexts.h"

namespace {

using Kind = CertificateTrust::Kind;
using Keywords = QList<QPair<QString, QString>>;

EncryptionKeywords refuse(const char* text, SqlServerDriver driver) {
    return {{}, NewTexts::text(text).arg(EncryptionKeywordMap::driverDisplayName(driver))};
}

EncryptionKeywords freeTds(EncryptionSetting setting) {
    // The certificate check lives in the program's freetds.conf section, which the driver reads
    // for Servername=; the connection string can only say how hard to ask for encryption.
    switch (setting) {
    case EncryptionSetting::Optional:
        return {{{QStringLiteral("Encryption"), QStringLiteral("request")}}, {}};
    case EncryptionSetting::Mandatory:
        return {{{QStringLiteral("Encryption"), QStringLiteral("require")}}, {}};
    case EncryptionSetting::Strict:
        break;
    }
    return refuse(NewTexts::StrictNotSupported, SqlServerDriver::FreeTds);
}

EncryptionKeywords microsoft(EncryptionSetting setting, SqlServerDriver driver, const CertificateTrust& trust) {
    const bool is17 = driver == SqlServerDriver::Microsoft17;
    const QString yes = QStringLiteral("yes");
    const QString no = QStringLiteral("no");
    Keywords words;
    const auto hostName = [&] {
        // Driver 17 has no such keyword; its check then fails on the name, which is the safe side.
        if (!is17 && !trust.hostNameInCertificate.isEmpty())
            words.append({QStringLiteral("HostNameInCertificate"), trust.hostNameInCertificate});
    };

    switch (setting) {
    case EncryptionSetting::Optional:
        // Encrypts only when the server insists; nothing is verified, so nothing can fail on a
        // self-signed certificate.
        words = {{QStringLiteral("Encrypt"), is17 ? no : QStringLiteral("Optional")},
                 {QStringLiteral("TrustServerCertificate"), yes}};
        return {words, {}};
    case EncryptionSetting::Mandatory:
        if (trust.kind == Kind::Pinned)
            return refuse(NewTexts::PinNotSupported, driver);
        words = {{QStringLiteral("Encrypt"), is17 ? yes : QStringLiteral("Mandatory")},
                 {QStringLiteral("TrustServerCertificate"), trust.kind == Kind::Unverified ? yes : no}};
        if (trust.kind == Kind::System)
            hostName();
        return {words, {}};
    case EncryptionSetting::Strict:
        if (is17)
            return refuse(NewTexts::StrictNotSupported, driver);
        // Strict always verifies; TrustServerCertificate does not apply to it.
        if (trust.kind == Kind::Unverified)
            return refuse(NewTexts::UnverifiedNotAllowedInStrict, driver);
        if (trust.kind == Kind::Pinned && driver != SqlServerDriver::Microsoft18_1)
            return refuse(NewTexts::PinNotSupported, driver);
        words = {{QStringLiteral("Encrypt"), QStringLiteral("Strict")}};
        if (trust.kind == Kind::Pinned)
            words.append({QStringLiteral("ServerCertificate"), trust.pinFile});
        else
            hostName();
        return {words, {}};
    }
    return {};
}

} // namespace

SqlServerDriver EncryptionKeywordMap::driverKind(const QString& driverName, const QString& driverVersion) {
    if (driverName.contains(QLatin1String("FreeTDS"), Qt::CaseInsensitive))
        return SqlServerDriver::FreeTds;
    if (driverName.contains(QLatin1String("Driver 17"), Qt::CaseInsensitive))
        return SqlServerDriver::Microsoft17;
    if (driverVersion.startsWith(QLatin1String("18.0.")) || driverVersion == QLatin1String("18.0"))
        return SqlServerDriver::Microsoft18_0;
    return SqlServerDriver::Microsoft18_1;
}

QString EncryptionKeywordMap::driverDisplayName(SqlServerDriver driver) {
    switch (driver) {
    case SqlServerDriver::FreeTds:
        return QStringLiteral("FreeTDS");
    case SqlServerDriver::Microsoft17:
        return QStringLiteral("ODBC Driver 17 for SQL Server");
    case SqlServerDriver::Microsoft18_0:
        return QStringLiteral("ODBC Driver 18.0 for SQL Server");
    case SqlServerDriver::Microsoft18_1:
        return QStringLiteral("ODBC Driver 18 for SQL Server");
    }
    return {};
}

bool EncryptionKeywordMap::canPin(SqlServerDriver driver, EncryptionSetting setting) {
    if (driver == SqlServerDriver::FreeTds)
        return setting != EncryptionSetting::Strict;
    return driver == SqlServerDriver::Microsoft18_1 && setting == EncryptionSetting::Strict;
}

EncryptionKeywords EncryptionKeywordMap::map(EncryptionSetting setting, SqlServerDriver driver,
                                             const CertificateTrust& trust) {
    if (driver == SqlServerDriver::FreeTds)
        return freeTds(setting);
    return microsoft(setting, driver, trust);
}
