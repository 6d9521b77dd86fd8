// Catalog queries, procedures, temporary tables, driver chatter and error answers, in process.

#include "tst_engine_support.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace enginetest;

class TestEngineStatements : public QObject {
    Q_OBJECT

private slots:
    void sysdatabasesHasAllColumnsAndIds();
    void getDateHonoursAlias_data();
    void getDateHonoursAlias();
    void tolerantParsing_data();
    void tolerantParsing();
    void errors_data();
    void errors();
    void driverChatterIsAccepted_data();
    void driverChatterIsAccepted();
    void multiStatementBatchMarksAllButLastDoneWithMore();
    void syntaxErrorRunsNothingOfTheBatch();
    void fileExist_data();
    void fileExist();
    void dirTreeDepthAndFiles();
    void availableMediaListsDrives();
    void xpAvailableMediaNeedsSysadmin();
    void globalTempTableSharedAndDroppedWithCreator();
    void insertExecChecksColumnCountAndLength();
    void varcharColumnHoldsCodePageBytes_data();
    void varcharColumnHoldsCodePageBytes();
    void failRuleAnswersWithRealMessage();
    void statementLogRecordsEveryBatch();
    void loginChecksPassword();
    void plainLiteralsHoldOnlyTheCodePage_data();
    void plainLiteralsHoldOnlyTheCodePage();
};

void TestEngineStatements::sysdatabasesHasAllColumnsAndIds() {
    EngineHarness h;
    auto s = h.session();
    const Response r =
        run(*s, QStringLiteral("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]"));
    QVERIFY(!r.failed());
    const ResultSet rs = r.firstSet();
    QCOMPARE(columnNames(rs), QStringList({"name", "dbid", "sid", "mode", "status", "status2", "crdate", "reserved",
                                           "category", "cmptlevel", "filename", "version"}));
    QCOMPARE(rs.columns[1].type, SqlType::SmallInt);
    QCOMPARE(rs.columns[6].type, SqlType::DateTime);
    QCOMPARE(rs.columns[9].type, SqlType::TinyInt);
    QStringList names;
    QList<qint64> ids;
    for (const auto& row : rs.rows) {
        names << text(row[0]);
        ids << integer(row[1]);
    }
    QCOMPARE(names, QStringList({"master", "model", "msdb", "SalesDemo", "库存管理"}));
    QCOMPARE(ids, QList<qint64>({1, 3, 4, 5, 6}));
    // Every listed file exists on its drive.
    QVERIFY(QFileInfo::exists(h.c(dataDir + "SalesDemo.mdf")));
    QVERIFY(QFileInfo(h.c(dataDir + "库存管理.mdf")).size() > 1024 * 1024);
    // tempdb is in the table; only the WHERE hides it.
    const ResultSet all = run(*s, QStringLiteral("select name from master..sysdatabases where dbid = 2")).firstSet();
    QCOMPARE(all.rows.size(), size_t(1));
    QCOMPARE(text(all.rows[0][0]), QStringLiteral("tempdb"));
}

void TestEngineStatements::getDateHonoursAlias_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("name");
    QTest::newRow("alias") << "Select GetDate() F_Date"
                           << "F_Date";
    QTest::newRow("bare") << "select getdate()"
                          << "";
    QTest::newRow("as") << "SELECT GETDATE() AS [When]"
                        << "When";
}

void TestEngineStatements::getDateHonoursAlias() {
    QFETCH(QString, sql);
    QFETCH(QString, name);
    EngineHarness h(false);
    auto s = h.session();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const ResultSet rs = run(*s, sql).firstSet();
    QCOMPARE(columnNames(rs), QStringList({name}));
    QCOMPARE(rs.columns[0].type, SqlType::DateTime);
    QCOMPARE(rs.rows.size(), size_t(1));
    const QDateTime value = std::get<QDateTime>(rs.rows[0][0]);
    QVERIFY(value >= before && value <= QDateTime::currentDateTime().addSecs(1));
}

void TestEngineStatements::tolerantParsing_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rows");
    QTest::newRow("case and blanks") << "  sElEcT   *\n\tfRoM  MASTER..SYSDATABASES   wHeRe   NAME <> 'TEMPDB'  " << 5;
    QTest::newRow("brackets") << "select [name] from [master].[dbo].[sysdatabases] where [name] = N'库存管理'" << 1;
    QTest::newRow("quote inside literal") << "select * from master..sysdatabases where name = 'it''s'" << 0;
    QTest::newRow("like with underscore") << "select * from master..sysdatabases where name like 'm_ster'" << 1;
    QTest::newRow("comment") << "select * /* all */ from master..sysdatabases -- tail\n where dbid < 3" << 2;
    QTest::newRow("top and desc") << "select top 2 name from master..sysdatabases order by dbid desc" << 2;
}

void TestEngineStatements::tolerantParsing() {
    QFETCH(QString, sql);
    QFETCH(int, rows);
    EngineHarness h;
    auto s = h.session();
    const Response r = run(*s, sql);
    QVERIFY2(!r.failed(), qPrintable(r.messages().empty() ? QString() : r.messages().front().text));
    QCOMPARE(int(r.firstSet().rows.size()), rows);
}

void TestEngineStatements::errors_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("severity");
    QTest::addColumn<QString>("text");
    QTest::newRow("bare unknown proc") << "selec 1" << 2812 << 16 << "Could not find stored procedure 'selec'.";
    QTest::newRow("syntax near") << "select * from master..sysdatabases where" << 156 << 15
                                 << "Incorrect syntax near the keyword 'where'.";
    QTest::newRow("stray word") << "select 1 x y" << 102 << 15 << "Incorrect syntax near 'y'.";
    QTest::newRow("unknown proc") << "EXEC master.dbo.xp_nothing 1" << 2812 << 16
                                  << "Could not find stored procedure 'master.dbo.xp_nothing'.";
    QTest::newRow("unknown table") << "select * from nosuch" << 208 << 16 << "Invalid object name 'nosuch'.";
    QTest::newRow("unclosed") << "select 'abc" << 105 << 15
                              << "Unclosed quotation mark after the character string 'abc'.";
    QTest::newRow("nested too deeply") << "select " + QString(100000, u'(') + "1" + QString(100000, u')') << 191 << 15
                                       << "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                                          "break it up into smaller queries.";
    QTest::newRow("use missing db") << "use nodb" << 911 << 16
                                    << "Database 'nodb' does not exist. Make sure that the name is entered correctly.";
    QTest::newRow("commit without begin")
        << "COMMIT TRAN" << 3902 << 16 << "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.";
    QTest::newRow("drop missing") << "drop table ##none" << 3701 << 11
                                  << "Cannot drop the table '##none', because it does not exist or you do not have "
                                     "permission.";
}

void TestEngineStatements::errors() {
    QFETCH(QString, sql);
    QFETCH(int, number);
    QFETCH(int, severity);
    QFETCH(QString, text);
    EngineHarness h(false);
    auto s = h.session();
    const Response r = run(*s, sql);
    QCOMPARE(r.errorNumbers(), QList<int>({number}));
    QCOMPARE(r.messages().front().severity, severity);
    QCOMPARE(r.messages().front().text, text);
    QVERIFY(r.dones().back().error);
    QVERIFY(!r.dones().back().more);
}

void TestEngineStatements::driverChatterIsAccepted_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("tedious")
        << "set ansi_nulls on\nset ansi_null_dflt_on on\nset ansi_padding on\nset ansi_warnings on\n"
           "set arithabort on\nset concat_null_yields_null on\nset datefirst 7\nset dateformat mdy\n"
           "set implicit_transactions off\nset language us_english\nset numeric_roundabort off\n"
           "set quoted_identifier on\nset textsize 2147483647\n"
           "set transaction isolation level read committed\nset xact_abort off";
    QTest::newRow("freetds textsize") << "set textsize 64512 ";
    QTest::newRow("spid and version") << "select @@spid; select @@version";
    QTest::newRow("use master") << "use master";
    QTest::newRow("db_name") << "select db_name()";
    QTest::newRow("trancount") << "IF @@TRANCOUNT > 0 COMMIT TRAN";
    QTest::newRow("begin commit") << "BEGIN TRANSACTION; COMMIT TRANSACTION";
}

void TestEngineStatements::driverChatterIsAccepted() {
    QFETCH(QString, sql);
    EngineHarness h(false);
    auto s = h.session();
    const Response r = run(*s, sql);
    QVERIFY2(!r.failed(), qPrintable(r.messages().empty() ? QString() : r.messages().front().text));
    QVERIFY(!r.dones().empty());
    QVERIFY(!r.dones().back().more);
}

void TestEngineStatements::multiStatementBatchMarksAllButLastDoneWithMore() {
    EngineHarness h(false);
    auto s = h.session();
    const Response r = run(*s, QStringLiteral("select @@spid select db_name();select 1 as one"));
    const auto sets = r.resultSets();
    QCOMPARE(sets.size(), size_t(3));
    QCOMPARE(integer(sets[0].rows[0][0]), qint64(s->spid()));
    QCOMPARE(text(sets[1].rows[0][0]), QStringLiteral("master"));
    QCOMPARE(columnNames(sets[2]), QStringList({"one"}));
    const auto dones = r.dones();
    QCOMPARE(dones.size(), size_t(3));
    QVERIFY(dones[0].more && dones[1].more && !dones[2].more);
    QVERIFY(dones[0].hasCount && dones[0].count == 1);
}

void TestEngineStatements::syntaxErrorRunsNothingOfTheBatch() {
    EngineHarness h(false);
    auto s = h.session();
    const Response r = run(*s, QStringLiteral("Create Table ##T1(a int)\nselect * from"));
    QCOMPARE(r.errorNumbers(), QList<int>({156}));
    // The table of the first statement was not created: the whole batch was refused.
    QCOMPARE(run(*s, QStringLiteral("select * from ##T1")).errorNumbers(), QList<int>({208}));
}

void TestEngineStatements::fileExist_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<qint64>>("expected");
    QTest::newRow("file") << "C:\\Bak\\a.bak" << QList<qint64>{1, 0, 1};
    QTest::newRow("file other case") << "c:\\BAK\\A.BAK" << QList<qint64>{1, 0, 1};
    QTest::newRow("directory") << "C:\\Bak" << QList<qint64>{0, 1, 1};
    QTest::newRow("missing file") << "C:\\Bak\\none.bak" << QList<qint64>{0, 0, 1};
    QTest::newRow("missing parent") << "C:\\Nope\\x.mdf" << QList<qint64>{0, 0, 0};
    QTest::newRow("unmapped drive") << "Q:\\Bak\\a.bak" << QList<qint64>{0, 0, 0};
    QTest::newRow("dotdot escape") << "C:\\..\\state\\catalog.json" << QList<qint64>{0, 0, 0};
    QTest::newRow("dotdot inside") << "C:\\Bak\\..\\Bak\\a.bak" << QList<qint64>{1, 0, 1};
    QTest::newRow("host absolute") << "/etc/passwd" << QList<qint64>{0, 0, 0};
    QTest::newRow("symlink out") << "C:\\Link\\catalog.json" << QList<qint64>{0, 0, 0};
    QTest::newRow("empty") << "" << QList<qint64>{0, 0, 0};
    QTest::newRow("name Windows refuses, parent there") << "C:\\Bak\\a?b.bak" << QList<qint64>{0, 0, 1};
}

void TestEngineStatements::fileExist() {
    QFETCH(QString, path);
    QFETCH(QList<qint64>, expected);
    EngineHarness h(false);
    QVERIFY(writeFile(h.c("Bak/a.bak"), "x"));
    QVERIFY(QFile::link(h.config.stateDir, h.c("Link")));
    auto s = h.session();
    QString literal = path;
    literal.replace(u'\'', QStringLiteral("''"));
    const Response r = run(*s, "xp_fileexist '" + literal + "'");
    QVERIFY(!r.failed());
    const ResultSet rs = r.firstSet();
    QCOMPARE(columnNames(rs), QStringList({"File Exists", "File is a Directory", "Parent Directory Exists"}));
    QCOMPARE(rs.columns[0].type, SqlType::Int);
    QList<qint64> got;
    for (const Value& v : rs.rows.at(0))
        got << integer(v);
    QCOMPARE(got, expected);
    bool sawStatus = false;
    for (const auto& item : r.items)
        sawStatus = sawStatus || std::holds_alternative<ReturnStatus>(item);
    QVERIFY(sawStatus);
}

void TestEngineStatements::dirTreeDepthAndFiles() {
    EngineHarness h(false);
    QVERIFY(writeFile(h.c("Bak/b.bak"), "x"));
    QVERIFY(writeFile(h.c("Bak/A.bak"), "x"));
    QVERIFY(writeFile(h.c("Bak/Sub/deep.bak"), "x"));
    QVERIFY(QDir().mkpath(h.c("Bak/empty")));
    QVERIFY(QFile::link(h.config.stateDir, h.c("Bak/outside")));
    auto s = h.session();

    const ResultSet dirs = run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 1, 0")).firstSet();
    QCOMPARE(columnNames(dirs), QStringList({"subdirectory", "depth"}));
    QCOMPARE(dirs.rows.size(), size_t(2));
    QCOMPARE(text(dirs.rows[0][0]), QStringLiteral("empty"));
    QCOMPARE(text(dirs.rows[1][0]), QStringLiteral("Sub"));

    const ResultSet files = run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 1, 1")).firstSet();
    QCOMPARE(columnNames(files), QStringList({"subdirectory", "depth", "file"}));
    QStringList listed;
    for (const auto& row : files.rows)
        listed << text(row[0]) + u':' + QString::number(integer(row[1])) + u':' + QString::number(integer(row[2]));
    QCOMPARE(listed, QStringList({"A.bak:1:1", "b.bak:1:1", "empty:1:0", "Sub:1:0"}));

    const ResultSet all = run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 0, 1")).firstSet();
    bool sawDeep = false;
    for (const auto& row : all.rows)
        sawDeep = sawDeep || (text(row[0]) == QLatin1String("deep.bak") && integer(row[1]) == 2);
    QVERIFY(sawDeep);

    // A link back to an ancestor is listed once, not followed for ever.
    QVERIFY(QFile::link(h.c("Bak"), h.c("Bak/Sub/up")));
    const ResultSet looped = run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 0, 1")).firstSet();
    int ups = 0;
    for (const auto& row : looped.rows)
        ups += text(row[0]) == QLatin1String("up") ? 1 : 0;
    QCOMPARE(ups, 1);
    QVERIFY(run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\Missing', 1, 1")).firstSet().rows.empty());
    QVERIFY(run(*s, QStringLiteral("EXECUTE master.dbo.xp_dirtree N'C:\\..', 1, 1")).firstSet().rows.empty());
}

void TestEngineStatements::availableMediaListsDrives() {
    EngineHarness h(false);
    auto s = h.session();
    const ResultSet rs = run(*s, QStringLiteral("master..xp_availablemedia 2")).firstSet();
    QCOMPARE(columnNames(rs), QStringList({"name", "low free", "high free", "media type"}));
    QCOMPARE(rs.rows.size(), size_t(2));
    QCOMPARE(text(rs.rows[0][0]), QStringLiteral("C:\\"));
    QCOMPARE(text(rs.rows[1][0]), QStringLiteral("D:\\"));
    QCOMPARE(integer(rs.rows[0][3]), qint64(2));
    const quint64 free = (quint64(integer(rs.rows[0][2])) << 32) + quint32(integer(rs.rows[0][1]));
    QVERIFY(free > 0);
    QVERIFY(run(*s, QStringLiteral("master..xp_availablemedia 8")).firstSet().rows.empty());
}

void TestEngineStatements::xpAvailableMediaNeedsSysadmin() {
    EngineHarness h(false);
    auto s = h.session(QStringLiteral("reader"));
    const Response r = run(*s, QStringLiteral("master..xp_availablemedia 2"));
    QCOMPARE(r.errorNumbers(), QList<int>({229}));
    QCOMPARE(r.messages().front().text,
             QStringLiteral("The EXECUTE permission was denied on the object 'xp_availablemedia', database "
                            "'mssqlsystemresource', schema 'sys'."));
}

void TestEngineStatements::globalTempTableSharedAndDroppedWithCreator() {
    EngineHarness h(false);
    QVERIFY(writeFile(h.c("Bak/x.bak"), "x"));
    QVERIFY(QDir().mkpath(h.c("Bak/Old")));
    auto creator = h.session();
    auto other = h.session();
    const QString probe = QStringLiteral("Select * From tempdb..sysobjects where name like '%##TbFile%'");
    QVERIFY(run(*creator, probe).firstSet().rows.empty());
    QVERIFY(!run(*creator, QStringLiteral("Create Table ##TbFile(subdirectory  varchar(800) Not Null,[depth] int not "
                                          "null,[file] int Not Null)"))
                 .failed());
    const ResultSet seen = run(*other, probe).firstSet();
    QCOMPARE(columnNames(seen),
             QStringList(
                 {"name",     "id",         "xtype",    "uid",     "info",       "status",           "base_schema_ver",
                  "replinfo", "parent_obj", "crdate",   "ftcatid", "schema_ver", "stats_schema_ver", "type",
                  "userstat", "sysstat",    "indexdel", "refdate", "version",    "deltrig",          "instrig",
                  "updtrig",  "seltrig",    "category", "cache"}));
    QCOMPARE(seen.columns[2].type, SqlType::Char);
    QCOMPARE(seen.columns[2].size, 2);
    QCOMPARE(seen.rows.size(), size_t(1));
    QCOMPARE(text(cell(seen, 0, "name")), QStringLiteral("##TbFile"));
    QCOMPARE(text(cell(seen, 0, "xtype")), QStringLiteral("U "));

    const Response again = run(*other, QStringLiteral("Create Table ##TbFile(a int)"));
    QCOMPARE(again.errorNumbers(), QList<int>({2714}));
    QCOMPARE(again.messages().front().text,
             QStringLiteral("There is already an object named '##TbFile' in the database."));

    QVERIFY(!run(*other, QStringLiteral("Delete From ##TbFile")).failed());
    const Response insert =
        run(*other, QStringLiteral("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 1, 1"));
    QVERIFY(!insert.failed());
    QCOMPARE(insert.dones().back().count, qint64(2));
    const ResultSet rows =
        run(*creator, QStringLiteral("Select * From ##TbFile Order by [file],subdirectory")).firstSet();
    QCOMPARE(columnNames(rows), QStringList({"subdirectory", "depth", "file"}));
    QCOMPARE(rows.columns[0].type, SqlType::VarChar);
    QCOMPARE(rows.columns[0].size, 800);
    QVERIFY(!rows.columns[0].nullable);
    QCOMPARE(rows.rows.size(), size_t(2));
    QCOMPARE(text(rows.rows[0][0]), QStringLiteral("Old")); // directories (file 0) first
    QCOMPARE(text(rows.rows[1][0]), QStringLiteral("x.bak"));

    const Response deleted = run(*creator, QStringLiteral("Delete From ##TbFile"));
    QCOMPARE(deleted.dones().back().count, qint64(2));

    creator.reset();
    QVERIFY(run(*other, probe).firstSet().rows.empty());
    QCOMPARE(run(*other, QStringLiteral("Select * From ##TbFile")).errorNumbers(), QList<int>({208}));
    // The other session may now create it afresh, and it goes with that session.
    QVERIFY(!run(*other, QStringLiteral("Create Table ##TbFile(a int)")).failed());
}

void TestEngineStatements::insertExecChecksColumnCountAndLength() {
    EngineHarness h(false);
    QVERIFY(writeFile(h.c("Bak/" + QString(20, u'n') + ".bak"), "x"));
    auto s = h.session();
    QVERIFY(
        !run(*s, QStringLiteral("Create Table ##Two(subdirectory varchar(10) not null, depth int not null)")).failed());
    const Response wrongShape =
        run(*s, QStringLiteral("Insert Into ##Two EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 1, 1"));
    QCOMPARE(wrongShape.errorNumbers(), QList<int>({213}));
    QVERIFY(!run(*s, QStringLiteral("Create Table ##Three(s varchar(10) not null, d int, f int)")).failed());
    const Response tooLong =
        run(*s, QStringLiteral("Insert Into ##Three EXECUTE master.dbo.xp_dirtree N'C:\\Bak', 1, 1"));
    QCOMPARE(tooLong.errorNumbers(), QList<int>({8152}));
    QVERIFY(run(*s, QStringLiteral("select * from ##Three")).firstSet().rows.empty());
}

void TestEngineStatements::varcharColumnHoldsCodePageBytes_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("stored");
    QTest::newRow("eight Latin letters") << "'abcdefgh'" << QList<int>{} << "abcdefgh";
    QTest::newRow("four Chinese characters, eight bytes") << "'库存管理'" << QList<int>{} << "库存管理";
    QTest::newRow("five Chinese characters, ten bytes") << "'库存管理库'" << QList<int>{8152} << "";
    QTest::newRow("mixed, nine bytes") << "'库存管理x'" << QList<int>{8152} << "";
    QTest::newRow("national text in the code page") << "N'库a'" << QList<int>{} << "库a";
    QTest::newRow("national text the code page lacks") << "N'a\u0E01b'" << QList<int>{} << "a?b";
}

void TestEngineStatements::varcharColumnHoldsCodePageBytes() {
    QFETCH(QString, value);
    QFETCH(QList<int>, errors);
    QFETCH(QString, stored);
    EngineHarness h(false);
    auto s = h.session();
    QVERIFY(!run(*s, QStringLiteral("Create Table ##Eight(v varchar(8) null)")).failed());
    QCOMPARE(run(*s, QStringLiteral("Insert Into ##Eight Values (%1)").arg(value)).errorNumbers(), errors);
    const ResultSet rs = run(*s, QStringLiteral("select v from ##Eight")).firstSet();
    QCOMPARE(rs.rows.empty() ? QString() : text(rs.rows.front().front()), stored);
}

void TestEngineStatements::failRuleAnswersWithRealMessage() {
    EngineHarness h(false, 0, {{QStringLiteral("xp_availablemedia"), 229}, {QStringLiteral("Backup DataBase"), 3201}});
    auto s = h.session();
    const Response media = run(*s, QStringLiteral("master..xp_availablemedia 2"));
    QCOMPARE(media.errorNumbers(), QList<int>({229}));
    QCOMPARE(media.messages().front().severity, 14);
    QVERIFY(media.resultSets().empty());
    const Response backup = run(*s, QStringLiteral("Backup DataBase [master] To Disk='C:\\x.Bak'"));
    QCOMPARE(backup.errorNumbers(), QList<int>({3201, 3013}));
    QCOMPARE(backup.messages().front().text, QStringLiteral("Cannot open backup device 'C:\\x.Bak'. Operating system "
                                                            "error 3(The system cannot find the path specified.)."));
    QCOMPARE(backup.errorText(3013), QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    QVERIFY(!QFileInfo::exists(h.c("x.Bak")));
    QVERIFY(!run(*s, QStringLiteral("select 1")).failed());
}

void TestEngineStatements::statementLogRecordsEveryBatch() {
    EngineHarness h(false);
    auto s = h.session();
    const QString batch = QStringLiteral("select 'a\"b\n库'");
    run(*s, batch);
    run(*s, QStringLiteral("select 2"));
    const QList<QByteArray> lines = readAll(h.config.statementLogPath).split('\n');
    QCOMPARE(lines.size(), 3); // two records and the final newline
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(first.value("login").toString(), QStringLiteral("sa"));
    QCOMPARE(first.value("spid").toInt(), s->spid());
    QCOMPARE(first.value("batch").toString(), batch);
    QVERIFY(!lines[0].contains("pw"));
}

void TestEngineStatements::loginChecksPassword() {
    EngineHarness h(false);
    Message failure;
    QVERIFY(!h.engine->login(QStringLiteral("sa"), QStringLiteral("PW"), &failure));
    QCOMPARE(failure.number, 18456);
    QCOMPARE(failure.severity, 14);
    QCOMPARE(failure.text, QStringLiteral("Login failed for user 'sa'."));
    QVERIFY(!h.engine->login(QStringLiteral("nobody"), QStringLiteral("pw"), &failure));
    auto a = h.engine->login(QStringLiteral("SA"), QStringLiteral("pw"), &failure);
    auto b = h.engine->login(QStringLiteral("sa"), QStringLiteral("pw"), &failure);
    QVERIFY(a && b);
    QVERIFY(a->spid() >= 51 && a->spid() != b->spid());
}


// A literal without N is varchar in the server's code page (936 on a Chinese server): what the
// code page lacks becomes "?" before any statement sees it; N'...' keeps every character.
void TestEngineStatements::plainLiteralsHoldOnlyTheCodePage_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("asVarchar");
    QTest::newRow("latin") << "it's" << "it's";
    QTest::newRow("chinese") << "销售数据" << "销售数据";
    QTest::newRow("cyrillic") << "Продажи" << "Продажи";
    QTest::newRow("arabic") << "مبيعات" << "??????";
    QTest::newRow("mixed") << "库-बिक्री" << "库-??????";
}

void TestEngineStatements::plainLiteralsHoldOnlyTheCodePage() {
    QFETCH(QString, value);
    QFETCH(QString, asVarchar);
    EngineHarness h(false);
    QVERIFY(writeFile(h.c("Bak/" + value + ".bak"), "x"));
    auto s = h.session();
    QString literal = value;
    literal.replace(u'\'', QStringLiteral("''"));
    QCOMPARE(text(run(*s, "select '" + literal + "'").firstSet().rows.at(0)[0]), asVarchar);
    QCOMPARE(text(run(*s, "select N'" + literal + "'").firstSet().rows.at(0)[0]), value);
    const qint64 plainFinds = integer(run(*s, "xp_fileexist 'C:\\Bak\\" + literal + ".bak'").firstSet().rows.at(0)[0]);
    QCOMPARE(plainFinds, qint64(asVarchar == value ? 1 : 0));
    QCOMPARE(integer(run(*s, "xp_fileexist N'C:\\Bak\\" + literal + ".bak'").firstSet().rows.at(0)[0]), qint64(1));
}

QTEST_GUILESS_MAIN(TestEngineStatements)
#include "tst_engine_statements.moc"
