#include "TempTables.h"

namespace sqlsim {

TempTable* TempTables::find(const QString& name) {
    const auto it = tables_.find(name.toUpper());
    return it == tables_.end() ? nullptr : &it->second;
}

bool TempTables::create(TempTable table) {
    const QString key = table.name.toUpper();
    if (tables_.count(key))
        return false;
    table.objectId = nextObjectId_;
    nextObjectId_ += 16000057;
    if (nextObjectId_ < 0)
        nextObjectId_ = 1237579447;
    tables_.emplace(key, std::move(table));
    return true;
}

bool TempTables::drop(const QString& name) {
    return tables_.erase(name.toUpper()) != 0;
}

void TempTables::dropOwnedBy(int spid) {
    for (auto it = tables_.begin(); it != tables_.end();) {
        if (it->second.ownerSpid == spid)
            it = tables_.erase(it);
        else
            ++it;
    }
}

std::vector<const TempTable*> TempTables::all() const {
    std::vector<const TempTable*> out;
    for (const auto& [key, table] : tables_)
        out.push_back(&table);
    return out;
}

} // namespace sqlsim
