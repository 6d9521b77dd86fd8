// Hostile values through every statement the program builds, end to end against the simulator:
// database names (RESTORE, the database list, BACKUP), directory and file names (both pickers,
// BACKUP, the set list, the file list, xp_fileexist, RESTORE ... MOVE), logical names (the file
// list, MOVE), and the values of the connection string (server, login, password). Each value
// either arrives and comes back exactly, or is refused with a clear message; none changes what
// a statement does.

#include "BackupFile.h" // sqlsim's own format: a backup whose logical names are hostile
#include "BackupPage.h"
#include "BackupRun.h"
#include "BackupSetList.h"
#include "ConnectionStrings.h"
#include "DatabaseList.h"
#include "EDatabaseError.h"
#include "HtGrids.h"
#include "MessageBox.h"
#include "NodeFullPath.h"
#include "RestorePageHarness.h"
#include "RestoreStatements.h"
#include "TADODataSet.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "TreeNodes.h"
#include "ListItems.h"

#include <QDir>
#include <QJsonObject>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace TreeNodes;

namespace {

// The values tried everywhere: every character that means something to T-SQL or to a
// connection string, blanks at the ends, scripts inside and outside the server's code page,
// the longest name the server takes, and nothing.
const QList<std::pair<const char*, QString>>& hostileValues() {
    static const QList<std::pair<const char*, QString>> values{
        {"quote", QStringLiteral("it's")},
        {"closing bracket", QStringLiteral("a]b")},
        {"opening bracket", QStringLiteral("a[b")},
        {"semicolon", QStringLiteral("a;b")},
        {"colon", QStringLiteral("a:b")},
        {"line comment", QStringLiteral("a--b")},
        {"block comment", QStringLiteral("a/*b")},
        {"closing brace", QStringLiteral("a}b")},
        {"opening brace and equals", QStringLiteral("{a=b")},
        {"blanks at the ends", QStringLiteral("  a b  ")},
        {"statement inside", QStringLiteral("x']; Drop DataBase [master]--")},
        {"chinese", QStringLiteral("销售数据")},
        {"cyrillic", QStringLiteral("Продажи")},
        {"arabic", QStringLiteral("مبيعات")},
        {"devanagari", QStringLiteral("बिक्री")},
        {"outside the BMP", QStringLiteral("𠀀💾")},
        {"128 characters", QString(124, u'x') + QStringLiteral("销售数据")},
        {"empty", QString()},
    };
    return values;
}

void addHostileRows() {
    QTest::addColumn<QString>("value");
    for (const auto& [tag, value] : hostileValues())
        QTest::newRow(tag) << value;
}

int hostileIndex(const QString& value) {
    for (int i = 0; i < hostileValues().size(); ++i)
        if (hostileValues()[i].second == value)
            return i + 1;
    return 0;
}

QString reason(const QList<MessageBox::Shown>& shown) {
    QStringList texts;
    for (const auto& s : shown)
        texts << s.text;
    return texts.join(u'|');
}

// Walks a picker from its drive down the given names, listing each level as a selection does.
ServerTreeNode* walk(ServerTreeDialog& picker, const QStringList& names) {
    picker.FormShow();
    ServerTreeNode* node = picker.trvw->findItems(QStringLiteral("C:\\"), Qt::MatchExactly).value(0);
    for (const QString& name : names) {
        if (!node)
            return nullptr;
        picker.trvwChange(node);
        node = child(node, name);
    }
    if (node)
        picker.trvwChange(node);
    return node;
}

QString scalar(TADOConnection& connection, const QString& sql) {
    TADODataSet q(connection);
    q.setCursorLocation(clUseClient);
    q.setCommandText(sql);
    q.Open();
    return q.RecordCount() > 0 ? q.Fields(0).AsString() : QString();
}

QString nliteral(const QString& text) {
    return "N'" + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

// Whether one of the batches the server received holds the piece of statement text.
bool received(const QStringList& batches, const QString& piece) {
    return std::any_of(batches.begin(), batches.end(), [&](const QString& b) { return b.contains(piece); });
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

    RestorePageHarness f;
    SimServer logins_; // a SQL login for each value as name, and one for each as password
    int row_ = 0;      // each row works in its own files
    BackupPage backupPage{f.holder, [] { return std::optional<QString>(); }};

    void refillList() { backupPage.showDatabases(DatabaseList::read(f.connection)); }

    void restore(const QString& database, const QString& bakFile, const QStringList& targets, bool replace = false) {
        f.CmbDb->setEditText(database);
        f.ChkRestore->setChecked(replace);
        f.loadSet(bakFile, 1);
        f.setTargets(targets);
        const int refills = f.refills;
        f.page.BtnRestoreClick();
        if (f.refills > refills)
            refillList();
    }

    QStringList listed() const { return ListItems::texts(backupPage.LsbDB); }

    // Backs up one database of the list into directory; the log lines.
    QStringList backUp(const QString& database, const QString& directory) {
        ListItems::tickOnly(backupPage.LsbDB, {database});
        backupPage.EdtPath->setText(directory);
        backupPage.BtnBackupClick();
        return backupPage.MemoInfo->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() {
        QVERIFY2(f.start(), qPrintable(f.error()));
        f.makeServerDir(QStringLiteral("C:\\Bak"));
        f.makeServerDir(QStringLiteral("C:\\Data"));
        f.backup(RestorePageHarness::salesDemo(), QStringLiteral("C:\\Bak\\seed.bak"));

        QStringList args;
        for (const auto& [tag, value] : hostileValues()) {
            const int i = hostileIndex(value);
            if (!value.isEmpty() && !value.contains(u':'))
                args << QStringLiteral("--login") << value + QStringLiteral(":Pw-%1").arg(i);
            args << QStringLiteral("--login") << QStringLiteral("pw%1:").arg(i) + value;
        }
        QVERIFY2(logins_.start(args), qPrintable(logins_.errorString()));
    }
    void init() { ++row_; }

    // RESTORE under the name, the list shows it, BACKUP of it lands in a file named after it.
    void databaseNames_data() {
        addHostileRows();
        QTest::newRow("129 characters") << QString(129, u'x');
        QTest::newRow("path in the name") << "..\\..\\escape";
    }
    void databaseNames() {
        QFETCH(QString, value);
        ScopedMessageBoxRecorder boxes(&f.page);
        refillList();
        const QStringList before = listed();
        const QString stem = QStringLiteral("C:\\Data\\db%1").arg(row_);
        const int firstSent = f.sentCount();
        QString error;
        try {
            restore(value, QStringLiteral("C:\\Bak\\seed.bak"), {stem + ".mdf", stem + "_log.ldf"});
        } catch (const EDatabaseError& e) {
            error = e.message();
        }
        if (value.isEmpty()) {
            QCOMPARE(reason(boxes.shown()), QStringLiteral("恢复数据库名不能为空!"));
            QCOMPARE(f.databases(), before);
            return;
        }
        if (value.size() > 128) {
            QVERIFY2(error.contains(QStringLiteral("is too long. Maximum length is 128")), qPrintable(error));
            QCOMPARE(f.databases(), before);
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(reason(boxes.shown()), QStringLiteral("数据库还原成功!"));
        QVERIFY(
            received(f.sentSince(firstSent), " Restore DataBase [" + QString(value).replace(u']', "]]") + "] FROM"));
        // The refilled list: every database that was there, and the new one under its exact name.
        QCOMPARE(listed(), before + QStringList{value});
        QCOMPARE(scalar(f.connection, "select filename from master..sysdatabases where name = " + nliteral(value)),
                 stem + ".mdf");

        const QString directory = QStringLiteral("C:\\Bak\\db%1\\").arg(row_);
        f.makeServerDir(directory);
        const int sent = f.sentCount();
        const QStringList log = backUp(value, directory);
        if (!BackupRun::nameFitsFileName(value)) {
            // The name cannot be a file name: refused before the server is asked, so that a
            // separator in it never puts the backup anywhere but the chosen directory.
            QCOMPARE(log.value(1), "数据库【" + value + "】备份失败!");
            for (const QString& statement : f.sentSince(sent))
                QVERIFY2(!statement.startsWith(QStringLiteral("Backup")), qPrintable(statement));
            QVERIFY(QDir(f.hostPath(QStringLiteral("C:\\"))).entryList({"*escape*", "*.Bak"}, QDir::Files).isEmpty());
            return;
        }
        QCOMPARE(log.value(1), "数据库【" + value + "】备份成功!");
        const QStringList files = QDir(f.hostPath(directory)).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(
            QRegularExpression("^" + QRegularExpression::escape(value) + "\\d{14}\\.Bak$").match(files[0]).hasMatch(),
            qPrintable(files[0]));
        TADODataSet header(f.connection);
        header.setCursorLocation(clUseClient);
        header.setCommandText(headerOnlyStatement(directory + files[0]));
        header.Open();
        QCOMPARE(header.FieldByName(QStringLiteral("DatabaseName")).AsString(), value);
    }

    // Directories and files named with the value: listed by both pickers exactly, backed up
    // into, read back, checked with xp_fileexist and restored to.
    void pathNames_data() {
        addHostileRows();
        QTest::newRow("blanks at the start") << "  a b";
    }
    void pathNames() {
        QFETCH(QString, value);
        if (value.isEmpty())
            QSKIP("a directory or file has a name");
        if (value.contains(u'/') || value.contains(u'*') || value.contains(u':'))
            QSKIP("\"/\", \"*\" and \":\" cannot be part of a Windows file name");
        if (value.endsWith(u' '))
            QSKIP("Windows drops the blanks at the end of a file name");
        ScopedMessageBoxRecorder boxes(&f.page);
        const QString parent = QStringLiteral("Paths%1").arg(row_);
        const QString directory = "C:\\" + parent + "\\" + value + "\\";
        f.makeServerDir(directory);

        // The directory picker lists the directory under its own name and gives back its path.
        TFrmSelPath pathPicker(f.holder);
        ServerTreeNode* node = walk(pathPicker, {parent, value});
        if (!node)
            QFAIL(qPrintable("not listed among: " + childTexts(walk(pathPicker, {parent})).join(u',')));
        QCOMPARE(NodeFullPath(node) + "\\", directory);
        QVERIFY(received(f.sentSince(0), "xp_dirtree " + nliteral(directory.chopped(1)) + ", 1, 0"));

        // BACKUP into it.
        refillList();
        const QStringList log = backUp(RestorePageHarness::salesDemo(), directory);
        QVERIFY2(log.value(1) == QStringLiteral("数据库【SalesDemo】备份成功!"), qPrintable(log.join(u'\n')));
        const QStringList made = QDir(f.hostPath(directory)).entryList(QDir::Files);
        QCOMPARE(made.size(), 1);
        // A backup file that carries the value in its own name too.
        const QString bakName = value + ".bak";
        QVERIFY(QFile::rename(f.hostPath(directory) + "/" + made[0], f.hostPath(directory) + "/" + bakName));

        // The file picker lists it through ##TbFile, exactly.
        TFrmSelFile filePicker(f.holder);
        ServerTreeNode* dirNode = walk(filePicker, {parent, value});
        QVERIFY(dirNode);
        QCOMPARE(childTexts(dirNode), QStringList{bakName});
        QCOMPARE(NodeFullPath(child(dirNode, bakName)), directory + bakName);
        QVERIFY(received(f.sentSince(0), "xp_dirtree " + nliteral(directory.chopped(1)) + ", 1, 1"));

        // Its sets and files, then a restore into the same directory.
        const QString target = QStringLiteral("Path%1").arg(row_);
        // Short enough for sysdatabases' filename (260 characters).
        const QStringList targets{directory + value.left(60) + ".mdf", directory + value.left(60) + "_log.ldf"};
        restore(target, directory + bakName, targets);
        QCOMPARE(reason(boxes.shown()), QStringLiteral("数据库还原成功!"));
        QVERIFY(QFile::exists(f.hostPath(targets[0])));
        QVERIFY(QFile::exists(f.hostPath(targets[1])));
        QCOMPARE(scalar(f.connection, "select filename from master..sysdatabases where name = " + nliteral(target)),
                 targets[0]);

        // Again over the same files: xp_fileexist finds the very file and the user is asked.
        boxes.clear();
        ScopedMessageBoxRecorder no(&f.page, QMessageBox::No);
        const int sent = f.sentCount();
        restore(target, directory + bakName, targets, true);
        QCOMPARE(no.shown().size(), 1);
        QCOMPARE(no.shown()[0].text, "【" + targets[0] + "】移至物理文件名有已经存在,是否继续?");
        QVERIFY(received(f.sentSince(sent), "xp_fileexist " + nliteral(targets[0])));
        for (const QString& statement : f.sentSince(sent))
            QVERIFY2(!statement.contains(QStringLiteral("Restore DataBase")), qPrintable(statement));
    }

    // A backup whose database and logical file names are the value: the grid shows them as
    // they are and MOVE finds them.
    void logicalNames_data() { addHostileRows(); }
    void logicalNames() {
        QFETCH(QString, value);
        if (value.isEmpty())
            QSKIP("a database file always has a logical name");
        ScopedMessageBoxRecorder boxes(&f.page);
        const QString seed = f.hostPath(QStringLiteral("C:\\Bak\\seed.bak"));
        const sqlsim::BackupFile::Listing listing = sqlsim::BackupFile::list(seed);
        QCOMPARE(listing.problem, sqlsim::BackupFile::Problem::None);
        sqlsim::BackupSetHeader header = listing.sets.at(0);
        std::vector<QByteArray> contents;
        QCOMPARE(sqlsim::BackupFile::readFiles(seed, header, &contents), sqlsim::BackupFile::Problem::None);
        header.databaseName = value;
        header.files.at(0).logicalName = value;
        header.files.at(1).logicalName = value.left(124) + "_log";
        const QString bak = QStringLiteral("C:\\Bak\\logical%1.bak").arg(row_);
        QFile out(f.hostPath(bak));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(sqlsim::BackupFile::encode(header, contents));
        out.close();

        const QString stem = QStringLiteral("C:\\Data\\logical%1").arg(row_);
        const QString target = QStringLiteral("Logical%1").arg(row_);
        restore(target, bak, {stem + ".mdf", stem + ".ldf"});
        QCOMPARE(f.Grid->CellText(0, 1), value);
        QCOMPARE(f.Grid->CellText(0, 2), value.left(124) + "_log");
        QCOMPARE(reason(boxes.shown()), QStringLiteral("数据库还原成功!"));
        QCOMPARE(scalar(f.connection, "select filename from master..sysdatabases where name = " + nliteral(target)),
                 stem + ".mdf");
    }

    // The simulator as a service: the program's own statements, sent over TDS with paths that
    // lead out of the drive, neither read nor write there.
    void pathsOutOfTheDrive_data() {
        // How the outside directory is named: {up} climbs from drive C: to the host's root,
        // {outside} is its host path with backslashes.
        QTest::addColumn<QString>("form");
        QTest::newRow("dotdot") << "C:{up}{outside}";
        QTest::newRow("link") << "C:\\Out";
        QTest::newRow("host path") << "{outside}";
        QTest::newRow("UNC") << "\\\\127.0.0.1\\c${outside}";
        QTest::newRow("unmapped drive") << "Q:{outside}";
    }
    void pathsOutOfTheDrive() {
        QFETCH(QString, form);
        QTemporaryDir outside;
        const int depth = int(QDir::cleanPath(f.sim.driveC()).count(u'/'));
        QString dir = form;
        dir.replace("{up}", QStringLiteral("\\..").repeated(depth));
        dir.replace("{outside}", QString(outside.path()).replace(u'/', u'\\'));
        const QString seed = f.hostPath(QStringLiteral("C:\\Bak\\seed.bak"));
        QVERIFY(QFile::copy(seed, outside.filePath("secret.bak")));
        const QString link = f.hostPath(QStringLiteral("C:\\Out"));
        QFile::remove(link);
        QVERIFY(QFile::link(outside.path(), link));
        const QString secret = dir + "\\secret.bak";
        const QByteArray secretBytes = [&] {
            QFile file(outside.filePath("secret.bak"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        auto fails = [this](const QString& statement) {
            try {
                f.connection.Execute(statement);
            } catch (const EDatabaseError& e) {
                return !e.message().isEmpty();
            }
            return false;
        };
        auto rows = [this](const QString& statement) {
            TADODataSet q(f.connection);
            q.setCursorLocation(clUseClient);
            q.setCommandText(statement);
            q.Open();
            return q.RecordCount();
        };
        QCOMPARE(rows(TFrmSelPath::listingStatement(dir)), 0);
        TADODataSet exists(f.connection);
        exists.setCursorLocation(clUseClient);
        exists.setCommandText(fileExistStatement(secret));
        exists.Open();
        QCOMPARE(exists.Fields(0).AsInteger(), 0);
        QVERIFY(fails(headerOnlyStatement(secret)));
        QVERIFY(fails(fileListOnlyStatement(secret, 1)));
        QVERIFY(fails(BackupRun::backupStatement(RestorePageHarness::salesDemo(), dir + "\\new.Bak")));
        QVERIFY(fails(BackupRun::backupStatement(RestorePageHarness::salesDemo(), secret)));
        QVERIFY(fails(buildRestoreStatement(QStringLiteral("OutOfDrive"), QStringLiteral("C:\\Bak\\seed.bak"), 1, false,
                                            {{"SalesDemo", dir + "\\o.mdf"}, {"SalesDemo_log", dir + "\\o.ldf"}})));
        QVERIFY(fails(buildRestoreStatement(QStringLiteral("OutOfDrive"), secret, 1, false,
                                            {{"SalesDemo", "C:\\Data\\o.mdf"}, {"SalesDemo_log", "C:\\Data\\o.ldf"}})));
        QVERIFY(!f.databases().contains(QStringLiteral("OutOfDrive")));
        QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"secret.bak"});
        QFile after(outside.filePath("secret.bak"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), secretBytes);
        QFile::remove(link);
    }

    // Connects with the login and runs one batch: either the server saw exactly that login,
    // or the program said plainly why not.
    void connectWith(const QString& server, const QString& user, const QString& password, QString* error,
                     QString* serverSawLogin) {
        TADOConnection c;
        const int before = logins_.statements().size();
        try {
            c.setConnectionString(ConnectionStrings::sqlServerAuthentication(server, "master", user, password));
            c.setConnectionTimeout(10);
            c.Open();
            c.Execute(QStringLiteral("Select GetDate() F_Date"));
        } catch (const EDatabaseError& e) {
            *error = e.message();
        }
        const QList<QJsonObject> records = logins_.statementRecords().mid(before);
        if (!records.isEmpty())
            *serverSawLogin = records.last().value(QStringLiteral("login")).toString();
    }

    QString loginServer() const { return QStringLiteral("127.0.0.1,%1").arg(logins_.port()); }

    void loginNames_data() {
        addHostileRows();
        QTest::newRow("129 characters") << QString(129, u'x');
    }
    void loginNames() {
        QFETCH(QString, value);
        if (value.contains(u':'))
            QSKIP("sqlsim --login takes the name up to the first \":\"");
        QString error, seen;
        connectWith(loginServer(), value, QStringLiteral("Pw-%1").arg(hostileIndex(value)), &error, &seen);
        if (value.contains(u'}')) {
            QCOMPARE(error, QStringLiteral("The FreeTDS driver cannot pass a server name, user name or password that "
                                           "contains \"}\"."));
            QVERIFY(seen.isEmpty());
        } else if (value.size() > 128) {
            QCOMPARE(error, QStringLiteral("A user name or password is at most 128 characters long."));
            QVERIFY(seen.isEmpty());
        } else if (value.isEmpty()) {
            QVERIFY(!error.isEmpty());
            QVERIFY(seen.isEmpty());
        } else {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(seen, value);
        }
    }

    void passwords_data() { addHostileRows(); }
    void passwords() {
        QFETCH(QString, value);
        const QString user = QStringLiteral("pw%1").arg(hostileIndex(value));
        QString error, seen;
        connectWith(loginServer(), user, value, &error, &seen);
        if (value.contains(u'}')) {
            QVERIFY(error.contains(QStringLiteral("cannot pass")));
            QVERIFY(seen.isEmpty());
        } else {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(seen, user);
        }
        // One character more, or one other, is another password.
        const QString other = value.size() >= 128 ? QString(value).replace(0, 1, u'y') : u'y' + value;
        for (const QString& wrong : {value + u'x', other}) {
            QString wrongError, wrongSeen;
            connectWith(loginServer(), user, wrong, &wrongError, &wrongSeen);
            QVERIFY(!wrongError.isEmpty());
            QVERIFY(wrongSeen.isEmpty());
        }
    }

    // Keywords smuggled inside a value stay part of that value: none of these logs in as sa.
    void keywordsInValuesStayValues_data() {
        QTest::addColumn<QString>("serverSuffix");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        const QString sa = SimServer::login();
        const QString pw = SimServer::password();
        QTest::newRow("password names another login") << ""
                                                      << "nobody"
                                                      << "x;UID=" + sa + ";PWD=" + pw;
        QTest::newRow("user carries a password") << "" << sa + ";PWD=" + pw << "wrong";
        QTest::newRow("server carries a login") << ";UID=" + sa + ";PWD=" + pw << "nobody"
                                                << "wrong";
        QTest::newRow("braced keyword in the password") << ""
                                                        << "nobody"
                                                        << "x};UID={" + sa + "};PWD={" + pw;
        QTest::newRow("driver in the server") << ";DRIVER={FreeTDS};UID=" + sa << "nobody"
                                              << "wrong";
    }
    void keywordsInValuesStayValues() {
        QFETCH(QString, serverSuffix);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QString error, seen;
        connectWith(loginServer() + serverSuffix, user, password, &error, &seen);
        QVERIFY(!error.isEmpty());
        QVERIFY2(seen.isEmpty(), qPrintable(seen));
    }

    // Server names: the port of a loopback address followed by the value. Whatever follows
    // the port is the driver's to refuse or ignore; it never becomes a keyword.
    void serverNames_data() { addHostileRows(); }
    void serverNames() {
        QFETCH(QString, value);
        QString error, seen;
        connectWith(loginServer() + value, QStringLiteral("pw1"), hostileValues()[0].second, &error, &seen);
        if (value.contains(u'}')) {
            QVERIFY(error.contains(QStringLiteral("cannot pass")));
            QVERIFY(seen.isEmpty());
        } else {
            QVERIFY2(error.isEmpty() != seen.isEmpty(), qPrintable(error + " / " + seen));
            if (!seen.isEmpty())
                QCOMPARE(seen, QStringLiteral("pw1"));
        }
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
