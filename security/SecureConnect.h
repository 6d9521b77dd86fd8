#pragma once
// Everything that happens between the connect button and the driver's connect: the setting
// checked against the driver, the certificate read before any password is sent, the user asked
// or warned through the given callbacks, the answer remembered, the program's freetds.conf
// written, and the keywords the connection string needs.

#include "CertificatePins.h"
#include "EncryptionKeywords.h"
#include "FreeTdsConfigFile.h"

#include <QString>

#include <functional>

struct SecureConnectUser {
    std::function<bool(const QString&)> question; // a 问题 box; true for Yes
    std::function<void(const QString&)> warning;  // a 警告 box
};

struct SecureConnectSettings {
    EncryptionSetting setting = EncryptionSetting::Mandatory;
    SqlServerDriver driver = SqlServerDriver::FreeTds;
    quint16 browserPort = 1434; // UDP port of the SQL Server Browser, for "host\instance"
    int probeTimeoutMs = 5000;
    QString caFile; // replaces the system trust store when set
};

struct PreparedConnection {
    bool proceed = false; // false: refused, declined or failed; the user has been told
    QList<QPair<QString, QString>> keywords;
    // With FreeTDS: the freetds.conf section to name with Servername= instead of SERVER=.
    QString freeTdsServername;
};

namespace SecureConnect {

// Throws EFreeTdsConfigError, or std::runtime_error when a Yes cannot be remembered.
PreparedConnection prepare(const QString& serverText, const SecureConnectSettings& settings, CertificatePins& pins,
                           const FreeTdsConfigFile& freeTdsConfig, const SecureConnectUser& user);

} // namespace SecureConnect
