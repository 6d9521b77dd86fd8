#pragma once
// Finds the entry of a host directory whose name matches without regard to letter case, as
// Windows resolves names, without reading the whole directory on every lookup. A directory is
// listed once, on its first lookup; inotify then keeps its index current, whoever changes it.
// Thread-safe. Without inotify (its limits reached) each lookup lists the directory.

#include <QHash>
#include <QMultiHash>
#include <QString>

#include <mutex>
#include <optional>
#include <sys/types.h>

namespace sqlsim {

class FoldedNameIndex {
public:
    FoldedNameIndex();
    ~FoldedNameIndex();
    FoldedNameIndex(const FoldedNameIndex&) = delete;
    FoldedNameIndex& operator=(const FoldedNameIndex&) = delete;

    // An entry of dir whose case-folded name is folded (QString::toCaseFolded), if any. Entries
    // that are their own folded form are left out: a caller finds those by trying the folded
    // name itself, which keeps the index small in the usual lower-case directory.
    std::optional<QString> find(const QString& dir, const QString& folded);

    // Directories indexed at the moment (for tests).
    int indexedDirectories();

private:
    struct Listing {
        dev_t device = 0;
        ino_t inode = 0;
        QMultiHash<QString, QString> byFolded; // folded name -> entry name
    };

    Listing* current(const QString& dir);
    void applyEvents();
    void drop(int watch);
    void dropAll();
    static bool readInto(const QString& dir, Listing& listing);
    static void add(Listing& listing, const QString& name);
    static void remove(Listing& listing, const QString& name);

    std::mutex mutex_;
    int inotify_ = -1;
    QHash<int, Listing> listings_;  // by inotify watch
    QHash<QString, int> watchOfDir_; // several paths may name one directory
};

} // namespace sqlsim
