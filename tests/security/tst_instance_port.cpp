// The named instance's port from the SQL Server Browser: the answer's record for that instance,
// asked of a Browser stand-in on loopback.
#include "InstancePort.h"
#include "LoopbackPeers.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

namespace {

const QByteArray kTwoInstances =
    "ServerName;DB01;InstanceName;MSSQLSERVER;IsClustered;No;Version;16.0.1000.6;tcp;1433;;"
    "ServerName;DB01;InstanceName;SQLEXPRESS;IsClustered;No;Version;15.0.2000.5;tcp;49172;;";

// Answers one CLNT_UCAST_INST request with the given records, from its own thread.
class BrowserStandIn : public QThread {
public:
    explicit BrowserStandIn(QByteArray records) : records_(std::move(records)) {
        socket_.bind(QHostAddress::LocalHost, 0);
        port_ = socket_.localPort();
        socket_.moveToThread(this);
        start();
    }
    ~BrowserStandIn() override { wait(); }
    quint16 port() const { return port_; }
    QByteArray request() const { return request_; }

protected:
    void run() override {
        if (!socket_.waitForReadyRead(3000))
            return;
        QHostAddress from;
        quint16 fromPort = 0;
        request_.resize(512);
        request_.resize(socket_.readDatagram(request_.data(), request_.size(), &from, &fromPort));
        socket_.writeDatagram(LoopbackPeers::browserAnswer(records_), from, fromPort);
    }

private:
    QUdpSocket socket_;
    QByteArray records_;
    QByteArray request_;
    quint16 port_ = 0;
};

} // namespace

class TestInstancePort : public QObject {
    Q_OBJECT

private slots:
    void portOfTheNamedInstance_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<int>("port"); // 0: none
        QTest::newRow("second record") << LoopbackPeers::browserAnswer(kTwoInstances) << "sqlexpress" << 49172;
        QTest::newRow("default instance") << LoopbackPeers::browserAnswer(kTwoInstances) << "MSSQLSERVER" << 1433;
        QTest::newRow("not listed") << LoopbackPeers::browserAnswer(kTwoInstances) << "OTHER" << 0;
        QTest::newRow("no tcp") << LoopbackPeers::browserAnswer("InstanceName;SQLEXPRESS;np;\\\\DB01\\pipe;;")
                                << "SQLEXPRESS" << 0;
        QTest::newRow("port out of range")
            << LoopbackPeers::browserAnswer("InstanceName;SQLEXPRESS;tcp;70000;;") << "SQLEXPRESS" << 0;
        QTest::newRow("another instance's port is not taken")
            << LoopbackPeers::browserAnswer("InstanceName;A;tcp;1500;;InstanceName;SQLEXPRESS;;") << "SQLEXPRESS" << 0;
        QByteArray wrongLength = LoopbackPeers::browserAnswer(kTwoInstances);
        wrongLength.chop(1);
        QTest::newRow("length disagrees") << wrongLength << "SQLEXPRESS" << 0;
        QTest::newRow("control character")
            << LoopbackPeers::browserAnswer("InstanceName;SQLEXPRESS;tcp;1\n5;;") << "SQLEXPRESS" << 0;
    }

    void portOfTheNamedInstance() {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, instance);
        QFETCH(int, port);
        const auto found = InstancePort::parseAnswer(datagram, instance);
        QCOMPARE(found ? int(*found) : 0, port);
    }

    void asksTheBrowserForThatInstance() {
        BrowserStandIn browser(kTwoInstances);
        QCOMPARE(InstancePort::ask(QStringLiteral("127.0.0.1"), QStringLiteral("SQLEXPRESS"), browser.port()),
                 std::optional<quint16>(49172));
        browser.wait();
        QCOMPARE(browser.request(), QByteArray("\x04SQLEXPRESS\0", 12));
    }

    void noBrowserIsKnownAtOnce() {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(
            !InstancePort::ask(QStringLiteral("127.0.0.1"), QStringLiteral("X"), LoopbackPeers::freeUdpPort(), 3000));
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestInstancePort)
#include "tst_instance_port.moc"
