// SPDX-License-Identifier: MIT
#include "RecentServers.h"

#include "OwnerOnlyIniFile.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kArray = QStringLiteral("recent");
const QString kServer = QStringLiteral("server");
const QString kAuthentication = QStringLiteral("authentication");
const QString kUserName = QStringLiteral("user");
const QString kSqlServer = QStringLiteral("sql-server");
const QString kIntegrated = QStringLiteral("integrated");

} // namespace

QString RecentServers::defaultFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("sqlbackup/servers.conf"));
}

QList<RememberedServer> RecentServers::servers() const {
    QSettings settings(file_, QSettings::IniFormat);
    QList<RememberedServer> servers;
    const int count = settings.beginReadArray(kArray);
    for (int i = 0; i < count && servers.size() < kMaxServers; ++i) {
        settings.setArrayIndex(i);
        RememberedServer server;
        server.server = settings.value(kServer).toString().trimmed();
        const QString mode = settings.value(kAuthentication).toString();
        if (mode == kIntegrated)
            server.authentication = Authentication::Integrated;
        else if (mode != kSqlServer)
            continue;
        if (server.authentication == Authentication::SqlServer)
            server.userName = settings.value(kUserName).toString();
        if (!server.server.isEmpty())
            servers.append(server);
    }
    settings.endArray();
    return servers;
}

std::optional<RememberedServer> RecentServers::lastUsed() const {
    const QList<RememberedServer> all = servers();
    if (all.isEmpty())
        return std::nullopt;
    return all.first();
}

bool RecentServers::remember(const RememberedServer& server) {
    RememberedServer entry = server;
    entry.server = entry.server.trimmed();
    if (entry.server.isEmpty())
        return false;
    if (entry.authentication == Authentication::Integrated)
        entry.userName.clear();
    QList<RememberedServer> all = servers();
    all.removeIf([&](const RememberedServer& s) { return s.server.compare(entry.server, Qt::CaseInsensitive) == 0; });
    all.prepend(entry);
    while (all.size() > kMaxServers)
        all.removeLast();
    return store(all);
}

bool RecentServers::forget(const QString& server) {
    QList<RememberedServer> all = servers();
    all.removeIf(
        [&](const RememberedServer& s) { return s.server.compare(server.trimmed(), Qt::CaseInsensitive) == 0; });
    return store(all);
}

bool RecentServers::store(const QList<RememberedServer>& servers) const {
    return OwnerOnlyIniFile::write(file_, [&servers](QSettings& settings) {
        settings.remove(kArray);
        settings.beginWriteArray(kArray, int(servers.size()));
        for (int i = 0; i < servers.size(); ++i) {
            settings.setArrayIndex(i);
            const RememberedServer& s = servers[i];
            settings.setValue(kServer, s.server);
            settings.setValue(kAuthentication,
                              s.authentication == Authentication::Integrated ? kIntegrated : kSqlServer);
            if (s.authentication == Authentication::SqlServer)
                settings.setValue(kUserName, s.userName);
        }
        settings.endArray();
    });
}
