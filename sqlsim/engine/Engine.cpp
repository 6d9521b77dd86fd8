#include "Engine.h"

#include "BatchRunner.h"
#include "EngineState.h"
#include "MessageCatalog.h"
#include "RestoreJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <stdexcept>

namespace sqlsim {
namespace {

const QString dataDirectory =
    QStringLiteral("C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\");

QMap<QChar, QString> drivesWithDefault(const EngineConfig& config) {
    QMap<QChar, QString> drives;
    for (auto it = config.drives.begin(); it != config.drives.end(); ++it)
        drives.insert(it.key().toUpper(), it.value());
    if (!drives.contains(u'C'))
        drives.insert(u'C', QDir(config.stateDir).filePath(QStringLiteral("C")));
    for (const QString& dir : drives)
        if (!QDir().mkpath(dir))
            throw std::runtime_error("cannot create the drive directory " + dir.toStdString());
    return drives;
}

QString prepareStateDir(const QString& dir) {
    if (dir.isEmpty() || !QDir().mkpath(dir))
        throw std::runtime_error("cannot open the state directory " + dir.toStdString());
    return QDir(dir).filePath(QStringLiteral("catalog.json"));
}

// False only when the Windows path's last component is a plain name that differs from name
// (lower case) whatever the letter case: then the path cannot resolve to a file called name.
bool couldBeNamed(const QString& windowsPath, const QString& name) {
    QString last = windowsPath.mid(std::max(windowsPath.lastIndexOf(u'\\'), windowsPath.lastIndexOf(u'/')) + 1);
    while (last.endsWith(u' ') || last.endsWith(u'.')) // Windows drops trailing dots and blanks
        last.chop(1);
    if (last.isEmpty())
        return true;
    return last.compare(name, Qt::CaseInsensitive) == 0;
}

// Deterministic bytes that differ from file to file, so a restore that mixes files up shows.
QByteArray sampleContent(const QString& seed, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint64 state = qHash(seed) | 1u;
    char* out = bytes.data();
    for (qint64 i = 0; i < size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(out + i, &state, size_t(std::min<qint64>(8, size - i)));
    }
    return bytes;
}

class SessionImpl : public Session {
public:
    SessionImpl(std::shared_ptr<EngineState> engine, const QString& login, bool sysadmin)
        : keepAlive_(std::move(engine)), engine_(*keepAlive_) {
        state_.login = login;
        state_.sysadmin = sysadmin;
        state_.spid = engine_.nextSpid.fetch_add(1);
        std::lock_guard lock(engine_.mutex);
        engine_.sessionDatabases[state_.spid] = state_.database;
        engine_.sessions[state_.spid] = {login, QDateTime::currentDateTime(), QString(), false};
    }

    ~SessionImpl() override {
        std::lock_guard lock(engine_.mutex);
        engine_.tempTables.dropOwnedBy(state_.spid);
        engine_.sessionDatabases.erase(state_.spid);
        engine_.sessions.erase(state_.spid);
        engine_.killedSpids.erase(state_.spid);
    }

// GCC 12 at -O2 guesses the sink's type, inlines the move of each answer and then warns about
// alternatives of the variant that were never built.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
    void executeBatch(const QString& batch, ResponseSink& sink, const CancelToken& cancel) override {
        engine_.log.append(state_.login, state_.spid, batch);
        if (killed()) {
            // A real server drops the connection; what reaches the client first is this.
            sink.add(MessageCatalog::make(596));
            Done done;
            done.error = true;
            sink.add(done);
            return;
        }
        ExecContext context{engine_, state_, sink, cancel};
        BatchRunner(context).run(batch);
    }

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

    void beginTransaction() override { ++state_.tranCount; }
    void commitTransaction() override { state_.tranCount = std::max(0, state_.tranCount - 1); }
    void rollbackTransaction() override { state_.tranCount = 0; }
    bool inTransaction() const override { return state_.tranCount > 0; }
    QString loginName() const override { return state_.login; }
    int spid() const override { return state_.spid; }

private:
    bool killed() {
        std::lock_guard lock(engine_.mutex);
        return engine_.killedSpids.count(state_.spid) != 0;
    }

    // A connection thread may still hold its session while the engine shuts down.
    std::shared_ptr<EngineState> keepAlive_;
    EngineState& engine_;
    SessionState state_;
};

} // namespace

EngineState::EngineState(EngineConfig cfg)
    : config(std::move(cfg)), drives(drivesWithDefault(config)), log(config.statementLogPath),
      catalog(prepareStateDir(config.stateDir)) {}

int EngineState::holdSession(const QString& database) {
    const int spid = nextSpid.fetch_add(1);
    sessionDatabases[spid] = database;
    sessions[spid] = {QStringLiteral("app_user"), QDateTime::currentDateTime(), QStringLiteral("held by sqlsim"), true};
    return spid;
}

std::vector<int> EngineState::otherSessionsIn(const QString& database, int ownSpid) const {
    std::vector<int> out;
    for (const auto& [spid, current] : sessionDatabases)
        if (spid != ownSpid && current.compare(database, Qt::CaseInsensitive) == 0)
            out.push_back(spid);
    return out;
}

bool EngineState::endOtherSessions(const QString& database, int ownSpid, bool rollback) {
    const std::vector<int> others = otherSessionsIn(database, ownSpid);
    if (!others.empty() && !rollback)
        return false;
    for (int spid : others) {
        sessionDatabases.erase(spid);
        const auto session = sessions.find(spid);
        if (session != sessions.end() && session->second.held)
            sessions.erase(session);
        else
            killedSpids.insert(spid);
    }
    return true;
}

QString EngineState::hostPathOf(const QString& physicalName) const {
    return drives.toHost(physicalName).value_or(QString());
}

const Database* EngineState::ownerOfHostPath(const QString& hostPath) const {
    const QString wanted = QDir::cleanPath(hostPath).toLower();
    const QString wantedName = wanted.mid(wanted.lastIndexOf(u'/') + 1);
    for (const Database& db : catalog.databases()) {
        for (const DatabaseFile& f : db.files) {
            // Resolving a path costs file-system calls; a file of another name cannot be the one.
            if (!couldBeNamed(f.physicalName, wantedName))
                continue;
            const QString host = hostPathOf(f.physicalName);
            if (!host.isEmpty() && QDir::cleanPath(host).toLower() == wanted)
                return &db;
        }
    }
    return nullptr;
}

struct Engine::Impl {
    explicit Impl(EngineConfig config) : shared(std::make_shared<EngineState>(std::move(config))), state(*shared) {}

    void createDatabase(const QString& name, int dbid, const QString& dataName, const QString& dataFile,
                        const QString& logName, const QString& logFile, qint64 dataSize, qint64 logSize) {
        Database db;
        db.name = name;
        db.dbid = dbid;
        db.created = QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)).addDays(dbid);
        db.files = {{dataName, dataDirectory + dataFile, u'D', 1}, {logName, dataDirectory + logFile, u'L', 2}};
        for (const DatabaseFile& f : db.files) {
            const auto host = state.drives.toHost(f.physicalName);
            if (!host)
                throw std::runtime_error("the data directory lies outside drive C:");
            QDir().mkpath(QFileInfo(*host).absolutePath());
            if (QFileInfo::exists(*host))
                continue;
            QFile out(*host);
            if (!out.open(QIODevice::WriteOnly) ||
                out.write(sampleContent(f.physicalName, f.type == u'D' ? dataSize : logSize)) < 0)
                throw std::runtime_error("cannot create " + host->toStdString());
        }
        state.catalog.put(db);
    }

    void prepare() {
        constexpr qint64 mb = 1024 * 1024;
        // A restore that a kill interrupted is undone or finished before anyone can list it.
        RestoreJournal::recover(QDir(state.config.stateDir).filePath(QStringLiteral("restores")), state.catalog);
        bool changed = false;
        if (state.catalog.isEmpty()) {
            createDatabase(QStringLiteral("master"), 1, QStringLiteral("master"), QStringLiteral("master.mdf"),
                           QStringLiteral("mastlog"), QStringLiteral("mastlog.ldf"), mb, mb / 2);
            createDatabase(QStringLiteral("tempdb"), 2, QStringLiteral("tempdev"), QStringLiteral("tempdb.mdf"),
                           QStringLiteral("templog"), QStringLiteral("templog.ldf"), mb, mb / 2);
            createDatabase(QStringLiteral("model"), 3, QStringLiteral("modeldev"), QStringLiteral("model.mdf"),
                           QStringLiteral("modellog"), QStringLiteral("modellog.ldf"), mb, mb / 2);
            createDatabase(QStringLiteral("msdb"), 4, QStringLiteral("MSDBData"), QStringLiteral("MSDBData.mdf"),
                           QStringLiteral("MSDBLog"), QStringLiteral("MSDBLog.ldf"), mb, mb / 2);
            changed = true;
        }
        const bool noUserDatabase = !state.catalog.hasUserDatabase();
        if (state.config.seed && noUserDatabase) {
            createDatabase(QStringLiteral("SalesDemo"), 5, QStringLiteral("SalesDemo"), QStringLiteral("SalesDemo.mdf"),
                           QStringLiteral("SalesDemo_log"), QStringLiteral("SalesDemo_log.ldf"), 3 * mb, mb);
            createDatabase(QStringLiteral("库存管理"), 6, QStringLiteral("库存管理"), QStringLiteral("库存管理.mdf"),
                           QStringLiteral("库存管理_log"), QStringLiteral("库存管理_log.ldf"), 2 * mb, mb);
            changed = true;
        }
        if (state.config.sampleDatabases > 0 && noUserDatabase) {
            // Small enough that thousands fit on a disk and a backup of each is quick.
            constexpr qint64 kb = 1024;
            const int width = int(QString::number(state.config.sampleDatabases).size());
            for (int i = 1; i <= state.config.sampleDatabases; ++i) {
                const QString name = QStringLiteral("Sample%1").arg(i, width, 10, QLatin1Char('0'));
                createDatabase(name, state.catalog.nextDbid(), name, name + QStringLiteral(".mdf"),
                               name + QStringLiteral("_log"), name + QStringLiteral("_log.ldf"), 16 * kb, 8 * kb);
            }
            changed = true;
        }
        if (changed)
            state.catalog.save();
        for (const QString& name : state.config.holdSessions)
            if (const Database* db = state.catalog.find(name))
                state.holdSession(db->name);
    }

    std::shared_ptr<EngineState> shared;
    EngineState& state;
};

Engine::Engine(EngineConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {
    impl_->prepare();
}

Engine::~Engine() = default;

std::unique_ptr<Session> Engine::login(const QString& user, const QString& password, Message* failure) {
    for (const LoginAccount& account : impl_->state.config.logins) {
        if (account.name.compare(user, Qt::CaseInsensitive) == 0 && account.password == password)
            return std::make_unique<SessionImpl>(impl_->shared, account.name, account.sysadmin);
    }
    if (failure)
        *failure = MessageCatalog::make(18456, {user});
    return nullptr;
}

const EngineConfig& Engine::config() const {
    return impl_->state.config;
}

} // namespace sqlsim
