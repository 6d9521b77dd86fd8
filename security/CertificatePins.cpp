#include "CertificatePins.h"

#include "OwnerOnlyIniFile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString key(const QString& server) {
    return server.trimmed().toLower();
}

const QString kArray = QStringLiteral("servers");
const QString kServer = QStringLiteral("server");
const QString kCertificate = QStringLiteral("certificate");
const QString kFingerprint = QStringLiteral("sha256");
const QString kUnverified = QStringLiteral("unverified");

} // namespace

QString CertificatePins::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/certificates.ini");
}

CertificatePins::CertificatePins(QString filePath) : filePath_(std::move(filePath)) {}

QList<TrustedServer> CertificatePins::list() const {
    QList<TrustedServer> servers;
    if (!QFileInfo::exists(filePath_))
        return servers;
    QSettings file(filePath_, QSettings::IniFormat);
    const int count = file.beginReadArray(kArray);
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        TrustedServer entry;
        entry.server = file.value(kServer).toString().trimmed();
        if (entry.server.isEmpty())
            continue;
        entry.unverifiedAllowed = file.value(kUnverified, false).toBool();
        const QByteArray pem = file.value(kCertificate).toByteArray();
        // An entry whose certificate does not match its recorded fingerprint was edited by hand
        // or damaged; it counts as no pin, so the user is asked again.
        if (!pem.isEmpty()) {
            const auto certificate = CertificateReader::fromPem(pem);
            if (certificate && certificate->sha256.toHex() == file.value(kFingerprint).toByteArray().toLower())
                entry.pinned = certificate;
        }
        if (entry.pinned || entry.unverifiedAllowed)
            servers.append(entry);
    }
    file.endArray();
    return servers;
}

std::optional<CertificateInfo> CertificatePins::lookup(const QString& server) const {
    for (const TrustedServer& entry : list())
        if (key(entry.server) == key(server))
            return entry.pinned;
    return std::nullopt;
}

bool CertificatePins::allowsUnverified(const QString& server) const {
    for (const TrustedServer& entry : list())
        if (key(entry.server) == key(server))
            return entry.unverifiedAllowed;
    return false;
}

bool CertificatePins::pin(const QString& server, const CertificateInfo& certificate) {
    QList<TrustedServer> servers = list();
    for (TrustedServer& entry : servers) {
        if (key(entry.server) == key(server)) {
            entry.pinned = certificate;
            return store(servers);
        }
    }
    servers.append({server.trimmed(), certificate, false});
    return store(servers);
}

bool CertificatePins::allowUnverified(const QString& server) {
    QList<TrustedServer> servers = list();
    for (TrustedServer& entry : servers) {
        if (key(entry.server) == key(server)) {
            entry.unverifiedAllowed = true;
            return store(servers);
        }
    }
    servers.append({server.trimmed(), std::nullopt, true});
    return store(servers);
}

bool CertificatePins::forget(const QString& server) {
    QList<TrustedServer> servers = list();
    servers.removeIf([&](const TrustedServer& entry) { return key(entry.server) == key(server); });
    return store(servers);
}

bool CertificatePins::store(const QList<TrustedServer>& servers) const {
    return OwnerOnlyIniFile::write(filePath_, [&servers](QSettings& file) {
        file.clear();
        file.beginWriteArray(kArray, int(servers.size()));
        for (int i = 0; i < servers.size(); ++i) {
            file.setArrayIndex(i);
            file.setValue(kServer, servers[i].server);
            if (servers[i].pinned) {
                file.setValue(kCertificate, servers[i].pinned->pem());
                file.setValue(kFingerprint, servers[i].pinned->sha256.toHex());
            }
            file.setValue(kUnverified, servers[i].unverifiedAllowed);
        }
        file.endArray();
    });
}
