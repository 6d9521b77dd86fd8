#pragma once
// How a simulator is set up: where its state and drives live, who may log in, and the knobs
// the tests and the demo turn. Read-only once the engine has started.

#include <QChar>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

namespace sqlsim {

struct LoginAccount {
    QString name;
    QString password;
    bool sysadmin = true;
};

// Renames a host file over another in one step. Tests put one in that fails on purpose.
using RenameFile = std::function<std::error_code(const QString& from, const QString& to)>;

struct EngineConfig {
    QString stateDir;                                // catalog and default drive C: live here
    QMap<QChar, QString> drives;                     // upper-case drive letter -> host directory
    std::vector<LoginAccount> logins;                // empty: none can log in
    bool seed = false;                               // create sample databases when there is no user database
    int sampleDatabases = 0;                         // and this many small numbered ones (benchmarks)
    QString statementLogPath;                        // empty: no statement log
    int delayPerMbMs = 0;                            // BACKUP/RESTORE pacing
    std::vector<std::pair<QString, int>> failRules;  // batch containing text -> error number
    std::vector<std::pair<QString, int>> delayRules; // batch containing text -> milliseconds before it runs
    QString serverName = QStringLiteral("SQLSIM");   // @@SERVERNAME, MachineName in headers
    QString edition = QStringLiteral("Developer Edition (64-bit)"); // SERVERPROPERTY('Edition')
    // SERVERPROPERTY('ProductVersion'); a backup records its major, minor and build numbers.
    QString productVersion = QStringLiteral("15.0.2000.5");
    // Windows directories the service account may not write: a backup there fails with access
    // denied. Checked by path, as file modes do not stop a simulator running as root.
    QStringList denyWrite;
    std::map<QChar, qint64> freeSpaceMb; // drive letter -> MB free that xp_fixeddrives reports
    QStringList holdSessions;            // a simulated session holds each of these databases open
    RenameFile rename;                   // empty: rename(2)
};

} // namespace sqlsim
