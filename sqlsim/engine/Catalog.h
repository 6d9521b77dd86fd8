#pragma once
// The databases of the instance and their files, kept in one JSON file in the state
// directory. Saving writes a new file and renames it over the old one, so a crash leaves
// either the old or the new catalog, never half of one. Not thread-safe: the engine locks.

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace sqlsim {

struct DatabaseFile {
    QString logicalName;
    QString physicalName; // Windows path
    QChar type = u'D';    // D data, L log
    int fileId = 1;
};

struct Database {
    QString name;
    int dbid = 0;
    QDateTime created;
    int compatibilityLevel = 150;
    QString recoveryModel = QStringLiteral("SIMPLE");
    QString state = QStringLiteral("ONLINE"); // or RESTORING (WITH NORECOVERY), as state_desc spells it
    bool singleUser = false;                  // ALTER DATABASE ... SET SINGLE_USER
    std::vector<DatabaseFile> files;
    bool isRestoring() const { return state == QLatin1String("RESTORING"); }
};

class Catalog {
public:
    // Loads path when it exists. Throws std::runtime_error when it cannot be read.
    explicit Catalog(QString path);

    // Throws std::runtime_error when the new catalog cannot be written.
    void save() const;

    const std::vector<Database>& databases() const { return databases_; }
    const Database* find(const QString& name) const; // case-blind, as the server's collation
    // Adds or replaces (by name); a new database gets the next free dbid from 5 on.
    void put(Database db);
    void remove(const QString& name); // case-blind; nothing when there is none
    int nextDbid() const;
    bool isEmpty() const { return databases_.empty(); }
    bool hasUserDatabase() const;

    // The database using a file (Windows path compared without regard to case), if any.
    const Database* ownerOf(const QString& physicalName) const;

    qint64 nextLsn(); // grows with every backup, saved with the catalog and by saveLsn
    // Saves only the LSN counter, to a small file beside the catalog: a backup need not rewrite
    // a catalog of thousands of databases. Throws std::runtime_error when it cannot be written.
    void saveLsn() const;

    // One database as the catalog file keeps it.
    static QJsonObject toJson(const Database& db);
    static Database fromJson(const QJsonObject& o);

private:
    QString lsnPath() const;
    Database* locate(const QString& name);

    // Case-folded name -> dbid, so that a lookup costs the same among 32,767 databases as among
    // five. Rebuilt whenever its size no longer matches the list.
    mutable QHash<QString, int> dbidByName_;

    QString path_;
    std::vector<Database> databases_;
    qint64 lsnCounter_ = 37;
};

} // namespace sqlsim
