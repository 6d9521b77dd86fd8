#pragma once
// The program's one encryption setting, shown on the options page as 可选 / 强制 / 严格.

#include <QString>

#include <optional>

enum class EncryptionSetting {
    Optional,  // encrypt when the server offers; no certificate check
    Mandatory, // always encrypt and verify the certificate (the default)
    Strict,    // TDS 8.0: TLS before anything else
};

namespace EncryptionSettings {

// Stable names for settings files: "optional", "mandatory", "strict".
QString storedName(EncryptionSetting setting);
std::optional<EncryptionSetting> fromStoredName(const QString& name);

} // namespace EncryptionSettings
