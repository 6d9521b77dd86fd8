// The client-side figures, each side in its own process: the program's real code paths driven in
// process (the main window's FillDbList, the file picker's listing, the backup button's run), and
// the same statements sent by the minimal ODBC loop. Each run repeats the work after a warm-up
// and prints the median; scripts/bench runs it several times and compares medians again.
//
// bench_client dblist|dirlist|backup|backup-progress|memory|connect ours|odbc --port N [options]
// The login's password is read from the environment variable BENCH_PASSWORD, never from the
// command line (which every user of the machine can read).
//   backup-progress: the backup run with 显示进度 on (WITH STATS = 10, the progress area fed)
//   (dblist also takes odbc-values: the loop with one SQLGetData per value instead of blocks)
//   --iterations K      timed repetitions in this process (default 5)
//   --dir NAME          dirlist: the directory under the drive to select
//   --drive X           dirlist: its drive letter (default C)
//   --backup-host DIR   backup: the host directory of C:\bench-backups, emptied between runs
//   --databases N       backup: the simulator's --sample-databases count (names Sample1..N, zero-padded)
//   --encryption E      connect: the options page's setting, mandatory (default) or optional
//   --certificate PEM   connect: the server's certificate, pinned for 127.0.0.1,PORT beforehand as
//                       the user's Yes to the trust question would pin it
// prints: ms=<median> rows=<rows or items seen>; connect also first_ms=<the first click>

#include "MinimalOdbc.h"

#include "BackupPage.h"
#include "CertificateInfo.h"
#include "CertificatePins.h"
#include "MessageBox.h"
#include "ProgramOptions.h"
#include "SecureConnectStep.h"
#include "Startup.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "UntSelFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const QString kBackupDirectory = QStringLiteral("C:\\bench-backups\\");

struct Options {
    QString figure;
    QString side;
    quint16 port = 0;
    QString password;
    int iterations = 5;
    QString dir = QStringLiteral("bench20k");
    QString drive = QStringLiteral("C:\\");
    QString backupHost;
    int databases = 200;
    EncryptionSetting encryption = EncryptionSetting::Mandatory;
    QString certificate;
};

Options parse(const QStringList& args) {
    if (args.size() < 3)
        throw std::runtime_error("usage: bench_client FIGURE ours|odbc --port N [options]");
    Options o;
    o.figure = args[1];
    o.side = args[2];
    for (int i = 3; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == QLatin1String("--port"))
            o.port = value.toUShort();
        else if (key == QLatin1String("--iterations"))
            o.iterations = std::max(1, value.toInt());
        else if (key == QLatin1String("--dir"))
            o.dir = value;
        else if (key == QLatin1String("--drive"))
            o.drive = value.left(1).toUpper() + QStringLiteral(":\\");
        else if (key == QLatin1String("--backup-host"))
            o.backupHost = value;
        else if (key == QLatin1String("--databases"))
            o.databases = std::max(1, value.toInt());
        else if (key == QLatin1String("--encryption")) {
            const auto setting = EncryptionSettings::fromStoredName(value);
            if (!setting)
                throw std::runtime_error("unknown encryption " + value.toStdString());
            o.encryption = *setting;
        } else if (key == QLatin1String("--certificate"))
            o.certificate = value;
        else
            throw std::runtime_error("unknown option " + key.toStdString());
    }
    o.password = qEnvironmentVariable("BENCH_PASSWORD");
    if (o.port == 0 || o.password.isEmpty())
        throw std::runtime_error("--port and the environment variable BENCH_PASSWORD are needed");
    return o;
}

// Lets the window finish what the work queued for it (layout, repaint) before the clock stops.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One warm-up, then the timed repetitions; prepare runs untimed before each.
double timed(int iterations, const std::function<void()>& prepare, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i <= iterations; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        if (i > 0)
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

void report(double ms, long rows) {
    std::printf("ms=%.2f rows=%ld\n", ms, rows);
}

// The program as a user has it: application set up as at start-up, main window shown, connected.
class Program {
public:
    explicit Program(const Options& o) : window_(std::make_unique<TFrmMain>()) {
        window_->createPickers();
        window_->show();
        settle();
        if (!window_->ConnSql(*window_->connection(), QStringLiteral("127.0.0.1,%1").arg(o.port),
                              QStringLiteral("master"), QStringLiteral("sa"), o.password))
            throw std::runtime_error("the program could not connect");
    }
    TFrmMain& window() { return *window_; }

private:
    std::unique_ptr<TFrmMain> window_;
};

std::string odbcConnectionString(const Options& o) {
    return "DRIVER={FreeTDS};SERVER=127.0.0.1," + std::to_string(o.port) + ";DATABASE=master;UID=sa;PWD={" +
           o.password.toStdString() + "};TDS_Version=7.4";
}

const std::u16string kDatabaseQuery = u"Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]";

ServerTreeNode* childNamed(ServerTreeView* tree, ServerTreeNode* parent, const QString& text) {
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        ServerTreeNode* item = parent ? parent->child(i) : tree->topLevelItem(i);
        if (item->text(0) == text)
            return item;
    }
    throw std::runtime_error("no node " + text.toStdString());
}

void emptyDirectory(const QString& hostDir) {
    if (hostDir.isEmpty())
        return;
    QDir dir(hostDir);
    for (const QString& name : dir.entryList(QDir::Files))
        dir.remove(name);
}

int databaseList(const Options& o) {
    if (o.side == QLatin1String("odbc") || o.side == QLatin1String("odbc-values")) {
        MinimalOdbc odbc(odbcConnectionString(o));
        const bool inBlocks = o.side == QLatin1String("odbc");
        long rows = 0;
        const double ms = timed(
            o.iterations, [] {},
            [&] { rows = inBlocks ? odbc.run(kDatabaseQuery) : odbc.runValueByValue(kDatabaseQuery); });
        report(ms, rows);
        return 0;
    }
    Program program(o);
    TFrmMain& w = program.window();
    const double ms = timed(
        o.iterations, [] {},
        [&] {
            w.FillDbList();
            settle();
        });
    report(ms, w.TabSheet1->LsbDB->count());
    return 0;
}

int directoryListing(const Options& o) {
    const QString path = o.drive + o.dir;
    if (o.side == QLatin1String("odbc")) {
        MinimalOdbc odbc(odbcConnectionString(o));
        odbc.run(
            u"Create Table ##TbFile(subdirectory  varchar(800) Not Null,[depth] int not null,[file] int Not Null)");
        const std::u16string fill =
            (QStringLiteral("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'") + path + QStringLiteral("', 1, 1"))
                .toStdU16String();
        long rows = 0;
        const double ms = timed(
            o.iterations, [] {},
            [&] {
                odbc.run(u"Delete From ##TbFile");
                odbc.run(fill);
                rows = odbc.run(u"Select * From ##TbFile Order by [file],subdirectory");
            });
        report(ms, rows);
        return 0;
    }
    Program program(o);
    TFrmSelFile* picker = program.window().FrmSelFile;
    ServerTreeNode* directory = nullptr;
    const double ms = timed(
        o.iterations,
        [&] {
            // A fresh opening, the drive listed: the user is one click away from the directory.
            picker->hide();
            picker->show();
            settle();
            ServerTreeNode* drive = childNamed(picker->trvw, nullptr, o.drive);
            picker->trvw->setCurrentItem(drive);
            settle();
            directory = childNamed(picker->trvw, drive, o.dir);
        },
        [&] {
            picker->trvw->setCurrentItem(directory);
            settle();
        });
    report(ms, directory->childCount());
    return 0;
}

QString digitsOfTime(const QString& text) {
    QString digits;
    for (QChar c : text)
        if (c.isDigit() && digits.size() < 14)
            digits += c;
    return digits;
}

int backupRun(const Options& o, bool showProgress) {
    if (o.side == QLatin1String("odbc")) {
        const std::u16string with = showProgress ? u" WITH STATS = 10" : u"";
        MinimalOdbc odbc(odbcConnectionString(o));
        std::vector<std::u16string> names;
        const int width = int(QString::number(o.databases).size());
        for (int i = 1; i <= o.databases; ++i)
            names.push_back(QStringLiteral("Sample%1").arg(i, width, 10, QLatin1Char('0')).toStdU16String());
        long done = 0;
        const double ms = timed(
            o.iterations, [&] { emptyDirectory(o.backupHost); },
            [&] {
                done = 0;
                for (const std::u16string& name : names) {
                    std::u16string now;
                    odbc.run(u"Select GetDate() F_Date", &now);
                    const std::u16string file = kBackupDirectory.toStdU16String() + name +
                                                digitsOfTime(QString::fromStdU16String(now)).toStdU16String() + u".Bak";
                    odbc.run(u"Backup DataBase [" + name + u"] To Disk='" + file + u"'" + with);
                    ++done;
                }
            });
        report(ms, done);
        return 0;
    }
    Program program(o);
    TFrmMain& w = program.window();
    w.FillDbList();
    for (int i = 0; i < w.TabSheet1->LsbDB->count(); ++i)
        if (w.TabSheet1->LsbDB->item(i)->text().startsWith(QLatin1String("Sample")))
            w.TabSheet1->LsbDB->item(i)->setCheckState(Qt::Checked);
    w.TabSheet1->EdtPath->setText(kBackupDirectory);
    BackupOptions options;
    options.statsPercent = showProgress ? 10 : 0;
    w.TabSheet1->setBackupOptions(options);
    const double ms = timed(
        o.iterations, [&] { emptyDirectory(o.backupHost); },
        [&] {
            w.TabSheet1->BtnBackupClick();
            settle();
        });
    report(ms, long(w.TabSheet1->MemoInfo->toPlainText().count(QStringLiteral("备份成功"))));
    return 0;
}

// Settings, pins and freetds.conf of a user who has trusted the server's certificate, in a
// directory that lives as long as the run.
class TrustingUser {
public:
    explicit TrustingUser(const Options& o) {
        if (!directory_.isValid())
            throw std::runtime_error("no temporary directory");
        files_.configDirectory = directory_.path();
        SecureConnectStep::useOwnFreeTdsConfig(files_);
        ProgramOptions options;
        options.encryption = o.encryption;
        if (!options.save(files_.optionsFile()))
            throw std::runtime_error("cannot write the options");
        if (o.certificate.isEmpty())
            return;
        QFile pem(o.certificate);
        if (!pem.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + o.certificate.toStdString());
        const std::optional<CertificateInfo> certificate = CertificateReader::fromPem(pem.readAll());
        if (!certificate || !CertificatePins(files_.pinsFile()).pin(server(o), *certificate))
            throw std::runtime_error("cannot pin " + o.certificate.toStdString());
    }
    const SecurityFiles& files() const { return files_; }
    static QString server(const Options& o) { return QStringLiteral("127.0.0.1,%1").arg(o.port); }

private:
    QTemporaryDir directory_;
    SecurityFiles files_;
};

// From the click on the connect button to the database list filled, as the user waits for it:
// the certificate probe, the driver's login with the setting's encryption, the list. The first
// click of a process is reported apart: it also loads the driver and the TLS libraries, as a
// user's first click does. The peer (tsql) is run by the script.
int connectToListed(const Options& o) {
    if (o.side != QLatin1String("ours"))
        throw std::runtime_error("connect has only the ours side");
    const TrustingUser user(o);
    MainWindowSetup setup;
    setup.userServers = false;
    setup.security = user.files();
    TFrmMain w(setup);
    w.createPickers();
    w.show();
    settle();
    // Any box (a trust question, a TLS failure) would be a set-up fault: answered No and reported.
    const ScopedMessageBoxRecorder boxes(&w, QMessageBox::No);
    w.CmbServer->setEditText(TrustingUser::server(o));
    w.rdo0->setChecked(true);
    w.EdtUid->setText(QStringLiteral("sa"));
    w.EdtPwd->setText(o.password);
    std::vector<double> ms;
    double first = 0;
    long rows = 0;
    for (int i = 0; i <= o.iterations; ++i) {
        QElapsedTimer timer;
        timer.start();
        w.BtnConn->click();
        settle();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        if (!boxes.shown().isEmpty())
            throw std::runtime_error("a message box came up: " + boxes.shown().first().text.toStdString());
        if (!w.connection() || !w.connection()->Connected())
            throw std::runtime_error("not connected: " + w.lblDbInfo->text().toStdString());
        (i == 0 ? first : ms.emplace_back()) = elapsed;
        rows = w.TabSheet1->LsbDB->count();
        w.BtnConn->click(); // disconnects, untimed
        settle();
    }
    std::printf("first_ms=%.2f ", first);
    report(ms.empty() ? first : median(ms), rows);
    return 0;
}

// Peak memory is read by bench_spawn from outside; this only gets the program to that state.
int memory(const Options& o) {
    Program program(o);
    program.window().FillDbList();
    settle();
    report(0, program.window().TabSheet1->LsbDB->count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    try {
        const Options o = parse(app.arguments());
        if (!o.side.startsWith(QLatin1String("odbc")))
            prepareApplication(app);
        if (o.figure == QLatin1String("dblist"))
            return databaseList(o);
        if (o.figure == QLatin1String("dirlist"))
            return directoryListing(o);
        if (o.figure == QLatin1String("backup"))
            return backupRun(o, false);
        if (o.figure == QLatin1String("backup-progress"))
            return backupRun(o, true);
        if (o.figure == QLatin1String("memory"))
            return memory(o);
        if (o.figure == QLatin1String("connect"))
            return connectToListed(o);
        throw std::runtime_error("unknown figure " + o.figure.toStdString());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_client: %s\n", e.what());
        return 1;
    }
}
