#include "FreeTdsConfigFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// FreeTDS reads a line of at most 255 bytes, ends a value at ";" or "#", and squeezes runs of
// blanks; a value that would not come back as written is refused rather than bent.
constexpr qsizetype kLongestLine = 250;

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void requireMatch(const QString& value, const QRegularExpression& pattern, const char* what) {
    if (!pattern.match(value).hasMatch())
        throw EFreeTdsConfigError(std::string("FreeTDS cannot read this ") + what + ": " + value.toStdString());
}

QString line(const char* option, const QString& value) {
    const QString text = QStringLiteral("\t%1 = %2\n").arg(QLatin1String(option), value);
    if (text.toUtf8().size() > kLongestLine)
        throw EFreeTdsConfigError(std::string("a FreeTDS setting is too long: ") + option);
    return text;
}

void checkPath(const QString& path) {
    static const QRegularExpression unreadable(QStringLiteral("[;#\\r\\n]|\\s\\s|^\\s|\\s$"));
    if (unreadable.match(path).hasMatch())
        throw EFreeTdsConfigError("FreeTDS cannot read this file path: " + path.toStdString());
}

void writeOwnerOnly(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnly) || file.write(bytes) != bytes.size() ||
        !file.commit())
        throw EFreeTdsConfigError("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}

} // namespace

QString FreeTdsConfigFile::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/freetds.conf");
}

QString FreeTdsConfigFile::sectionName(const QString& server) {
    const QString key = server.trimmed().toLower();
    QString readable;
    for (const QChar c : key)
        readable += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('.') || c == QLatin1Char('-')
                        ? c
                        : QLatin1Char('_');
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return readable.left(40) + QLatin1Char('_') + QString::fromLatin1(hash);
}

FreeTdsConfigFile::FreeTdsConfigFile(QString path) : path_(std::move(path)) {}

QString FreeTdsConfigFile::pinFile(const QString& server) const {
    return QFileInfo(path_).absolutePath() + QStringLiteral("/pins/") + sectionName(server) + QStringLiteral(".pem");
}

QString FreeTdsConfigFile::render(const QList<FreeTdsSection>& sections) const {
    static const QRegularExpression host(QStringLiteral("^[A-Za-z0-9._:-]+$"));
    static const QRegularExpression instance(QStringLiteral("^[A-Za-z0-9_$-]+$"));

    QString text = QStringLiteral("# Written by the program for its own connections; rewritten at each one.\n");
    for (const FreeTdsSection& section : sections) {
        if (section.setting == EncryptionSetting::Strict)
            throw EFreeTdsConfigError("FreeTDS has no strict (TDS 8.0) encryption");
        requireMatch(section.address.host, host, "host name");
        text += QLatin1Char('[') + sectionName(section.server) + QStringLiteral("]\n");
        text += line("host", section.address.host);
        if (!section.address.instance.isEmpty()) {
            requireMatch(section.address.instance, instance, "instance name");
            text += line("instance", section.address.instance);
        } else {
            text += line("port",
                         QString::number(section.address.port ? section.address.port : ServerAddress::kDefaultPort));
        }
        text += line("tds version", QStringLiteral("7.4"));
        text += line("encryption", section.setting == EncryptionSetting::Optional ? QStringLiteral("request")
                                                                                  : QStringLiteral("require"));
        switch (section.verify) {
        case FreeTdsSection::Verify::Nothing:
            break;
        case FreeTdsSection::Verify::System:
            if (!section.caFile.isEmpty())
                checkPath(section.caFile);
            text += line("ca file", section.caFile.isEmpty() ? QStringLiteral("system") : section.caFile);
            break;
        case FreeTdsSection::Verify::Pin: {
            const QString pin = pinFile(section.server);
            checkPath(pin);
            text += line("ca file", pin);
            // The pin is the one certificate accepted, whatever names it carries; a self-signed
            // server certificate rarely names the host the way the user typed it.
            text += line("check certificate hostname", QStringLiteral("no"));
            break;
        }
        }
    }
    return text;
}

void FreeTdsConfigFile::writePinFile(const QString& server, const QByteArray& pem) const {
    const QString directory = QFileInfo(pinFile(server)).absolutePath();
    if (!QDir().mkpath(directory))
        throw EFreeTdsConfigError("cannot create " + directory.toStdString());
    QFile::setPermissions(directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeOwnerOnly(pinFile(server), pem);
}

void FreeTdsConfigFile::write(const QList<FreeTdsSection>& sections) const {
    const QString text = render(sections);
    for (const FreeTdsSection& section : sections)
        if (section.verify == FreeTdsSection::Verify::Pin)
            writePinFile(section.server, section.pinnedPem);
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
        throw EFreeTdsConfigError("cannot create " + QFileInfo(path_).absolutePath().toStdString());
    writeOwnerOnly(path_, text.toUtf8());
}
