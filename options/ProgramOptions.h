#pragma once
// The settings of the options page, kept in an INI file in the user's configuration directory.
// Every option added later defaults to off, so that the program sends what it always sent.

#include "EncryptionSetting.h"

#include <QString>

struct ProgramOptions {
    EncryptionSetting encryption = EncryptionSetting::Mandatory;
    bool showProgress = false;
    bool verifyAfterBackup = false;
    bool copyOnly = false;
    bool compression = false;

    // options.ini in the application's configuration directory.
    static QString defaultFilePath();
    // Defaults for anything missing or unreadable.
    static ProgramOptions load(const QString& filePath = defaultFilePath());
    // False when the file cannot be written.
    bool save(const QString& filePath = defaultFilePath()) const;

    bool operator==(const ProgramOptions&) const = default;
};
