// SPDX-License-Identifier: MIT
// Where the server box's entries come from: freetds.conf sections and ODBC data sources, read
// from files in a temporary home, and the addresses they yield connecting to the simulator.

#include "ConnectionStrings.h"
#include "FreeTdsConfServers.h"
#include "OdbcDataSources.h"
#include "SimServer.h"
#include "TADOConnection.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(ServerChoices)

namespace {

// Debian's sample file, as tdsodbc installs it (comments shortened).
const char* const kDebianSample = R"(;	$Id: freetds.conf,v 1.12 2007-12-25 06:02:36 jklowden Exp $
[global]
	# TDS protocol version
;	tds version = auto
	text size = 64512

# A typical Sybase server
[egServer50]
	host = symachine.domain.com
	port = 5000
	tds version = 5.0

# A typical Microsoft server
[egServer73]
	host = ntmachine.domain.com
	port = 1433
	tds version = 7.3
)";

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

} // namespace

class TestServerSources : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home;
    QString path(const QString& name) const { return QDir(home.path()).filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("ODBCINI", path(QStringLiteral("odbc.ini")).toLocal8Bit());
        // The machine's drivers, but none of its system DSNs.
        qputenv("ODBCSYSINI", home.path().toLocal8Bit());
        QVERIFY(QFile::copy(QStringLiteral("/etc/odbcinst.ini"), path(QStringLiteral("odbcinst.ini"))));
        qunsetenv("FREETDSCONF");
    }

    void freeTdsSections_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ServerChoices>("expected");
        QTest::newRow("Debian's sample: the Sybase section falls out by its version")
            << QByteArray(kDebianSample) << ServerChoices{{"egServer73", "ntmachine.domain.com,1433"}};
        QTest::newRow("global is no server, a section without host neither")
            << QByteArray("[global]\nhost = g\n[nohost]\nport = 1433\n[a]\nhost = h1\n") << ServerChoices{{"a", "h1"}};
        QTest::newRow("instance, and a port winning over an instance")
            << QByteArray("[i]\nhost = h\ninstance = SQLEXPRESS\n[both]\nhost = h\nport = 2000\ninstance = X\n")
            << ServerChoices{{"both", "h,2000"}, {"i", "h\\SQLEXPRESS"}};
        QTest::newRow("keys are case-blind, versions 7.0 and auto pass, 4.2 does not")
            << QByteArray("[up]\nHOST = h\nTDS Version = 7.0\n[auto]\nhost = a\ntds version = auto\n"
                          "[old]\nhost = o\ntds version = 4.2\n")
            << ServerChoices{{"auto", "a"}, {"up", "h"}};
        QTest::newRow("a global version below 7.0 holds where a section names none")
            << QByteArray("[global]\ntds version = 5.0\n[inherits]\nhost = a\n[own]\nhost = b\ntds version = 7.4\n")
            << ServerChoices{{"own", "b"}};
        QTest::newRow("comment lines of both kinds")
            << QByteArray("# servers\n[a]\n\t# the host\n\thost = h\n;\tport = 1\n") << ServerChoices{{"a", "h"}};
        QTest::newRow("damaged text: what can be read counts")
            << QByteArray("[open\nhost = h\nno value\n=\n[b]]\nport = 1\n") << ServerChoices{{"open", "h"}};
        QTest::newRow("binary") << QByteArray("[a]\nhost = h\n\x00\x01", 14) << ServerChoices{};
        QTest::newRow("not UTF-8") << QByteArray("[a]\nhost = h\xff\xfe\n") << ServerChoices{};
        QTest::newRow("oversized") << QByteArray("[big]\nhost = h\n") + QByteArray(2 * 1024 * 1024, ';')
                                   << ServerChoices{};
    }
    void freeTdsSections() {
        QFETCH(QByteArray, text);
        QFETCH(ServerChoices, expected);
        // A file of its own per case: QSettings caches what it read of a path.
        const QString file =
            path(QStringLiteral("sections-%1.conf").arg(QTest::currentDataTag()).replace(' ', '_').replace(':', '_'));
        writeFile(file, text);
        QCOMPARE(FreeTdsConfServers::readFile(file), expected);
        QCOMPARE(QDir(home.path()).entryList({QStringLiteral("*.lock")}, QDir::Files), QStringList());
    }

    void freeTdsFilesInFreeTdsOrder() {
        const QString fromEnvironment = path(QStringLiteral("env.conf"));
        writeFile(fromEnvironment, "[shared]\nhost = from-env\n[env]\nhost = e\n");
        writeFile(path(QStringLiteral(".freetds.conf")), "[shared]\nhost = from-home\n[home]\nhost = h\n");
        qputenv("FREETDSCONF", fromEnvironment.toLocal8Bit());
        const QStringList files = FreeTdsConfServers::defaultFiles();
        qunsetenv("FREETDSCONF");
        QCOMPARE(files.mid(0, 2), QStringList({fromEnvironment, path(QStringLiteral(".freetds.conf"))}));
        QCOMPARE(files.last(), QStringLiteral("/etc/freetds/freetds.conf"));
        const ServerChoices servers = FreeTdsConfServers(files.mid(0, 2)).servers();
        QCOMPARE(servers, (ServerChoices{{"env", "e"}, {"shared", "from-env"}, {"home", "h"}}));
    }

    // A reader that waited on these would hang the program's start.
    void freeTdsFilesThatAreNoFiles() {
        const QString fifo = path(QStringLiteral("fifo.conf"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(FreeTdsConfServers({fifo, home.path(), path(QStringLiteral("missing.conf"))}).servers(),
                 ServerChoices{});
        QVERIFY(timer.elapsed() < 2000);
    }

    void sqlServerDrivers_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("sqlServer");
        QTest::newRow("FreeTDS") << "FreeTDS" << true;
        QTest::newRow("Microsoft 18") << "ODBC Driver 18 for SQL Server" << true;
        QTest::newRow("Microsoft 17") << "ODBC Driver 17 for SQL Server" << true;
        QTest::newRow("FreeTDS by path") << "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so" << true;
        QTest::newRow("Microsoft by path") << "/opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.3.so.2.1" << true;
        QTest::newRow("PostgreSQL") << "PostgreSQL Unicode" << false;
        QTest::newRow("a name that only contains it") << "Not the ODBC Driver 18 for SQL Server" << false;
    }
    void sqlServerDrivers() {
        QFETCH(QString, driver);
        QFETCH(bool, sqlServer);
        QCOMPARE(OdbcDataSources::isSqlServerDriver(driver), sqlServer);
    }

    void dataSources() {
        writeFile(path(QStringLiteral("odbc.ini")),
                  "[tds]\nDriver = FreeTDS\nServer = db1\nPort = 1500\n"
                  "[ms]\nDriver = ODBC Driver 18 for SQL Server\nServer = tcp:db2,1600\n"
                  "[named]\nDriver = FreeTDS\nServer = db3\\INST\n"
                  "[pg]\nDriver = PostgreSQL Unicode\nServername = pghost\n"
                  "[sybase]\nDriver = FreeTDS\nServer = syb\nTDS_Version = 5.0\n"
                  "[sectiononly]\nDriver = FreeTDS\nServername = egServer73\n");
        const ServerChoices servers = OdbcDataSources::servers();
        QCOMPARE(servers, (ServerChoices{{"tds", "db1,1500"}, {"ms", "db2,1600"}, {"named", "db3\\INST"}}));
    }

    void dataSourcesMalformed() {
        writeFile(path(QStringLiteral("odbc.ini")), QByteArray("[x\n\x00\xff=\n[y]]\nDriver\n", 20));
        QCOMPARE(OdbcDataSources::servers(), ServerChoices{});
    }

    // The addresses that a section and a DSN yield are ones the driver connects to.
    void addressesConnect() {
        SimServer sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QByteArray port = QByteArray::number(sim.port());
        const QString conf = path(QStringLiteral("sim.conf"));
        writeFile(conf, "[sim]\nhost = 127.0.0.1\nport = " + port + "\ntds version = 7.4\n");
        writeFile(path(QStringLiteral("odbc.ini")),
                  "[simdsn]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = " + port + "\n");
        const ServerChoices fromConf = FreeTdsConfServers::readFile(conf);
        const ServerChoices fromDsn = OdbcDataSources::servers();
        QCOMPARE(fromConf.size(), 1);
        QCOMPARE(fromDsn.size(), 1);
        for (const ServerChoice& choice : {fromConf.first(), fromDsn.first()}) {
            TADOConnection connection;
            connection.setConnectionTimeout(10);
            connection.setConnectionString(ConnectionStrings::sqlServerAuthentication(
                choice.target(), QStringLiteral("master"), SimServer::login(), SimServer::password()));
            connection.Open();
            QVERIFY2(connection.Connected(), qPrintable(choice.name));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerSources)
#include "tst_server_sources.moc"
