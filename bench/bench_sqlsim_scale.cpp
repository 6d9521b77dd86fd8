// How the simulator's cost grows with scale, measured in process (no client, no socket):
//
// bench_sqlsim_scale startup --work DIR [--databases N]
//     builds a fresh instance with N sample databases (default 32767, SQL Server's limit);
//     prints: databases=<n> ms=<n> per_s=<n>
// bench_sqlsim_scale backup --work DIR [--files N] [--backups K]
//     BACKUP DATABASE into a new file of a directory holding N files (default 200000) and of a
//     directory holding ten, K times each (default 15), taking turns; the big directory is made
//     once and reused; prints: files=<n> small_ms=<median> large_ms=<median>
// bench_sqlsim_scale files --work DIR [--files N]
//     only makes (or tidies) that big directory, DIR/C/Big<N>, for a simulator started with
//     --drive C=DIR/C; prints: files=<n> dir=<its name under C:\>

#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

QString argument(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Creates name00000 ... in dir until it holds count entries; plain open(2) so that making
// 200,000 files takes seconds, not minutes.
bool fillDirectory(const QString& dir, int count) {
    if (!QDir().mkpath(dir))
        return false;
    const qsizetype present = QDir(dir).entryList({QStringLiteral("file*.dat")}, QDir::Files).size();
    for (int i = int(present); i < count; ++i) {
        const QByteArray path = QFile::encodeName(dir + QStringLiteral("/file%1.dat").arg(i, 6, 10, QLatin1Char('0')));
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

class Discard : public sqlsim::ResponseSink {
public:
    void add(sqlsim::ResponseItem item) override {
        if (const auto* m = std::get_if<sqlsim::Message>(&item); m && m->isError())
            error = m->text;
    }
    QString error;
};

int startup(const QStringList& args) {
    const QString work = argument(args, QStringLiteral("--work"), {});
    const int databases = argument(args, QStringLiteral("--databases"), QStringLiteral("32767")).toInt();
    const QString state = work + QStringLiteral("/startup-state");
    QDir(state).removeRecursively();
    sqlsim::EngineConfig config;
    config.stateDir = state;
    config.sampleDatabases = databases;
    QElapsedTimer timer;
    timer.start();
    {
        sqlsim::Engine engine(config);
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("databases=%d ms=%.0f per_s=%.1f\n", databases, ms, databases / (ms / 1000.0));
    QDir(state).removeRecursively();
    return 0;
}

QString bigDirectoryName(int files) {
    return QStringLiteral("Big%1").arg(files);
}

void removeBackupsOfEarlierRuns(const QString& dir) {
    for (const QString& name : QDir(dir).entryList({QStringLiteral("new*.bak")}, QDir::Files))
        QFile::remove(dir + u'/' + name);
}

int makeFiles(const QStringList& args) {
    const QString work = argument(args, QStringLiteral("--work"), {});
    const int count = argument(args, QStringLiteral("--files"), QStringLiteral("200000")).toInt();
    const QString dir = work + QStringLiteral("/C/") + bigDirectoryName(count);
    if (!fillDirectory(dir, count)) {
        std::fprintf(stderr, "bench_sqlsim_scale: cannot fill %s\n", qPrintable(dir));
        return 1;
    }
    removeBackupsOfEarlierRuns(dir); // a listing sees exactly the count
    std::printf("files=%d dir=%s\n", count, qPrintable(bigDirectoryName(count)));
    return 0;
}

int backup(const QStringList& args) {
    const QString work = argument(args, QStringLiteral("--work"), {});
    const int files = argument(args, QStringLiteral("--files"), QStringLiteral("200000")).toInt();
    const int backups = argument(args, QStringLiteral("--backups"), QStringLiteral("15")).toInt();
    const QString drive = work + QStringLiteral("/C");
    const QString big = bigDirectoryName(files);
    if (!fillDirectory(drive + u'/' + big, files) || !fillDirectory(drive + QStringLiteral("/Small"), 10)) {
        std::fprintf(stderr, "bench_sqlsim_scale: cannot fill the directories under %s\n", qPrintable(drive));
        return 1;
    }
    // Every backup makes a new file; the last run's are removed before this one's server starts.
    for (const QString& dir : {drive + u'/' + big, drive + QStringLiteral("/Small")})
        removeBackupsOfEarlierRuns(dir);
    sqlsim::EngineConfig config;
    config.stateDir = work + QStringLiteral("/backup-state");
    config.drives.insert(u'C', drive);
    config.sampleDatabases = 1;
    config.logins.push_back({QStringLiteral("sa"), QStringLiteral("x"), true});
    sqlsim::Engine engine(config);
    auto session = engine.login(QStringLiteral("sa"), QStringLiteral("x"), nullptr);
    sqlsim::CancelToken cancel;

    auto timedBackup = [&](const QString& dir, int i) {
        const QString windows = QStringLiteral("C:\\%1\\new%2.bak").arg(dir).arg(i);
        Discard sink;
        QElapsedTimer timer;
        timer.start();
        session->executeBatch(QStringLiteral("BACKUP DATABASE [Sample1] TO DISK = N'%1' WITH INIT").arg(windows),
                              sink, cancel);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!sink.error.isEmpty())
            std::fprintf(stderr, "bench_sqlsim_scale: %s\n", qPrintable(sink.error));
        return ms;
    };
    timedBackup(QStringLiteral("Small"), -1); // warm-up
    timedBackup(big, -1);
    std::vector<double> small, large;
    for (int i = 0; i < backups; ++i) {
        small.push_back(timedBackup(QStringLiteral("Small"), i));
        large.push_back(timedBackup(big, i));
    }
    std::printf("files=%d small_ms=%.2f large_ms=%.2f\n", files, median(small), median(large));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (argument(args, QStringLiteral("--work"), {}).isEmpty() ||
        (mode != "startup" && mode != "backup" && mode != "files")) {
        std::fprintf(stderr, "usage: bench_sqlsim_scale startup|backup|files --work DIR [options]\n");
        return 2;
    }
    if (mode == QLatin1String("files"))
        return makeFiles(args);
    return mode == QLatin1String("startup") ? startup(args) : backup(args);
}
