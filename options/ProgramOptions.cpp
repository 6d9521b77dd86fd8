#include "ProgramOptions.h"

#include "OwnerOnlyIniFile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kEncryption = QStringLiteral("connection/encryption");
const QString kShowProgress = QStringLiteral("backup/showProgress");
const QString kVerify = QStringLiteral("backup/verifyAfterBackup");
const QString kCopyOnly = QStringLiteral("backup/copyOnly");
const QString kCompression = QStringLiteral("backup/compression");

// Only what save() writes counts as on; QVariant would take any other word as true.
bool readFlag(const QSettings& file, const QString& key) {
    return file.value(key).toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString ProgramOptions::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/options.ini");
}

ProgramOptions ProgramOptions::load(const QString& filePath) {
    ProgramOptions options;
    if (!QFileInfo::exists(filePath))
        return options;
    const QSettings file(filePath, QSettings::IniFormat);
    options.encryption =
        EncryptionSettings::fromStoredName(file.value(kEncryption).toString()).value_or(options.encryption);
    options.showProgress = readFlag(file, kShowProgress);
    options.verifyAfterBackup = readFlag(file, kVerify);
    options.copyOnly = readFlag(file, kCopyOnly);
    options.compression = readFlag(file, kCompression);
    return options;
}

bool ProgramOptions::save(const QString& filePath) const {
    return OwnerOnlyIniFile::write(filePath, [this](QSettings& file) {
        file.setValue(kEncryption, EncryptionSettings::storedName(encryption));
        file.setValue(kShowProgress, showProgress);
        file.setValue(kVerify, verifyAfterBackup);
        file.setValue(kCopyOnly, copyOnly);
        file.setValue(kCompression, compression);
    });
}
