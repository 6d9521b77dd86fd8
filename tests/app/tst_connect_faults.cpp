// The connection panel under bad input and broken servers, and start-up discovery into the
// server box against a Browser responder of the test's own.

#include "MessageBox.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "WindowDriver.h"
#include "LoopbackPeers.h"
#include "ListItems.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace WindowDriver;

using namespace LoopbackPeers;

namespace {

QByteArray instanceRecord(const QByteArray& instance, int port) {
    return "ServerName;SIMHOST;InstanceName;" + instance + ";IsClustered;No;Version;16.0.1000.6;tcp;" +
           QByteArray::number(port) + ";;";
}

// Answers each request on a loopback UDP port with the next of the given datagrams. Runs on its
// own thread, since discovery blocks the test's thread while the window is being created.
class BrowserResponder : public QThread {
public:
    explicit BrowserResponder(QList<QByteArray> answers) : answers_(std::move(answers)) {}
    ~BrowserResponder() override {
        stop_ = true;
        wait();
    }
    quint16 startAndWaitForPort() {
        start();
        ready_.acquire();
        return port_;
    }
    int requests() const { return requests_; }

protected:
    void run() override {
        QUdpSocket socket;
        socket.bind(QHostAddress::LocalHost, 0);
        port_ = socket.localPort();
        ready_.release();
        int next = 0;
        while (!stop_) {
            if (!socket.waitForReadyRead(50))
                continue;
            while (socket.hasPendingDatagrams()) {
                QByteArray request(int(socket.pendingDatagramSize()), '\0');
                QHostAddress from;
                quint16 fromPort = 0;
                socket.readDatagram(request.data(), request.size(), &from, &fromPort);
                ++requests_;
                // Every answer goes out at once: discovery must skip the bad ones.
                for (; next < answers_.size(); ++next)
                    socket.writeDatagram(answers_[next], from, fromPort);
            }
        }
    }

private:
    QList<QByteArray> answers_;
    QSemaphore ready_;
    std::atomic<quint16> port_{0};
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
};

} // namespace

class TestConnectFaults : public QObject {
    Q_OBJECT
private slots:

    void discoveryListsTheBrowsersNamesInItsOrder_data() {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two instances, not sorted")
            << QList<QByteArray>{browserAnswer(instanceRecord("ZETA", 50001) + instanceRecord("ALPHA", 50002))}
            << QStringList{"127.0.0.1\\ZETA", "127.0.0.1\\ALPHA"};
        QTest::newRow("default instance by host name")
            << QList<QByteArray>{browserAnswer(instanceRecord("MSSQLSERVER", 1433) + instanceRecord("SIM", 50003))}
            << QStringList{"127.0.0.1", "127.0.0.1\\SIM"};
        QTest::newRow("duplicates kept")
            << QList<QByteArray>{browserAnswer(instanceRecord("SIM", 50003) + instanceRecord("SIM", 50003))}
            << QStringList{"127.0.0.1\\SIM", "127.0.0.1\\SIM"};
        QTest::newRow("garbage before a good answer")
            << QList<QByteArray>{QByteArray("\x04\x10\x00", 3) + instanceRecord("BAD", 1),
                                 browserAnswer(instanceRecord("GOOD", 50004))}
            << QStringList{"127.0.0.1\\GOOD"};
    }
    void discoveryListsTheBrowsersNamesInItsOrder() {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QStringList, names);
        BrowserResponder browser(answers);
        DiscoveryTargets t;
        t.browserPort = browser.startAndWaitForPort();
        t.defaultInstancePort = freeTcpPort();
        TFrmMain window(setupWith(t));
        ScopedMessageBoxRecorder boxes(&window);
        QCOMPARE(ListItems::texts(window.CmbServer), names);
        QCOMPARE(window.CmbServer->currentIndex(), 0);
        QCOMPARE(window.CmbServer->currentText(), names.first());
        QVERIFY(boxes.shown().isEmpty());
    }

    void garbageAnswersAddNothing_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("wrong type") << QByteArray("\x04") + browserAnswer(instanceRecord("X", 1)).mid(1);
        QTest::newRow("length says more") << browserAnswer(instanceRecord("X", 1)).chopped(4);
        QTest::newRow("length says less") << browserAnswer(instanceRecord("X", 1)) + "InstanceName;Y;;";
        QTest::newRow("control characters") << browserAnswer("ServerName;H;InstanceName;A\x01;;");
        QTest::newRow("no instance name") << browserAnswer("ServerName;H;tcp;1433;;");
        QTest::newRow("empty instance name") << browserAnswer("ServerName;H;InstanceName;;;");
        QTest::newRow("one byte") << QByteArray(1, '\x05');
    }
    void garbageAnswersAddNothing() {
        QFETCH(QByteArray, answer);
        BrowserResponder browser({answer});
        DiscoveryTargets t;
        t.browserPort = browser.startAndWaitForPort();
        t.defaultInstancePort = freeTcpPort();
        TFrmMain window(setupWith(t));
        ScopedMessageBoxRecorder boxes(&window);
        QCOMPARE(browser.requests(), 1);
        QCOMPARE(window.CmbServer->count(), 0);
        QVERIFY(window.CmbServer->currentText().isEmpty());
        QVERIFY(boxes.shown().isEmpty());
    }

    void discoveryDoesNotHoldUpStartUp() {
        // Neither probe gets an answer: a silent Browser port and a listener that never speaks.
        QUdpSocket silentBrowser;
        QVERIFY(silentBrowser.bind(QHostAddress::LocalHost, 0));
        QTcpServer silentServer;
        QVERIFY(silentServer.listen(QHostAddress::LocalHost, 0));
        DiscoveryTargets t;
        t.browserPort = silentBrowser.localPort();
        t.defaultInstancePort = silentServer.serverPort();
                QElapsedTimer clock;
        clock.start();
        TFrmMain window(setupWith(t));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(window.CmbServer->count(), 0);
    }

    void discoveryNeverAsksAnotherMachine() {
        // Documentation address (TEST-NET-1): discovery refuses before sending, silently.
        DiscoveryTargets t;
        t.host = QStringLiteral("192.0.2.1");
        TFrmMain window(setupWith(t));
        ScopedMessageBoxRecorder boxes(&window);
        QCOMPARE(window.CmbServer->count(), 0);
        QVERIFY(window.CmbServer->currentText().isEmpty());
        QVERIFY(boxes.shown().isEmpty());
    }

    void listenerThatNeverAnswersEndsInConnectFailed() {
        QTcpServer silent; // accepts (the kernel does) and never says a word
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()));
        window.EdtUid->setText(QStringLiteral("sa"));
        window.EdtPwd->setText(QStringLiteral("x"));
        QElapsedTimer clock;
        clock.start();
        window.BtnConn->click();
        const qint64 waited = clock.elapsed();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QCOMPARE(window.BtnConn->text(), QStringLiteral("连接(&C)"));
        QVERIFY(window.CmbServer->isEnabled() && window.EdtUid->isEnabled());
        QVERIFY(boxes.shown().isEmpty());
        // The login time-out of 10 s ends it; a little slack for a loaded machine.
        QVERIFY2(waited < 14000, qPrintable(QString::number(waited)));
    }

    void unknownInstanceEndsInConnectFailed() {
        // Resolved through the Browser on this machine only; no name lookup leaves it.
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1\\NO_SUCH_INSTANCE_%1").arg(freeTcpPort()));
        window.EdtUid->setText(QStringLiteral("sa"));
        window.EdtPwd->setText(QStringLiteral("x"));
        QElapsedTimer clock;
        clock.start();
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(boxes.shown().isEmpty());
        // With no Browser on UDP 1434 the driver asks it 16 times a second apart, whatever the
        // login time-out (measured: 16.0 s); bounded all the same, never a hang.
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }

    void oddCredentialsCannotAddKeywords_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("connects");
        const QString odd = QStringLiteral("p;UID=sa;PWD={x=y; '\"");
        QTest::newRow("separators in the password, right login") << "odd" << odd << true;
        QTest::newRow("the password cut at its first separator") << "odd" << "p" << false;
        QTest::newRow("a keyword smuggled after the user") << "nobody;UID=odd;PWD=" + odd << odd << false;
        QTest::newRow("a second password after the real one") << "sa" << "wrong;PWD=" + SimServer::password()
                                                                << false;
        QTest::newRow("a closing brace") << "odd" << "a}b;UID=sa" << false;
    }
    void oddCredentialsCannotAddKeywords() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, connects);
        SimServer sim;
        QVERIFY2(sim.start({"--seed", "--login", "odd:p;UID=sa;PWD={x=y; '\""}), qPrintable(sim.errorString()));
        TFrmMain window(quietSetup());
        ScopedMessageBoxRecorder boxes(&window);
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window.EdtUid->setText(user);
        window.EdtPwd->setText(password);
        window.BtnConn->click();
        QCOMPARE(window.connection()->Connected(), connects);
        QCOMPARE(window.lblDbInfo->text(),
                 connects ? QStringLiteral("已连接SQL SERVER服务器") : QStringLiteral("SQL SERVER服务器连接失败"));
        QVERIFY(boxes.shown().isEmpty());
        // The values went in unaltered: the boxes still hold them for another try.
        QCOMPARE(window.EdtUid->text(), user);
        QCOMPARE(window.EdtPwd->text(), password);
        if (connects) {
            QVERIFY(window.TabSheet1->LsbDB->count() > 0);
            QCOMPARE(sim.statementRecords().last()["login"].toString(), QStringLiteral("odd"));
        }
    }

    void reconnectAfterAFailureReusesTheSameConnection() {
        SimServer sim;
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        TFrmMain window(quietSetup());
        TADOConnection* const connection = window.connection();
        window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
        window.EdtUid->setText(SimServer::login());
        window.EdtPwd->setText(QStringLiteral("wrong"));
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
        window.EdtPwd->setText(SimServer::password());
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QCOMPARE(window.connection(), connection);
        window.BtnConn->click();
        window.BtnConn->click();
        QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
        QCOMPARE(window.connection(), connection);
        QVERIFY(window.TabSheet1->LsbDB->count() > 0);
    }
};

QTEST_MAIN(TestConnectFaults)
#include "tst_connect_faults.moc"
