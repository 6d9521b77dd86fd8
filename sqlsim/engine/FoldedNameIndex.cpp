#include "FoldedNameIndex.h"

#include <QFile>

#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqlsim {
namespace {

// Each indexed directory holds one inotify watch, and watches are limited per user.
constexpr int kMaxDirectories = 256;
constexpr int kNotTried = -2;
constexpr quint32 kWatchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool statDirectory(const QString& dir, struct stat& st) {
    return ::stat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

FoldedNameIndex::FoldedNameIndex() : inotify_(kNotTried) {}

FoldedNameIndex::~FoldedNameIndex() {
    if (inotify_ >= 0)
        ::close(inotify_);
}

std::optional<QString> FoldedNameIndex::find(const QString& dir, const QString& folded) {
    std::lock_guard lock(mutex_);
    if (inotify_ == kNotTried)
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC); // -1 when the per-user limit is reached
    if (inotify_ >= 0)
        applyEvents();
    Listing once;
    const Listing* listing = inotify_ >= 0 ? current(dir) : nullptr;
    if (!listing) {
        if (!readInto(dir, once))
            return std::nullopt;
        listing = &once;
    }
    const auto it = listing->byFolded.constFind(folded);
    if (it == listing->byFolded.cend())
        return std::nullopt;
    return it.value();
}

int FoldedNameIndex::indexedDirectories() {
    std::lock_guard lock(mutex_);
    if (inotify_ >= 0)
        applyEvents();
    return int(listings_.size());
}

// The listing of dir, made now when there is none or when the path names another directory
// than it did (a parent renamed or replaced: the watch on the old one does not see that).
FoldedNameIndex::Listing* FoldedNameIndex::current(const QString& dir) {
    struct stat st {};
    if (!statDirectory(dir, st))
        return nullptr;
    if (const auto w = watchOfDir_.constFind(dir); w != watchOfDir_.cend()) {
        const auto l = listings_.find(w.value());
        if (l != listings_.end() && l->device == st.st_dev && l->inode == st.st_ino)
            return &l.value();
        watchOfDir_.remove(dir);
    }
    if (listings_.size() >= kMaxDirectories)
        dropAll();
    // Watch first, then list: a change in between is both in the listing and in the queue, and
    // applying it again leaves the same names.
    const int watch = ::inotify_add_watch(inotify_, QFile::encodeName(dir).constData(), kWatchedEvents);
    if (watch < 0)
        return nullptr;
    watchOfDir_.insert(dir, watch);
    auto l = listings_.find(watch);
    if (l != listings_.end() && l->device == st.st_dev && l->inode == st.st_ino)
        return &l.value(); // another path to a directory already indexed
    Listing fresh;
    fresh.device = st.st_dev;
    fresh.inode = st.st_ino;
    if (!readInto(dir, fresh)) {
        drop(watch);
        return nullptr;
    }
    l = listings_.insert(watch, std::move(fresh));
    return &l.value();
}

void FoldedNameIndex::applyEvents() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(inotify_, buffer, sizeof buffer);
        if (length <= 0)
            return; // EAGAIN: nothing queued
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            at += ssize_t(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                dropAll(); // events were lost: list again when asked
                continue;
            }
            const auto l = listings_.find(event.wd);
            if (l == listings_.end())
                continue;
            if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                drop(event.wd);
                continue;
            }
            if (event.len == 0)
                continue;
            const QString entry = QFile::decodeName(QByteArray(name, int(::strnlen(name, event.len))));
            if (event.mask & (IN_CREATE | IN_MOVED_TO))
                add(l.value(), entry);
            else if (event.mask & (IN_DELETE | IN_MOVED_FROM))
                remove(l.value(), entry);
        }
    }
}

void FoldedNameIndex::drop(int watch) {
    ::inotify_rm_watch(inotify_, watch); // fails harmlessly when the kernel already removed it
    listings_.remove(watch);
    for (auto it = watchOfDir_.begin(); it != watchOfDir_.end();)
        it = it.value() == watch ? watchOfDir_.erase(it) : std::next(it);
}

void FoldedNameIndex::dropAll() {
    for (auto it = listings_.cbegin(); it != listings_.cend(); ++it)
        ::inotify_rm_watch(inotify_, it.key());
    listings_.clear();
    watchOfDir_.clear();
}

bool FoldedNameIndex::readInto(const QString& dir, Listing& listing) {
    std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(QFile::encodeName(dir).constData()), &::closedir);
    if (!entries)
        return false;
    while (const dirent* entry = ::readdir(entries.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            add(listing, QFile::decodeName(entry->d_name));
    }
    return true;
}

void FoldedNameIndex::add(Listing& listing, const QString& name) {
    const QString folded = name.toCaseFolded();
    if (folded != name && !listing.byFolded.contains(folded, name))
        listing.byFolded.insert(folded, name);
}

void FoldedNameIndex::remove(Listing& listing, const QString& name) {
    listing.byFolded.remove(name.toCaseFolded(), name);
}

} // namespace sqlsim
