#pragma once
// Where the files of a backup go when it is restored under another database name: beside the
// original files, named after the target, since the original paths are still in use by the
// database that was backed up.

#include <QString>

// C:\Data\SalesDemo_log.ldf restored from SalesDemo as SalesCopy -> C:\Data\SalesCopy_log.ldf.
// The first occurrence of the source name in the file's base name (any letter case) becomes the
// target name; a base name without it gets the target name and "_" in front. The directory and
// the extension stay.
QString renamedAfterTarget(const QString& path, const QString& source, const QString& target);

// Whether the grid proposes renamed files: only for a target name that differs from the
// backed-up database's name other than in letter case (database names are case-blind).
bool proposesRenamedFiles(const QString& source, const QString& target);
