// What a backup and the server tell the restore check: a file's physical path and the backed-up
// database's name (proposing renamed targets), and a product version (comparing versions).
// Input: three lines, path, source name, version.
#include "RestoreCheck.h"
#include "TargetFileNames.h"

#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList parts =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    const QString path = parts.value(0);
    const QString source = parts.value(1);
    const QString target = QStringLiteral("Copy");
    const QString renamed = renamedAfterTarget(path, source, target);
    // The directory stays and the target name appears in the file name.
    const qsizetype nameStart = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/')) + 1;
    if (!renamed.startsWith(path.left(nameStart)) || !renamed.mid(nameStart).contains(target))
        __builtin_trap();
    RestoreFacts facts;
    facts.serverVersion = parts.value(2);
    facts.backupVersion = parts.value(2);
    if (facts.newerBackup()) // the same version is never newer
        __builtin_trap();
    return 0;
}
