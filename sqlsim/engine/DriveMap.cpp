#include "DriveMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace sqlsim {
namespace {

bool validComponent(const QString& c) {
    static const QString forbidden = QStringLiteral("<>:\"|?*/\\");
    for (const QChar ch : c)
        if (ch.unicode() < 32 || forbidden.contains(ch))
            return false;
    return true;
}

} // namespace

DriveMap::DriveMap(const QMap<QChar, QString>& drives) : folded_(std::make_shared<FoldedNameIndex>()) {
    for (auto it = drives.begin(); it != drives.end(); ++it) {
        const QChar letter = it.key().toUpper();
        const QString dir = QDir(it.value()).absolutePath();
        drives_.insert(letter, dir);
        const QString canonical = QFileInfo(dir).canonicalFilePath();
        canonical_.insert(letter, canonical.isEmpty() ? dir : canonical);
    }
}

// The entry of dir whose name equals name without regard to case; name itself when none does.
// Windows finds a name in a directory of any size at the cost of one lookup, and so must we: the
// exact name and its folded form cost a stat each, and the index answers the rest, so that a
// name not there yet (every new backup file) costs no listing of the directory.
QString DriveMap::matchCase(const QString& dir, const QString& name) const {
    if (QFileInfo::exists(dir + u'/' + name))
        return name;
    const QString folded = name.toCaseFolded();
    if (folded != name && QFileInfo::exists(dir + u'/' + folded))
        return folded;
    return folded_->find(dir, folded).value_or(name);
}

std::optional<QString> DriveMap::toHost(const QString& windowsPath) const {
    return resolve(windowsPath, false);
}

std::optional<QString> DriveMap::parentOnHost(const QString& windowsPath) const {
    return resolve(windowsPath, true);
}

std::optional<QString> DriveMap::resolve(const QString& path, bool parentOnly) const {
    if (path.size() < 2 || path.at(1) != u':' || !path.at(0).isLetter() || path.at(0).unicode() > 127)
        return std::nullopt;
    const auto root = drives_.find(path.at(0).toUpper());
    if (root == drives_.end())
        return std::nullopt;
    const QString rest = path.mid(2);
    // "C:x" (relative to the drive's current directory) is not something the server resolves for us.
    if (!rest.isEmpty() && rest.at(0) != u'\\' && rest.at(0) != u'/')
        return std::nullopt;
    QStringList parts;
    for (const QString& raw : rest.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts)) {
        // Windows drops trailing dots and blanks of a name.
        QString part = raw;
        while (!part.isEmpty() && (part.endsWith(u' ') ||
                                   (part.endsWith(u'.') && part != QLatin1String(".") && part != QLatin1String(".."))))
            part.chop(1);
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return std::nullopt;
            parts.removeLast();
            continue;
        }
        parts << part;
    }
    if (parentOnly) {
        if (parts.isEmpty())
            return std::nullopt;
        parts.removeLast();
    }
    // ".." is resolved by name first, as Windows does; a name the file system refuses only
    // matters when it is part of the path asked for (the parent of "C:\Data\a?b" exists).
    for (const QString& part : parts)
        if (!validComponent(part))
            return std::nullopt;
    QString host = root.value();
    for (const QString& part : parts)
        host += u'/' + matchCase(host, part);
    if (!staysInside(host))
        return std::nullopt;
    return host;
}

bool DriveMap::staysInside(const QString& hostPath) const {
    // Resolve the deepest existing ancestor: a link anywhere on the way counts.
    QString probe = QDir::cleanPath(hostPath);
    QString tail;
    while (!QFileInfo::exists(probe) && !QFileInfo(probe).isSymLink()) {
        const qsizetype slash = probe.lastIndexOf(u'/');
        if (slash <= 0)
            return false;
        tail.prepend(probe.mid(slash));
        probe = probe.left(slash);
    }
    const QString canonical = QFileInfo(probe).canonicalFilePath();
    if (canonical.isEmpty())
        return false; // a dangling link
    for (const QString& root : canonical_)
        if (canonical == root || canonical.startsWith(root + u'/'))
            return true;
    return false;
}

} // namespace sqlsim
