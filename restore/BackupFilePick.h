#pragma once
// Choosing the backup file on the server and listing its sets.

#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class TADOConnection;
class TFrmSelFile;

// Shows the file picker modally; the chosen server path, or nothing when the user left it
// without a pick.
using BackupFilePicker = std::function<std::optional<QString>()>;

// The picker as the main window shows it.
std::optional<QString> runFilePicker(TFrmSelFile& picker);

// Not connected: says so and does nothing else. Otherwise runs the picker; a pick goes into
// EdtBakFile and its sets into CmbBfj; no pick empties EdtBakFile and keeps the sets.
void pickBackupFile(TADOConnection& connection, const BackupFilePicker& picker, QLineEdit* EdtBakFile,
                    QComboBox* CmbBfj);
