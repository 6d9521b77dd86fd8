// SPDX-License-Identifier: MIT
#include "FreeTdsConfServers.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStringDecoder>

namespace {

// Real configuration files are a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxFileSize = 1024 * 1024;

// FreeTDS's keys are case-blind ("Host", "TDS Version"); QSettings's are not.
QString valueOf(const QSettings& file, const QString& key) {
    for (const QString& k : file.childKeys()) {
        if (k.compare(key, Qt::CaseInsensitive) == 0) {
            const QVariant value = file.value(k);
            // An unquoted value with commas reads back as a list.
            return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                            : value.toString();
        }
    }
    return {};
}

// Only a regular file of sane size: a FIFO or a device would block the reader forever. And only
// text: a binary file is not a configuration file, whatever QSettings would make of it.
bool isTextFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxFileSize)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (bytes.size() > kMaxFileSize || bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = utf8(bytes);
    return !utf8.hasError();
}

} // namespace

QStringList FreeTdsConfServers::defaultFiles() {
    QStringList files;
    // Once the program points FreeTDS at its own file, the user's choice is kept aside.
    const QString fromEnvironment = qEnvironmentVariableIsSet(kUserFileVariable) ? qEnvironmentVariable(kUserFileVariable)
                                                                                 : qEnvironmentVariable("FREETDSCONF");
    if (!fromEnvironment.isEmpty())
        files << fromEnvironment;
    files << QDir::home().filePath(QStringLiteral(".freetds.conf")) << QStringLiteral("/etc/freetds/freetds.conf");
    return files;
}

ServerChoices FreeTdsConfServers::readFile(const QString& path) {
    if (!isTextFile(path))
        return {};
    // QSettings reports a format error for FreeTDS's "#" comment lines, which are no error; like
    // FreeTDS, take what it could read.
    QSettings file(path, QSettings::IniFormat);
    const QStringList groups = file.childGroups();

    const QString globalName = QStringLiteral("global");
    const QString versionKey = QStringLiteral("tds version");
    QString globalVersion;
    for (const QString& group : groups) {
        if (group.compare(globalName, Qt::CaseInsensitive) == 0) {
            file.beginGroup(group);
            globalVersion = valueOf(file, versionKey);
            file.endGroup();
        }
    }

    ServerChoices servers;
    for (const QString& group : groups) {
        if (group.compare(globalName, Qt::CaseInsensitive) == 0)
            continue;
        file.beginGroup(group);
        const QString host = valueOf(file, QStringLiteral("host")).trimmed();
        QString version = valueOf(file, versionKey);
        if (version.isEmpty())
            version = globalVersion;
        const QString address =
            serverAddress(host, valueOf(file, QStringLiteral("port")), valueOf(file, QStringLiteral("instance")));
        file.endGroup();
        if (host.isEmpty() || isTdsVersionBelow7(version))
            continue;
        servers.append({group, address});
    }
    return servers;
}

ServerChoices FreeTdsConfServers::servers() const {
    ServerChoices all;
    QSet<QString> seen;
    for (const QString& path : files_) {
        for (const ServerChoice& server : readFile(path)) {
            if (!seen.contains(server.name.toLower())) {
                seen.insert(server.name.toLower());
                all.append(server);
            }
        }
    }
    return all;
}
