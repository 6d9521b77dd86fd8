// The server box through the window, in a home of its own: the user's servers before
// discovery's, connecting through a freetds.conf section and an ODBC data source, and the login
// brought back at the next start.

#include "FreeTdsConfServers.h"
#include "ListItems.h"
#include "LoopbackPeers.h"
#include "MessageBox.h"
#include "RecentServers.h"
#include "SimServer.h"
#include "UntMain.h"
#include "WindowDriver.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

// The window as the program makes it, with discovery kept to the given default-instance port.
MainWindowSetup programSetup(quint16 defaultInstancePort) {
    MainWindowSetup setup = WindowDriver::quietSetup();
    setup.discovery.defaultInstancePort = defaultInstancePort;
    setup.userServers = true;
    return setup;
}

} // namespace

class TestServerBox : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home;
    SimServer sim;
    QString path(const QString& name) const { return QDir(home.path()).filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("FREETDSCONF", path(QStringLiteral("freetds.conf")).toLocal8Bit());
        qputenv("ODBCINI", path(QStringLiteral("odbc.ini")).toLocal8Bit());
        qputenv("ODBCSYSINI", home.path().toLocal8Bit()); // the machine's drivers, none of its DSNs
        QVERIFY(QFile::copy(QStringLiteral("/etc/odbcinst.ini"), path(QStringLiteral("odbcinst.ini"))));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(RecentServers::defaultFile().startsWith(home.path()));
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        const QByteArray port = QByteArray::number(sim.port());
        writeFile(path(QStringLiteral("freetds.conf")),
                  "[global]\ntds version = 7.4\n[simconf]\nhost = 127.0.0.1\nport = " + port +
                      "\n[Shared]\nhost = 127.0.0.1\nport = " + port + "\n[old]\nhost = h\ntds version = 5.0\n");
        writeFile(path(QStringLiteral("odbc.ini")), "[simdsn]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = " + port +
                                                        "\nTDS_Version = 7.4\n[shared]\nDriver = FreeTDS\nServer = x\n");
    }
    void init() { QFile::remove(RecentServers::defaultFile()); }

    void userServersComeBeforeDiscoverysOnce() {
        QVERIFY(RecentServers().remember({"simdsn", Authentication::SqlServer, "u"}));
        TFrmMain window(programSetup(sim.port())); // discovery finds 127.0.0.1 there
        QStringList expected{"simdsn", "Shared", "simconf"}; // a file's sections by name
        for (const ServerChoice& c : FreeTdsConfServers::readFile(QStringLiteral("/etc/freetds/freetds.conf")))
            expected << c.name; // this machine's own sections come after the user's file
        expected << "127.0.0.1";
        QCOMPARE(ListItems::texts(window.CmbServer), expected);
        QCOMPARE(window.CmbServer->currentIndex(), 0);
    }

    void connectsThroughAnEntrysAddress_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("freetds.conf section") << "simconf";
        QTest::newRow("ODBC data source") << "simdsn";
        QTest::newRow("section and DSN of one name: the section's address") << "shared";
    }
    void connectsThroughAnEntrysAddress() {
        QFETCH(QString, entry);
        TFrmMain window(programSetup(LoopbackPeers::freeTcpPort()));
        ScopedMessageBoxRecorder boxes(&window);
        const int index = window.CmbServer->findText(entry, Qt::MatchFixedString);
        QVERIFY(index >= 0);
        window.CmbServer->setCurrentIndex(index);
        window.EdtUid->setText(SimServer::login());
        window.EdtPwd->setText(SimServer::password());
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QVERIFY(window.TabSheet1->LsbDB->count() > 0);
        QVERIFY(boxes.shown().isEmpty());
        // Remembered under the name the user chose, not its address.
        QCOMPARE(RecentServers().servers().value(0).server, window.CmbServer->itemText(index));
    }

    void nextStartBringsBackTheLastLogin() {
        {
            TFrmMain first(programSetup(LoopbackPeers::freeTcpPort()));
            WindowDriver::connectTo(first, sim.port(), SimServer::login(), SimServer::password());
            QCOMPARE(first.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
            // A failed attempt is not remembered.
            first.BtnConn->click();
            WindowDriver::connectTo(first, LoopbackPeers::freeTcpPort(), QStringLiteral("other"), QStringLiteral("x"));
            QCOMPARE(first.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        }
        const QString server = QStringLiteral("127.0.0.1,%1").arg(sim.port());
        TFrmMain second(programSetup(LoopbackPeers::freeTcpPort()));
        QCOMPARE(second.CmbServer->currentText(), server);
        QVERIFY(second.rdo0->isChecked());
        QCOMPARE(second.EdtUid->text(), SimServer::login());
        QVERIFY(second.EdtPwd->text().isEmpty());
        second.EdtPwd->setText(SimServer::password());
        second.BtnConn->click();
        QCOMPARE(second.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
    }

    void choosingARememberedServerBringsBackItsMode() {
        QVERIFY(RecentServers().remember({"simconf", Authentication::SqlServer, "alice"}));
        QVERIFY(RecentServers().remember({"winbox", Authentication::Integrated, {}}));
        TFrmMain window(programSetup(LoopbackPeers::freeTcpPort()));
        QCOMPARE(window.CmbServer->currentText(), QStringLiteral("winbox"));
        QVERIFY(window.rdo1->isChecked() && !window.EdtUid->isEnabled());
        QTest::keyClick(window.CmbServer, Qt::Key_Down); // the user picks the next entry
        QCOMPARE(window.CmbServer->currentText(), QStringLiteral("simconf"));
        QVERIFY(window.rdo0->isChecked() && window.EdtUid->isEnabled());
        QCOMPARE(window.EdtUid->text(), QStringLiteral("alice"));
    }
};

QTEST_MAIN(TestServerBox)
#include "tst_server_box.moc"
