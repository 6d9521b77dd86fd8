#include "FileReplace.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace sqlsim {

namespace {

// The process's file-creation mask, read without changing it (umask(2) would, for every thread).
mode_t creationMask() {
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("Umask:"))
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        return mode_t(022);
    }();
    return mask;
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& first, const QByteArray& second) {
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.write(first) != first.size() || temporary.write(second) != second.size() ||
        !temporary.flush())
        return false;
    // A temporary file is private to its owner; the finished file gets an ordinary file's mode.
    if (::fchmod(temporary.handle(), 0666 & ~creationMask()) != 0)
        return false;
    temporary.close();
    // rename(2) replaces the target in one step, which QFile::rename refuses to do.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

std::error_code renameFile(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(from).toStdString()),
                            std::filesystem::path(QFile::encodeName(to).toStdString()), error);
    return error;
}

} // namespace sqlsim
