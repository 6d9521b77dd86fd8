// The server connection and queries against the simulator through the real ODBC driver.

#include "ConnectionStrings.h"
#include "EDatabaseError.h"
#include "SimServer.h"
#include "StatementTrigger.h"
#include "TADOConnection.h"
#include "TADODataSet.h"
#include "LoopbackPeers.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QThread>
#include <QtTest>

#include <ctime>

namespace {

const QString kSysDatabases = QStringLiteral("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]");

QString server(const SimServer& sim) { return QStringLiteral("127.0.0.1,%1").arg(sim.port()); }

void open(TADOConnection& c, const SimServer& sim, const QString& user = SimServer::login(),
          const QString& password = SimServer::password()) {
    c.setConnectionString(ConnectionStrings::sqlServerAuthentication(server(sim), "master", user, password));
    c.setConnectionTimeout(10);
    c.Open();
}

QString errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class TestQueries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString())); }

    void logsInAndOut() {
        TADOConnection c;
        QVERIFY(!c.Connected());
        QCOMPARE(c.ConnectionTimeout(), 15);
        QCOMPARE(c.CommandTimeout(), 30);
        open(c, sim);
        QVERIFY(c.Connected());
        c.Close();
        QVERIFY(!c.Connected());
        c.Close(); // closing twice is harmless
        open(c, sim); // the same object reconnects
        QVERIFY(c.Connected());
    }

    void refusesAWrongPasswordQuickly() {
        TADOConnection c;
        QElapsedTimer t;
        t.start();
        const QString error = errorOf([&] { open(c, sim, "sa", "wrong"); });
        QVERIFY(error.contains("Login failed for user 'sa'."));
        QVERIFY(!c.Connected());
        QVERIFY(t.elapsed() < 5000);
    }

    void passwordWithSeparatorsIsPassedWhole() {
        // A password that would add keywords if it were pasted into the string unquoted.
        SimServer odd;
        const QString password = QStringLiteral("p;UID=sa;PWD={x=y; ");
        QVERIFY2(odd.start({"--login", "odd:" + password}), qPrintable(odd.errorString()));
        TADOConnection c;
        open(c, odd, "odd", password);
        QVERIFY(c.Connected());
        c.Execute("Select GetDate() F_Date");
        QCOMPARE(odd.statementRecords().last()["login"].toString(), QString("odd"));
        TADOConnection truncated;
        QVERIFY(!errorOf([&] { open(truncated, odd, "odd", "p"); }).isEmpty());
    }

    void closingBraceIsRefusedClearlyByFreeTds() {
        if (!ConnectionStrings::chooseDriver().contains("FreeTDS"))
            QSKIP("only FreeTDS lacks an escape for a closing brace");
        const QString error = errorOf([&] {
            ConnectionStrings::sqlServerAuthentication("127.0.0.1", "master", "sa", "a}b;UID=x");
        });
        QVERIFY(error.contains("cannot pass"));
    }

    void closedPortFailsAtOnce() {
        const quint16 port = LoopbackPeers::freeTcpPort();
        TADOConnection c;
        c.setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(port), "master", "sa", "x"));
        c.setConnectionTimeout(10);
        QElapsedTimer t;
        t.start();
        QVERIFY(!errorOf([&] { c.Open(); }).isEmpty());
        QVERIFY(t.elapsed() < 5000);
    }

    void silentListenerEndsWithinTheLoginTimeout() {
        QTcpServer silent; // accepts (the kernel does) and never says a word
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        TADOConnection c;
        c.setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()), "master", "sa", "x"));
        c.setConnectionTimeout(2);
        QElapsedTimer t;
        t.start();
        QVERIFY(!errorOf([&] { c.Open(); }).isEmpty());
        QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!c.Connected());
    }

    void readsRowsByNameAndPosition() {
        TADOConnection c;
        open(c, sim);
        TADODataSet q(c);
        q.setCursorLocation(clUseClient);
        q.setCommandText(kSysDatabases);
        q.Open();
        QVERIFY(q.RecordCount() >= 4);
        QStringList names;
        int lastId = 0;
        for (int i = 0; i < q.RecordCount(); ++i) {
            names << q.FieldByName("Name").AsString(); // the column is "name"
            const int id = q.FieldByName("DBID").AsInteger();
            QVERIFY(id > lastId);
            lastId = id;
            QCOMPARE(q.Fields(0).AsString(), names.last());
            q.Next();
        }
        QVERIFY(q.Eof());
        QVERIFY(names.contains("master"));
        QVERIFY(!names.contains("tempdb"));
        QVERIFY(errorOf([&] { q.FieldByName("nosuch"); }).isEmpty() == false);
    }

    void unknownFieldNamesItself() {
        TADOConnection c;
        open(c, sim);
        TADODataSet q(c);
        q.setCommandText("Select GetDate() F_Date");
        q.Open();
        QCOMPARE(errorOf([&] { q.FieldByName("Nope"); }), QStringLiteral("Field 'Nope' not found"));
        QVERIFY(q.FieldByName("f_date").AsDateTime().isValid());
    }

    void takesTheFirstResultThatHasRows() {
        TADOConnection c;
        open(c, sim);
        c.Execute("Create Table ##TbFile(subdirectory  varchar(800) Not Null,[depth] int not null,[file] int Not "
                  "Null)");
        TADODataSet q(c);
        q.setCommandText("Delete From ##TbFile Select * From ##TbFile Order by [file],subdirectory");
        q.Open();
        QCOMPARE(q.RecordCount(), 0);
        QCOMPARE(q.FieldCount(), 3);
    }

    void statementWithoutRowsIsNotAResultSet() {
        TADOConnection c;
        open(c, sim);
        c.Execute("Create Table ##Scratch(subdirectory  varchar(800) Not Null,[depth] int not null,[file] int Not "
                  "Null)");
        TADODataSet q(c);
        q.setCommandText("Delete From ##Scratch");
        QCOMPARE(errorOf([&] { q.Open(); }), QStringLiteral("CommandText does not return a result set"));
        QVERIFY(!q.Active());
    }

    void nullConvertsToNothing() {
        TADOConnection c;
        open(c, sim);
        c.Execute("Backup DataBase [SalesDemo] To Disk='C:\\nulls.Bak'");
        TADODataSet q(c);
        q.setCommandText("RESTORE HEADERONLY FROM  DISK = N'C:\\nulls.Bak'  WITH   NOUNLOAD ");
        q.Open();
        QCOMPARE(q.RecordCount(), 1);
        QVERIFY(q.FieldByName("ExpirationDate").IsNull());
        QCOMPARE(errorOf([&] { q.FieldByName("ExpirationDate").AsString(); }),
                 QStringLiteral("Could not convert variant of type (Null) into type (String)"));
        QVERIFY(!errorOf([&] { q.FieldByName("ExpirationDate").AsInteger(); }).isEmpty());
        QVERIFY(!errorOf([&] { q.FieldByName("ExpirationDate").AsDateTime(); }).isEmpty());
        QCOMPARE(q.FieldByName("Position").AsInteger(), 1);
    }

    void serverErrorsArriveTogetherOnePerLine() {
        TADOConnection c;
        open(c, sim);
        const QString error = errorOf([&] { c.Execute("Backup DataBase [SalesDemo] To Disk='C:\\no\\such\\x.Bak'"); });
        const QStringList lines = error.split('\n');
        QVERIFY2(lines.size() >= 2, qPrintable(error));
        QVERIFY(lines.first().startsWith("Cannot open backup device"));
        QCOMPARE(lines.last(), QStringLiteral("BACKUP DATABASE is terminating abnormally."));
        QVERIFY(!error.contains("[FreeTDS]"));
    }

    void statementTimeOutEndsASlowStatement() {
        SimServer slow;
        QVERIFY2(slow.start({"--seed", "--delay-per-mb", "2000"}), qPrintable(slow.errorString()));
        TADOConnection c;
        open(c, slow);
        c.setCommandTimeoutForTesting(1);
        QElapsedTimer t;
        t.start();
        QVERIFY(!errorOf([&] { c.Execute("Backup DataBase [SalesDemo] To Disk='C:\\slow.Bak'"); }).isEmpty());
        QVERIFY(t.elapsed() < 10000);
        // The connection is still usable afterwards.
        TADODataSet q(c);
        q.setCommandText("Select GetDate() F_Date");
        q.Open();
        QCOMPARE(q.RecordCount(), 1);
    }

    void longStatementOutlastsTheTimeOutAndKeepsTheLoopTurning() {
        SimServer slow;
        QVERIFY2(slow.start({"--seed", "--delay-per-mb", "300"}), qPrintable(slow.errorString()));
        TADOConnection c;
        open(c, slow);
        c.setCommandTimeoutForTesting(1);
        QList<bool> told; // what the window would show: busy, then no longer
        c.setBusyNotifier([&](bool busy) { told << busy; });
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            QVERIFY(c.busy());
        });
        timer.start(50);
        QElapsedTimer t;
        t.start();
        c.ExecuteLong("Backup DataBase [SalesDemo] To Disk='C:\\long.Bak'");
        QVERIFY2(t.elapsed() > 1000, "the statement should have outlasted the 1 s time-out");
        QVERIFY(ticks > 5);
        QVERIFY(!c.busy());
        QCOMPARE(told, (QList<bool>{true, false}));
        QVERIFY(QFile::exists(slow.driveC() + "/long.Bak"));
    }

    // Statements that end within a frame skip their own pass of the event loop, but a run of them
    // still lets the loop turn once a frame: timers tick, the window repaints.
    void quickLongStatementsStillLetTheLoopTurn() {
        TADOConnection c;
        open(c, sim);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(20);
        QElapsedTimer t;
        t.start();
        int statements = 0;
        while (t.elapsed() < 400 && statements < 5000) {
            c.ExecuteLong("Select GetDate() F_Date");
            ++statements;
        }
        QVERIFY2(ticks >= 2, qPrintable(QStringLiteral("%1 ticks over %2 statements").arg(ticks).arg(statements)));
    }

    // The server's clock is kept as sent: not read as this machine's local time, where a time in
    // a daylight-saving gap would move by the gap.
    void serverTimesAreKeptAsSent() {
        SimServer many; // started before the zone changes: the simulator keeps its own clock
        QVERIFY2(many.start({"--sample-databases", "26"}), qPrintable(many.errorString()));
        const QByteArray oldZone = qgetenv("TZ");
        const bool hadZone = qEnvironmentVariableIsSet("TZ");
        // Daylight-saving time starts on the last Sunday of March at 09:00, skipping to 10:00.
        qputenv("TZ", "XST-0XDT,M3.5.0/9,M10.5.0/3");
        tzset();
        const auto restoreZone = qScopeGuard([&] {
            if (hadZone)
                qputenv("TZ", oldZone);
            else
                qunsetenv("TZ");
            tzset();
        });
        TADOConnection c;
        open(c, many);
        TADODataSet q(c);
        q.setCommandText(kSysDatabases);
        q.Open();
        while (!q.Eof() && q.FieldByName("name").AsString() != QLatin1String("Sample26")) // dbid 30
            q.Next();
        QVERIFY(!q.Eof());
        QCOMPARE(q.FieldByName("crdate").AsString(), QStringLiteral("2024-03-31 09:30:00"));
        QCOMPARE(q.FieldByName("crdate").AsDateTime().time(), QTime(9, 30));
    }

    // Every informational message of a long statement is told on the caller's thread, in the
    // order the server sent it, before ExecuteLong returns; a statement without a listener is
    // run as before.
    void longStatementTellsItsMessagesInOrder() {
        TADOConnection c;
        open(c, sim);
        QList<ServerMessage> told;
        QList<QThread*> threads;
        c.ExecuteLong("Backup DataBase [SalesDemo] To Disk='C:\\told.Bak' WITH STATS = 25", [&](const ServerMessage& m) {
            told << m;
            threads << QThread::currentThread();
        });
        QStringList percents;
        for (const ServerMessage& m : told)
            if (m.number == 3211)
                percents << m.text;
        QCOMPARE(percents, QStringList({"25 percent processed.", "50 percent processed.", "75 percent processed.",
                                        "100 percent processed."}));
        QVERIFY(!told.isEmpty());
        QCOMPARE(told.last().number, 3014);
        QVERIFY2(told.last().text.startsWith("BACKUP DATABASE successfully processed"), qPrintable(told.last().text));
        QCOMPARE(threads.count(QThread::currentThread()), threads.size());
        c.ExecuteLong("Backup DataBase [SalesDemo] To Disk='C:\\quiet.Bak' WITH STATS = 25");
        QVERIFY(QFile::exists(sim.driveC() + "/quiet.Bak"));
    }

    void longStatementErrorsReachTheCaller() {
        TADOConnection c;
        open(c, sim);
        const QString error = errorOf([&] { c.ExecuteLong("Backup DataBase [NoSuchDb] To Disk='C:\\n.Bak'"); });
        QVERIFY2(error.contains("NoSuchDb"), qPrintable(error));
        QVERIFY(!c.busy());
    }

    void droppedConnectionFailsTheNextStatementAndReconnectWorks() {
        SimServer doomed;
        QVERIFY2(doomed.start({"--seed"}), qPrintable(doomed.errorString()));
        TADOConnection c;
        open(c, doomed);
        doomed.kill();
        QVERIFY(!errorOf([&] { c.Execute("Select GetDate() F_Date"); }).isEmpty());
        QVERIFY(doomed.restart());
        c.Close();
        const QString error = errorOf([&] {
            open(c, doomed);
            c.Execute("Select GetDate() F_Date");
        });
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    // Killed in the middle: FreeTDS answers with SQL_ERROR whose only record is informational
    // (01000 "Unexpected EOF from the server"); that must still be an error, never a success.
    void serverKilledMidStatementFailsTheStatement_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("statement") << "Execute";
        QTest::newRow("long statement") << "ExecuteLong";
        QTest::newRow("query") << "Open";
    }

    void serverKilledMidStatementFailsTheStatement() {
        QFETCH(QString, how);
        SimServer doomed;
        QVERIFY2(doomed.start({"--seed", "--delay", "GetDate()=5000"}), qPrintable(doomed.errorString()));
        TADOConnection c;
        open(c, doomed);
        QString error;
        {
            StatementTrigger crash(doomed, "GetDate()", StatementTrigger::killProcess(doomed.processId()));
            error = errorOf([&] {
                if (how == "Execute") {
                    c.Execute("Select GetDate() F_Date");
                } else if (how == "ExecuteLong") {
                    c.ExecuteLong("Select GetDate() F_Date");
                } else {
                    TADODataSet q(c);
                    q.setCommandText("Select GetDate() F_Date");
                    q.Open();
                }
            });
            QVERIFY(crash.fired());
        }
        QVERIFY2(error.contains("EOF") || error.contains("Communication link failure"), qPrintable(error));
        QVERIFY(!c.busy());
    }

private:
    SimServer sim;
};

QTEST_MAIN(TestQueries)
#include "tst_queries.moc"
