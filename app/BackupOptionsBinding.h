#pragma once
// Carries the backup settings of the options page to the backup page: now, and after every
// change on the options page.

#include "BackupStatements.h"
#include "ProgramOptions.h"

class BackupPage;
class OptionsPage;
class RestorePage;

// The progress option asks for a message every 10 percent.
BackupOptions backupOptionsFrom(const ProgramOptions& options);

// Both pages must live as long as the binding is wanted; the connection ends with either.
void bindBackupOptions(OptionsPage& options, BackupPage& page);
// The restore page follows the progress option the same way.
void bindRestoreOptions(OptionsPage& options, RestorePage& page);
