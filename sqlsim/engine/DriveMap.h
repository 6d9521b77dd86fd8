#pragma once
// Maps Windows paths (C:\Data\x.bak) onto host directories. A path that leaves its drive's
// directory by "..", a symbolic link or an absolute host path does not exist for the server.

#include "FoldedNameIndex.h"

#include <QChar>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

namespace sqlsim {

class DriveMap {
public:
    DriveMap() : folded_(std::make_shared<FoldedNameIndex>()) {}
    explicit DriveMap(const QMap<QChar, QString>& drives); // upper-case letter -> host directory

    // The host path for a Windows path, or nothing when the path lies outside every drive.
    // Each existing component is matched without regard to letter case, as Windows does.
    std::optional<QString> toHost(const QString& windowsPath) const;

    // Host path of the directory that would contain the path (the path need not exist).
    std::optional<QString> parentOnHost(const QString& windowsPath) const;

    // True when an existing host path still lies inside one of the drive directories once
    // symbolic links are resolved.
    bool staysInside(const QString& hostPath) const;

    const QMap<QChar, QString>& drives() const { return drives_; }

private:
    std::optional<QString> resolve(const QString& windowsPath, bool parentOnly) const;
    QString matchCase(const QString& dir, const QString& name) const;

    QMap<QChar, QString> drives_;    // letter -> absolute host directory
    QMap<QChar, QString> canonical_; // letter -> canonical host directory
    std::shared_ptr<FoldedNameIndex> folded_; // shared by copies; thread-safe
};

} // namespace sqlsim
