// SPDX-License-Identifier: MIT
#pragma once
// Writes one of the user's INI files so that only the user can read it: what the program keeps
// there (servers, user names, trusted certificates) tells a reader which servers to aim at.

#include <QSettings>
#include <QString>

#include <functional>

namespace OwnerOnlyIniFile {

// Creates the folder if needed, lets `fill` write the values, flushes them and restricts the
// file to its owner. False when any step fails.
bool write(const QString& filePath, const std::function<void(QSettings&)>& fill);

} // namespace OwnerOnlyIniFile
