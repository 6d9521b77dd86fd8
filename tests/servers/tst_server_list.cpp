// SPDX-License-Identifier: MIT
// The remembered servers, and the server box's list merged from all sources: order,
// de-duplication, and that no password ever lands in a file.

#include "ConnectionStrings.h"
#include "FreeTdsConfServers.h"
#include "RecentServers.h"
#include "ServerListBuilder.h"
#include "SimServer.h"
#include "TADOConnection.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(ServerChoices)

namespace {

RememberedServer sqlLogin(const QString& server, const QString& user) {
    return {server, Authentication::SqlServer, user};
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

} // namespace

class TestServerList : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home;

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("ODBCINI", QDir(home.path()).filePath(QStringLiteral("odbc.ini")).toLocal8Bit());
        qputenv("ODBCSYSINI", home.path().toLocal8Bit()); // the machine's drivers, none of its DSNs
        QVERIFY(QFile::copy(QStringLiteral("/etc/odbcinst.ini"),
                            QDir(home.path()).filePath(QStringLiteral("odbcinst.ini"))));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(RecentServers::defaultFile().startsWith(home.path()));
    }
    void init() { QFile::remove(RecentServers::defaultFile()); }

    void remembersMostRecentFirst() {
        RecentServers recent;
        QVERIFY(!recent.lastUsed());
        QVERIFY(recent.remember(sqlLogin("db1", "alice")));
        QVERIFY(recent.remember({"db2\\INST", Authentication::Integrated, "ignored"}));
        QVERIFY(recent.remember(sqlLogin("DB1", "bob"))); // the same server, case-blind: moves up
        const QList<RememberedServer> expected{sqlLogin("DB1", "bob"), {"db2\\INST", Authentication::Integrated, {}}};
        QCOMPARE(RecentServers().servers(), expected); // read back by a new object, as at the next start
        QCOMPARE(RecentServers().lastUsed(), std::optional(expected.first()));
    }

    void forgets() {
        RecentServers recent;
        for (const char* server : {"a", "b", "c"})
            QVERIFY(recent.remember(sqlLogin(server, "u")));
        QVERIFY(recent.forget(" B "));
        QVERIFY(recent.forget("unknown"));
        QCOMPARE(recent.servers(), (QList<RememberedServer>{sqlLogin("c", "u"), sqlLogin("a", "u")}));
        QVERIFY(recent.forget("c"));
        QCOMPARE(recent.lastUsed(), std::optional(sqlLogin("a", "u")));
    }

    void keepsAtMostTheLimit() {
        RecentServers recent;
        for (int i = 0; i < RecentServers::kMaxServers + 3; ++i)
            QVERIFY(recent.remember(sqlLogin(QStringLiteral("s%1").arg(i), "u")));
        const QList<RememberedServer> servers = recent.servers();
        QCOMPARE(servers.size(), RecentServers::kMaxServers);
        QCOMPARE(servers.first().server, QStringLiteral("s%1").arg(RecentServers::kMaxServers + 2));
        QCOMPARE(servers.last().server, QStringLiteral("s3"));
    }

    void damagedSettingsFile() {
        writeFile(RecentServers::defaultFile(),
                  "[recent]\nsize=5\n1\\server=ok\n1\\authentication=sql-server\n1\\user=u\n"
                  "2\\server=odd\n2\\authentication=kerberos\n3\\authentication=integrated\n\xff\x00garbage");
        QCOMPARE(RecentServers().servers(), QList<RememberedServer>{sqlLogin("ok", "u")});
        QVERIFY(RecentServers().remember(sqlLogin("new", "v")));
        QCOMPARE(RecentServers().servers(), (QList<RememberedServer>{sqlLogin("new", "v"), sqlLogin("ok", "u")}));
    }

    // A real login with a password, remembered as the program remembers it: the password is in
    // none of the files under the home directory afterwards, the settings file included.
    void passwordInNoFile() {
        SimServer sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString server = QStringLiteral("127.0.0.1,%1").arg(sim.port());
        TADOConnection connection;
        connection.setConnectionTimeout(10);
        connection.setConnectionString(ConnectionStrings::sqlServerAuthentication(
            server, QStringLiteral("master"), SimServer::login(), SimServer::password()));
        connection.Open();
        QVERIFY(connection.Connected());
        QVERIFY(RecentServers().remember(sqlLogin(server, SimServer::login())));
        connection.Close();

        const QByteArray password = SimServer::password().toUtf8();
        int files = 0;
        QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(!bytes.contains(password) && !bytes.contains(SimServer::password().toUtf8().toPercentEncoding()),
                     qPrintable(file.fileName()));
            ++files;
        }
        QVERIFY(files > 0);
        QCOMPARE(RecentServers().servers().first().userName, SimServer::login());
    }

    void mergesInSourceOrder_data() {
        QTest::addColumn<QList<ServerChoices>>("sources");
        QTest::addColumn<ServerChoices>("expected");
        QTest::newRow("each source after the one before")
            << QList<ServerChoices>{{{"r1", {}}, {"r2", {}}}, {{"conf", "h,1"}}, {{"dsn", "d"}}, {{"disc", {}}}}
            << ServerChoices{{"r1", {}}, {"r2", {}}, {"conf", "h,1"}, {"dsn", "d"}, {"disc", {}}};
        QTest::newRow("a name again, case-blind, stays at its first place and lends its address")
            << QList<ServerChoices>{{{"Sales", {}}}, {{"sales", "db1,1500"}}, {{"SALES", "other"}}, {{"x", {}}}}
            << ServerChoices{{"Sales", "db1,1500"}, {"x", {}}};
        QTest::newRow("discovery keeps its own order, repeats dropped")
            << QList<ServerChoices>{{{"b", {}}}, {}, {}, {{"z", {}}, {"b", {}}, {"a", {}}, {"z", {}}}}
            << ServerChoices{{"b", {}}, {"z", {}}, {"a", {}}};
        QTest::newRow("empty names out, an address equal to its name is none")
            << QList<ServerChoices>{{{" ", "x"}}, {{"h", "H"}}} << ServerChoices{{"h", {}}};
    }
    void mergesInSourceOrder() {
        QFETCH(QList<ServerChoices>, sources);
        QFETCH(ServerChoices, expected);
        ServerListBuilder builder;
        for (const ServerChoices& source : sources)
            builder.add(source);
        QCOMPARE(builder.choices(), expected);
        for (const ServerChoice& choice : expected)
            QCOMPARE(builder.find(choice.name.toUpper()), &builder.choices()[expected.indexOf(choice)]);
    }

    void standardListReadsEverySource() {
        QVERIFY(RecentServers().remember(sqlLogin("conf1", "u")));
        QVERIFY(RecentServers().remember(sqlLogin("127.0.0.1\\SQLSIM", "u")));
        writeFile(QDir(home.path()).filePath(QStringLiteral(".freetds.conf")),
                  "[conf1]\nhost = c1\nport = 1500\n[conf2]\nhost = c2\n");
        writeFile(QDir(home.path()).filePath(QStringLiteral("odbc.ini")),
                  "[dsn1]\nDriver = FreeTDS\nServer = d1\n[conf2]\nDriver = FreeTDS\nServer = elsewhere\n");
        ServerChoices expected{{"127.0.0.1\\SQLSIM", {}}, {"conf1", "c1,1500"}, {"conf2", "c2"}};
        expected += FreeTdsConfServers::readFile(QStringLiteral("/etc/freetds/freetds.conf")); // this machine's
        expected += ServerChoices{{"dsn1", "d1"}, {"127.0.0.1", {}}};
        QCOMPARE(ServerListBuilder::standardList({"127.0.0.1", "127.0.0.1\\sqlsim"}), expected);
    }
};

QTEST_MAIN(TestServerList)
#include "tst_server_list.moc"
