#include "Procedures.h"

#include "Evaluator.h"
#include "MessageCatalog.h"
#include "SqlError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <memory>

namespace sqlsim {
namespace {

int intArgument(const std::vector<Value>& args, size_t index, int fallback) {
    if (index >= args.size())
        return fallback;
    if (const auto* i = std::get_if<qint64>(&args[index]))
        return static_cast<int>(*i);
    if (const auto* s = std::get_if<QString>(&args[index])) {
        bool ok = false;
        const int n = s->trimmed().toInt(&ok);
        if (ok)
            return n;
    }
    return fallback;
}

struct DirEntry {
    QString name;
    QString path; // host path
    bool isDir = false;
    bool isLink = false;
};

// The entries of a host directory, read with readdir: the entry type comes with the name, so
// only links and file systems that do not report types cost a stat (directories of many
// thousand files are listed).
std::vector<DirEntry> readDirectory(const QString& dir) {
    std::vector<DirEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(QFile::encodeName(dir).constData()), &::closedir);
    if (!listing)
        return entries;
    while (const dirent* e = ::readdir(listing.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        DirEntry entry;
        entry.name = QFile::decodeName(e->d_name);
        entry.path = dir + u'/' + entry.name;
        if (e->d_type == DT_DIR) {
            entry.isDir = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            const QFileInfo info(entry.path);
            entry.isLink = info.isSymLink();
            entry.isDir = info.isDir(); // through the link
        }
        entries.push_back(std::move(entry));
    }
    // NTFS hands names back in case-blind order.
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    return entries;
}

// Depth-first, each directory's entries in name order. A directory already on the way down (a
// link back to an ancestor) is listed but not entered again.
void listLevel(const DriveMap& drives, const QString& dir, int level, int maxDepth, bool withFiles, ResultSet& rs,
               QStringList& ancestors) {
    for (const DirEntry& entry : readDirectory(dir)) {
        if (entry.isLink && !drives.staysInside(entry.path))
            continue;
        if (!entry.isDir && !withFiles)
            continue;
        // Built value by value: GCC 12 at -O2 warns (wrongly) about an initializer list of variants here.
        std::vector<Value> row;
        row.reserve(3);
        row.emplace_back(entry.name);
        row.emplace_back(qint64(level));
        if (withFiles)
            row.emplace_back(qint64(entry.isDir ? 0 : 1));
        rs.rows.push_back(std::move(row));
        if (!entry.isDir || (maxDepth > 0 && level >= maxDepth))
            continue;
        const QString canonical = QFileInfo(entry.path).canonicalFilePath();
        if (ancestors.contains(canonical))
            continue;
        ancestors.push_back(canonical);
        listLevel(drives, entry.path, level + 1, maxDepth, withFiles, rs, ancestors);
        ancestors.pop_back();
    }
}

} // namespace

ResultSet Procedures::fileExist(const DriveMap& drives, const QString& path) {
    ResultSet rs;
    rs.columns = {column("File Exists", SqlType::Int, 0, false), column("File is a Directory", SqlType::Int, 0, false),
                  column("Parent Directory Exists", SqlType::Int, 0, false)};
    qint64 exists = 0, isDir = 0, parent = 0;
    if (const auto host = drives.toHost(path)) {
        const QFileInfo info(*host);
        exists = info.isFile() ? 1 : 0;
        isDir = info.isDir() ? 1 : 0;
    }
    // The parent is looked at even when the name itself is one no file can have.
    if (const auto parentHost = drives.parentOnHost(path))
        parent = QFileInfo(*parentHost).isDir() ? 1 : 0;
    else
        parent = isDir; // a drive root
    rs.rows.push_back({exists, isDir, parent});
    return rs;
}

ResultSet Procedures::dirTree(const DriveMap& drives, const QString& path, int depth, bool withFiles) {
    ResultSet rs;
    rs.columns = {column("subdirectory", SqlType::NVarChar, 255), column("depth", SqlType::Int)};
    if (withFiles)
        rs.columns.push_back(column("file", SqlType::Int));
    const auto host = drives.toHost(path);
    if (host && QFileInfo(*host).isDir()) {
        QStringList ancestors{QFileInfo(*host).canonicalFilePath()};
        listLevel(drives, *host, 1, depth, withFiles, rs, ancestors);
    }
    return rs;
}

ResultSet Procedures::availableMedia(const DriveMap& drives, int mediaTypes) {
    ResultSet rs;
    rs.columns = {column("name", SqlType::NVarChar, 512), column("low free", SqlType::Int),
                  column("high free", SqlType::Int), column("media type", SqlType::Int)};
    constexpr int fixedDisk = 2;
    if ((mediaTypes & fixedDisk) == 0)
        return rs;
    for (auto it = drives.drives().begin(); it != drives.drives().end(); ++it) {
        const qint64 free = std::max<qint64>(0, QStorageInfo(it.value()).bytesAvailable());
        const auto low = static_cast<qint32>(static_cast<quint32>(free & 0xffffffffLL));
        const auto high = static_cast<qint32>(free >> 32);
        rs.rows.push_back({QString(it.key()) + QStringLiteral(":\\"), qint64(low), qint64(high), qint64(fixedDisk)});
    }
    return rs;
}

ResultSet Procedures::fixedDrives(const DriveMap& drives, const std::map<QChar, qint64>& fakedMb) {
    ResultSet rs;
    rs.columns = {column("drive", SqlType::Char, 1, false), column("MB free", SqlType::Int, 0, false)};
    for (auto it = drives.drives().begin(); it != drives.drives().end(); ++it) {
        const auto faked = fakedMb.find(it.key());
        const qint64 mb = faked != fakedMb.end() ? faked->second
                                                 : std::max<qint64>(0, QStorageInfo(it.value()).bytesAvailable()) >> 20;
        rs.rows.push_back({QString(it.key()), std::min<qint64>(mb, std::numeric_limits<qint32>::max())});
    }
    return rs;
}

std::optional<ResultSet> Procedures::run(const ExecContext& context, const ObjectName& name,
                                         const std::vector<Value>& args) {
    const QString proc = name.object().toLower();
    const QString db = name.database();
    const bool inMaster = db.isEmpty() || db.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0;
    const DriveMap& drives = context.engine.drives;
    auto text = [&args](size_t i) { return i < args.size() ? Evaluator::toText(args[i]) : QString(); };
    if (inMaster && proc == QLatin1String("xp_fileexist"))
        return fileExist(drives, text(0));
    if (inMaster && proc == QLatin1String("xp_dirtree"))
        return dirTree(drives, text(0), intArgument(args, 1, 0), intArgument(args, 2, 0) != 0);
    if (inMaster && proc == QLatin1String("xp_availablemedia")) {
        if (!context.session.sysadmin)
            throw SqlError(MessageCatalog::make(229, {QStringLiteral("EXECUTE"), QStringLiteral("xp_availablemedia"),
                                                      QStringLiteral("mssqlsystemresource"), QStringLiteral("sys")}));
        return availableMedia(drives, intArgument(args, 0, 15));
    }
    if (inMaster && proc == QLatin1String("xp_fixeddrives")) {
        if (!context.session.sysadmin)
            throw SqlError(MessageCatalog::make(229, {QStringLiteral("EXECUTE"), QStringLiteral("xp_fixeddrives"),
                                                      QStringLiteral("mssqlsystemresource"), QStringLiteral("sys")}));
        return fixedDrives(drives, context.engine.config.freeSpaceMb);
    }
    throw SqlError(MessageCatalog::make(2812, {name.written}));
}

} // namespace sqlsim
