// Server discovery: the Browser answer parser, and the whole discovery against the simulator's
// Browser responder and against responders that answer garbage or nothing.

#include "ServerDiscovery.h"
#include "SimServer.h"
#include "LoopbackPeers.h"

#include <QElapsedTimer>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <future>
#include <thread>

using namespace LoopbackPeers;

namespace {

QStringList discover(const DiscoveryTargets& targets, bool* complete = nullptr) {
    QStringList names;
    try {
        ListAvailableSQLServers([&](const QString& n) { names.append(n); }, targets);
        if (complete)
            *complete = true;
    } catch (const EDiscoveryError&) {
        if (complete)
            *complete = false;
    }
    return names;
}

} // namespace

class TestServerDiscovery : public QObject {
    Q_OBJECT
private slots:
    void parsesBrowserAnswers_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("names");
        const QByteArray one = "ServerName;BOX;InstanceName;SQLEXPRESS;IsClustered;No;Version;15.0.2000.5;tcp;1500;;";
        const QByteArray def = "ServerName;BOX;InstanceName;MSSQLSERVER;IsClustered;No;Version;15.0.2000.5;tcp;1433;;";
        QTest::newRow("named instance") << browserAnswer(one) << QStringList{"127.0.0.1\\SQLEXPRESS"};
        QTest::newRow("default instance") << browserAnswer(def) << QStringList{"127.0.0.1"};
        QTest::newRow("two instances in order")
            << browserAnswer(one + def) << QStringList{"127.0.0.1\\SQLEXPRESS", "127.0.0.1"};
        QTest::newRow("truncated") << browserAnswer(one).left(20) << QStringList{};
        QTest::newRow("length beyond the datagram") << (browserAnswer(one) + "extra") << QStringList{};
        QTest::newRow("wrong type byte") << ("\x06" + browserAnswer(one).mid(1)) << QStringList{};
        QTest::newRow("control characters") << browserAnswer("ServerName;B\x01;InstanceName;X;;") << QStringList{};
        QTest::newRow("empty") << QByteArray() << QStringList{};
        QTest::newRow("no instance name") << browserAnswer("ServerName;BOX;tcp;1;;") << QStringList{};
    }
    void parsesBrowserAnswers() {
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, names);
        QCOMPARE(parseBrowserAnswer(datagram, "127.0.0.1"), names);
    }

    void findsTheSimulatorThroughItsBrowserResponder() {
        SimServer sim;
        const quint16 udp = freeUdpPort();
        QVERIFY2(sim.start({"--browser-port", QString::number(udp), "--instance", "SQLSIM"}),
                 qPrintable(sim.errorString()));
        DiscoveryTargets targets;
        targets.browserPort = udp;
        targets.defaultInstancePort = freeTcpPort();
        bool complete = false;
        QCOMPARE(discover(targets, &complete), QStringList{"127.0.0.1\\SQLSIM"});
        QVERIFY(complete);
    }

    void probesTheDefaultInstanceOnce() {
        SimServer sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        DiscoveryTargets targets;
        targets.browserPort = freeUdpPort(); // nobody answers there
        targets.defaultInstancePort = sim.port();
        QCOMPARE(discover(targets), QStringList{"127.0.0.1"});
    }

    void garbageAnswersAddNothing_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("oversized length") << QByteArray("\x05\xff\xffgarbage");
        QTest::newRow("truncated header") << QByteArray("\x05");
        QTest::newRow("binary text") << browserAnswer(QByteArray("InstanceName;\x00\x01;;", 18));
        QTest::newRow("huge datagram") << QByteArray(60000, 'x');
    }
    void garbageAnswersAddNothing() {
        QFETCH(QByteArray, reply);
        // The responder answers from its own thread, since discovery blocks this one.
        std::promise<quint16> bound;
        std::atomic<int> requests{0};
        std::thread responder([&] {
            QUdpSocket socket;
            socket.bind(QHostAddress::LocalHost, 0);
            bound.set_value(socket.localPort());
            if (!socket.waitForReadyRead(3000))
                return;
            QHostAddress from;
            quint16 port = 0;
            QByteArray d(int(socket.pendingDatagramSize()), '\0');
            socket.readDatagram(d.data(), d.size(), &from, &port);
            ++requests;
            socket.writeDatagram(reply, from, port);
            socket.waitForBytesWritten(1000);
        });
        DiscoveryTargets targets;
        targets.browserPort = bound.get_future().get();
        targets.defaultInstancePort = freeTcpPort();
        bool complete = false;
        const QStringList names = discover(targets, &complete);
        responder.join();
        QCOMPARE(requests.load(), 1);
        QVERIFY(names.isEmpty());
        QVERIFY(complete); // garbage is not a failure, just no server
    }

    void nothingAnsweringCostsLessThanHalfASecond() {
        DiscoveryTargets targets;
        targets.browserPort = freeUdpPort();
        targets.defaultInstancePort = freeTcpPort();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(discover(targets).isEmpty());
        QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
    }

    // Port unreachable ends the wait for the Browser: no local Browser must not cost the time-out.
    void anUnboundBrowserPortEndsTheWaitAtOnce() {
        DiscoveryTargets targets;
        targets.browserPort = freeUdpPort();
        targets.defaultInstancePort = freeTcpPort();
        targets.timeoutMs = 60000;
        QElapsedTimer timer;
        timer.start();
        bool complete = false;
        QVERIFY(discover(targets, &complete).isEmpty());
        QVERIFY(complete);
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    }

    // A Browser port that is bound but silent is still given its whole time-out.
    void aSilentBrowserIsWaitedForUntilTheTimeOut() {
        QUdpSocket silent;
        QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
        DiscoveryTargets targets;
        targets.browserPort = silent.localPort();
        targets.defaultInstancePort = freeTcpPort();
        targets.timeoutMs = 300;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(discover(targets).isEmpty());
        QVERIFY2(timer.elapsed() >= 250, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestServerDiscovery)
#include "tst_server_discovery.moc"
