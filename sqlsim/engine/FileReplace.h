#pragma once
// Replaces a file's whole content by writing a sibling temporary file and renaming it over the
// file: a crash of the simulator leaves the old content or the new, never half of either. Unlike
// QSaveFile it does not wait for the disk (no fsync): power loss is not something the simulator
// simulates, and a flush per BACKUP would make the disk, not the server, what a benchmark sees.

#include <QByteArray>
#include <QString>

#include <system_error>

namespace sqlsim {

// False when the file cannot be written or renamed into place; the old content then stays.
bool replaceFile(const QString& path, const QByteArray& first, const QByteArray& second = {});

// rename(2): moves a host file, replacing what is at to in one step.
std::error_code renameFile(const QString& from, const QString& to);

} // namespace sqlsim
