#pragma once
// Global temporary tables (##name): one table for every connection, dropped when the
// session that created it ends. Not thread-safe: the engine locks around every use.

#include "Results.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <vector>

namespace sqlsim {

struct TempTable {
    QString name; // as created, "##TbFile"
    int objectId = 0;
    int ownerSpid = 0;
    QDateTime created;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

class TempTables {
public:
    TempTable* find(const QString& name); // case-blind
    bool create(TempTable table);         // false when the name is taken
    bool drop(const QString& name);
    void dropOwnedBy(int spid);
    std::vector<const TempTable*> all() const;

private:
    std::map<QString, TempTable> tables_; // key: upper-case name
    int nextObjectId_ = 1237579447;       // positive ids, as recent servers give global temp tables
};

} // namespace sqlsim
