#include "BackupOptionsBinding.h"

#include "BackupPage.h"
#include "OptionsPage.h"
#include "RestorePage.h"

BackupOptions backupOptionsFrom(const ProgramOptions& options) {
    BackupOptions backup;
    backup.copyOnly = options.copyOnly;
    backup.compression = options.compression;
    backup.verifyAfterBackup = options.verifyAfterBackup;
    backup.statsPercent = options.showProgress ? 10 : 0;
    return backup;
}

void bindBackupOptions(OptionsPage& options, BackupPage& page) {
    page.setBackupOptions(backupOptionsFrom(options.options()));
    QObject::connect(&options, &OptionsPage::optionsChanged, &page,
                     [&page](const ProgramOptions& changed) { page.setBackupOptions(backupOptionsFrom(changed)); });
}

void bindRestoreOptions(OptionsPage& options, RestorePage& page) {
    page.setStatsPercent(backupOptionsFrom(options.options()).statsPercent);
    QObject::connect(&options, &OptionsPage::optionsChanged, &page, [&page](const ProgramOptions& changed) {
        page.setStatsPercent(backupOptionsFrom(changed).statsPercent);
    });
}
