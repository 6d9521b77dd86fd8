#include "TargetFileNames.h"

#include <algorithm>

QString renamedAfterTarget(const QString& path, const QString& source, const QString& target) {
    const qsizetype nameStart = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/')) + 1;
    const QString directory = path.left(nameStart);
    const QString fileName = path.mid(nameStart);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    QString base = dot > 0 ? fileName.left(dot) : fileName;
    const qsizetype at = source.isEmpty() ? -1 : base.indexOf(source, 0, Qt::CaseInsensitive);
    if (at >= 0)
        base.replace(at, source.size(), target);
    else
        base = target + u'_' + base;
    return directory + base + extension;
}

bool proposesRenamedFiles(const QString& source, const QString& target) {
    return !source.isEmpty() && !target.isEmpty() && source.compare(target, Qt::CaseInsensitive) != 0;
}
