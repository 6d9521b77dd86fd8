// The client-side figures, each side in its own process: the program's real code paths driven in
// process (the main window's FillDbList, the file picker's listing, the backup button's run), and
// the same statements sent by the minimal ODBC loop. Each run repeats the work after a warm-up
// and prints the median; scripts/bench runs it several times and compares medians again.
//
// bench_client dblist|dirlist|backup|memory ours|odbc --port N --password P [options]
//   (dblist also takes odbc-values: the loop with one SQLGetData per value instead of blocks)
//   --iterations K      timed repetitions in this process (default 5)
//   --dir NAME          dirlist: the directory under C:\ to select
//   --backup-host DIR   backup: the host directory of C:\bench-backups, emptied between runs
//   --databases N       backup: the simulator's --sample-databases count (names Sample1..N, zero-padded)
// prints: ms=<median> rows=<rows or items seen>

#include "MinimalOdbc.h"

#include "Startup.h"
#include "TADOConnection.h"
#include "BackupPage.h"
#include "UntMain.h"
#include "UntSelFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTreeWidget>

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
    QString backupHost;
    int databases = 200;
};

Options parse(const QStringList& args) {
    if (args.size() < 3)
        throw std::runtime_error("usage: bench_client FIGURE ours|odbc --port N --password P [options]");
    Options o;
    o.figure = args[1];
    o.side = args[2];
    for (int i = 3; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == QLatin1String("--port"))
            o.port = value.toUShort();
        else if (key == QLatin1String("--password"))
            o.password = value;
        else if (key == QLatin1String("--iterations"))
            o.iterations = std::max(1, value.toInt());
        else if (key == QLatin1String("--dir"))
            o.dir = value;
        else if (key == QLatin1String("--backup-host"))
            o.backupHost = value;
        else if (key == QLatin1String("--databases"))
            o.databases = std::max(1, value.toInt());
        else
            throw std::runtime_error("unknown option " + key.toStdString());
    }
    if (o.port == 0 || o.password.isEmpty())
        throw std::runtime_error("--port and --password are needed");
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

QTreeWidgetItem* childNamed(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& text) {
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* item = parent ? parent->child(i) : tree->topLevelItem(i);
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
    const QString path = QStringLiteral("C:\\") + o.dir;
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
    QTreeWidgetItem* directory = nullptr;
    const double ms = timed(
        o.iterations,
        [&] {
            // A fresh opening, the drive listed: the user is one click away from the directory.
            picker->hide();
            picker->show();
            settle();
            QTreeWidgetItem* drive = childNamed(picker->trvw, nullptr, QStringLiteral("C:\\"));
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

int backupRun(const Options& o) {
    if (o.side == QLatin1String("odbc")) {
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
                    odbc.run(u"Backup DataBase [" + name + u"] To Disk='" + file + u"'");
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
    const double ms = timed(
        o.iterations, [&] { emptyDirectory(o.backupHost); },
        [&] {
            w.TabSheet1->BtnBackupClick();
            settle();
        });
    report(ms, long(w.TabSheet1->MemoInfo->toPlainText().count(QStringLiteral("备份成功"))));
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
            return backupRun(o);
        if (o.figure == QLatin1String("memory"))
            return memory(o);
        throw std::runtime_error("unknown figure " + o.figure.toStdString());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_client: %s\n", e.what());
        return 1;
    }
}
