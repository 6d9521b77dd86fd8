// SPDX-License-Identifier: MIT
#include "OwnerOnlyIniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool OwnerOnlyIniFile::write(const QString& filePath, const std::function<void(QSettings&)>& fill) {
    if (!QDir().mkpath(QFileInfo(filePath).absolutePath()))
        return false;
    {
        QSettings file(filePath, QSettings::IniFormat);
        fill(file);
        file.sync();
        if (file.status() != QSettings::NoError)
            return false;
    }
    return QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
