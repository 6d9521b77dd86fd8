// The simulator as other clients meet it: malformed packets close only their own connection,
// independent clients (python-tds, FreeTDS's tsql) log in and run statements, the Browser
// responder answers its instance, and the command line says what it takes.

#include "SimServer.h"
#include "LoopbackPeers.h"

#include <QProcess>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

namespace {

QByteArray packet(quint8 type, quint8 status, const QByteArray& body, int declaredLength = -1) {
    const int length = declaredLength >= 0 ? declaredLength : int(body.size()) + 8;
    QByteArray p;
    p.append(char(type));
    p.append(char(status));
    p.append(char(length >> 8));
    p.append(char(length & 0xFF));
    p.append(QByteArray(4, '\0'));
    return p + body;
}

// True when the server closes the connection within a few seconds.
bool closedByServer(QTcpSocket& s) {
    for (int i = 0; i < 50 && s.state() == QAbstractSocket::ConnectedState; ++i)
        s.waitForReadyRead(100), s.readAll();
    return s.state() != QAbstractSocket::ConnectedState;
}

QString run(const QString& program, const QStringList& args, const QByteArray& input,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return QStringLiteral("<did not start>");
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

} // namespace

class TestTdsProtocol : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString())); }

    void malformedInputClosesOnlyThatConnection_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("length below the header") << packet(0x12, 1, {}, 3);
        QTest::newRow("huge declared length") << packet(0x12, 1, QByteArray(16, 'x'), 65535);
        QTest::newRow("unknown packet type") << packet(0x55, 1, QByteArray(16, 'x'));
        QTest::newRow("login record too short") << packet(0x10, 1, QByteArray(20, '\x01'));
        QByteArray login(94, '\0');
        login[0] = char(94);
        login[36] = char(0xF0); // a string offset far beyond the record
        login[38] = char(0x10);
        QTest::newRow("login offsets beyond the record") << packet(0x10, 1, login);
    }
    void malformedInputClosesOnlyThatConnection() {
        QFETCH(QByteArray, bytes);
        QTcpSocket healthy;
        healthy.connectToHost("127.0.0.1", sim.port());
        QVERIFY(healthy.waitForConnected(3000));
        QTcpSocket bad;
        bad.connectToHost("127.0.0.1", sim.port());
        QVERIFY(bad.waitForConnected(3000));
        bad.write(bytes);
        QVERIFY(closedByServer(bad));
        // The other connection still gets a pre-login answer.
        const QByteArray prelogin = QByteArray::fromHex("000006000601000b000102000c0001ff090000000000020000");
        healthy.write(packet(0x12, 1, prelogin));
        QVERIFY(healthy.waitForReadyRead(3000));
        QCOMPARE(quint8(healthy.readAll().at(0)), quint8(0x04));
    }

    void connectionCutMidPacketLeavesTheServerServing() {
        {
            QTcpSocket cut;
            cut.connectToHost("127.0.0.1", sim.port());
            QVERIFY(cut.waitForConnected(3000));
            cut.write(packet(0x12, 1, QByteArray(40, 'x')).left(20));
            cut.waitForBytesWritten(1000);
        } // closed half-way
        const QString out = run("tsql", {"-H", "127.0.0.1", "-p", QString::number(sim.port()), "-U", "sa", "-P",
                                         SimServer::password()},
                                "Select GetDate() F_Date\ngo\nquit\n", tsqlEnvironment());
        QVERIFY2(out.contains("F_Date"), qPrintable(out));
    }

    void tsqlRunsTheDatabaseList() {
        const QString out = run("tsql", {"-H", "127.0.0.1", "-p", QString::number(sim.port()), "-U", "sa", "-P",
                                         SimServer::password()},
                                "Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]\ngo\nquit\n",
                                tsqlEnvironment());
        QVERIFY2(out.contains("SalesDemo") && out.contains("库存管理"), qPrintable(out));
        QVERIFY(!out.contains("tempdb"));
    }

    void pythonTdsBacksUpAndReadsTheHeader() {
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("Debian's python3 is not installed");
        const QString script = QStringLiteral(R"(
import pytds
c = pytds.connect('127.0.0.1', port=%1, user='sa', password='%2', database='master', autocommit=True)
cur = c.cursor()
cur.execute("Backup DataBase [SalesDemo] To Disk='C:\\py.Bak'")
cur.execute("RESTORE HEADERONLY FROM  DISK = N'C:\\py.Bak'  WITH   NOUNLOAD ")
rows = cur.fetchall()
names = [d[0] for d in cur.description]
print('sets', len(rows), 'position', rows[0][names.index('Position')], 'db', rows[0][names.index('DatabaseName')])
)").arg(sim.port()).arg(SimServer::password());
        const QString out = run("/usr/bin/python3", {"-c", script}, {});
        if (out.contains("No module named 'pytds'"))
            QSKIP("python3-tds is not installed");
        QVERIFY2(out.contains("sets 1 position 1 db SalesDemo"), qPrintable(out));
    }

    void browserAnswersItsInstanceOnly() {
        const quint16 udp = LoopbackPeers::freeUdpPort();
        SimServer announced;
        QVERIFY2(announced.start({"--browser-port", QString::number(udp), "--instance", "DEMO"}),
                 qPrintable(announced.errorString()));
        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress::LocalHost, 0));
        client.writeDatagram(QByteArray("\x04OTHER\0", 7), QHostAddress::LocalHost, udp);
        client.writeDatagram(QByteArray("garbage"), QHostAddress::LocalHost, udp);
        client.writeDatagram(QByteArray("\x04" "DEMO\0", 6), QHostAddress::LocalHost, udp);
        QVERIFY(client.waitForReadyRead(3000));
        QByteArray answer(int(client.pendingDatagramSize()), '\0');
        client.readDatagram(answer.data(), answer.size());
        QCOMPARE(quint8(answer[0]), quint8(0x05));
        QVERIFY(answer.contains("InstanceName;DEMO;"));
        QVERIFY(answer.contains(QStringLiteral("tcp;%1;").arg(announced.port()).toLatin1()));
        QVERIFY(!client.waitForReadyRead(300)); // nothing for the other instance or the garbage
    }

    void helpListsTheOptions() {
        const QString out = run(SimServer::executablePath(), {"--help"}, {});
        for (const char* option : {"--port", "--browser-port", "--instance", "--state", "--drive", "--login",
                                   "--seed", "--statement-log", "--delay-per-mb", "--fail", "--delay"})
            QVERIFY2(out.contains(QLatin1String(option)), option);
    }

    void statementLogNeverHoldsThePassword() {
        QVERIFY(!sim.statementRecords().isEmpty());
        QFile log(sim.statementLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(!log.readAll().contains(SimServer::password().toUtf8()));
        QVERIFY(!sim.output().contains(SimServer::password()));
    }

private:
    static QProcessEnvironment tsqlEnvironment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TDSVER", "7.4");
        return env;
    }

    SimServer sim;
};

QTEST_GUILESS_MAIN(TestTdsProtocol)
#include "tst_tds_protocol.moc"
