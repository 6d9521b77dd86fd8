#include "SecureConnectStep.h"

#include "FreeTdsConfServers.h"
#include "FreeTdsConfigFile.h"
#include "MessageBox.h"
#include "ProgramOptions.h"
#include "SecureConnect.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString inConfigDirectory(const QString& directory, const QString& defaultPath, const char* name) {
    if (directory.isEmpty())
        return defaultPath;
    return QDir(directory).filePath(QString::fromLatin1(name));
}

} // namespace

QString SecurityFiles::optionsFile() const {
    return inConfigDirectory(configDirectory, ProgramOptions::defaultFilePath(), "options.ini");
}

QString SecurityFiles::pinsFile() const {
    return inConfigDirectory(configDirectory, CertificatePins::defaultFilePath(), "certificates.ini");
}

QString SecurityFiles::freeTdsConfigFile() const {
    return inConfigDirectory(configDirectory, FreeTdsConfigFile::defaultPath(), "freetds.conf");
}

void SecureConnectStep::useOwnFreeTdsConfig(const SecurityFiles& files) {
    // The user's own file still lists the user's servers for the server box.
    const QByteArray own = QFile::encodeName(files.freeTdsConfigFile());
    if (qgetenv("FREETDSCONF") != own)
        qputenv(FreeTdsConfServers::kUserFileVariable, qgetenv("FREETDSCONF"));
    qputenv("FREETDSCONF", own);
}

std::optional<ConnectionSecurity> SecureConnectStep::prepare(QWidget* owner, const QString& server,
                                                             const QString& driver, EncryptionSetting setting,
                                                             CertificatePins& pins, const SecurityFiles& files) {
    SecureConnectSettings settings;
    settings.setting = setting;
    settings.driver = EncryptionKeywordMap::driverKind(driver);
    settings.caFile = files.caFile;
    // A silent server costs this on top of the driver's own 10-second login time-out.
    settings.probeTimeoutMs = 3000;
    const SecureConnectUser user{[owner](const QString& text) { return MessageBox::question(owner, text); },
                                 [owner](const QString& text) { MessageBox::warning(owner, text); }};
    const PreparedConnection prepared =
        SecureConnect::prepare(server, settings, pins, FreeTdsConfigFile(files.freeTdsConfigFile()), user);
    if (!prepared.proceed)
        return std::nullopt;
    return ConnectionSecurity{prepared.freeTdsServername, prepared.keywords};
}
