#include "EncryptionSetting.h"

QString EncryptionSettings::storedName(EncryptionSetting setting) {
    switch (setting) {
    case EncryptionSetting::Optional:
        return QStringLiteral("optional");
    case EncryptionSetting::Mandatory:
        return QStringLiteral("mandatory");
    case EncryptionSetting::Strict:
        return QStringLiteral("strict");
    }
    return {};
}

std::optional<EncryptionSetting> EncryptionSettings::fromStoredName(const QString& name) {
    for (EncryptionSetting s : {EncryptionSetting::Optional, EncryptionSetting::Mandatory, EncryptionSetting::Strict})
        if (name.compare(storedName(s), Qt::CaseInsensitive) == 0)
            return s;
    return std::nullopt;
}
