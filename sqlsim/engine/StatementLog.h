#pragma once
// Appends every batch received to a JSON Lines file: {"login": ..., "spid": N, "batch": ...}.
// Thread-safe. Passwords never pass through here.

#include <QFile>
#include <QString>

#include <mutex>

namespace sqlsim {

class StatementLog {
public:
    explicit StatementLog(const QString& path); // empty path: logs nothing
    void append(const QString& login, int spid, const QString& batch);

private:
    std::mutex mutex_;
    QFile file_;
};

} // namespace sqlsim
