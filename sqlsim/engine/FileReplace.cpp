#include "FileReplace.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>

namespace sqlsim {

bool replaceFile(const QString& path, const QByteArray& first, const QByteArray& second) {
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.write(first) != first.size() || temporary.write(second) != second.size() ||
        !temporary.flush())
        return false;
    temporary.close();
    // rename(2) replaces the target in one step, which QFile::rename refuses to do.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

} // namespace sqlsim
