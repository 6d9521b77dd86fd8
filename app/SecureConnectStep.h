#pragma once
// The window's side of the secure-connect step: the setting, driver and files it needs, and the
// question and warning boxes shown through the program's message boxes.

#include "CertificatePins.h"
#include "ConnectionStrings.h"
#include "EncryptionSetting.h"

#include <QString>

#include <optional>

class QWidget;

// Where the program keeps its settings, pins and freetds.conf; empty: the user's configuration
// directory. caFile, when set, replaces the system trust store for certificate checks.
struct SecurityFiles {
    QString configDirectory;
    QString caFile;

    QString optionsFile() const;
    QString pinsFile() const;
    QString freeTdsConfigFile() const;
};

namespace SecureConnectStep {

// Points the FreeTDS driver at the program's own freetds.conf; once, before any connection.
void useOwnFreeTdsConfig(const SecurityFiles& files = {});

// Runs the step for the server as typed with the driver the connection string will name. Empty
// when the attempt ends here: the user has been told why, or declined.
std::optional<ConnectionSecurity> prepare(QWidget* owner, const QString& server, const QString& driver,
                                          EncryptionSetting setting, CertificatePins& pins,
                                          const SecurityFiles& files);

} // namespace SecureConnectStep
