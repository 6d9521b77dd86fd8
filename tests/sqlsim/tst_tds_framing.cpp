// The simulator's answers on the wire: progress messages leave at once in packets without EOM
// while a long statement runs, a cancel ends the response at a token boundary and is acknowledged
// in a message of its own, and prepared statements hand their handle back as an OUTPUT parameter.

#include "RawTdsClient.h"
#include "SimServer.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

namespace {

constexpr quint16 kDoneAttention = 0x0020;
constexpr quint16 kDoneMore = 0x0001;
constexpr int kProgress = 3211;

QByteArray bodies(const QList<RawTdsClient::Packet>& packets) {
    QByteArray all;
    for (const RawTdsClient::Packet& p : packets)
        all += p.body;
    return all;
}

} // namespace

class TestTdsFraming : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // SalesDemo's 4 MB take about 1.6 s at this pace.
        QVERIFY2(sim.start({"--seed", "--delay-per-mb", "400"}), qPrintable(sim.errorString()));
        QVERIFY(QDir().mkpath(sim.driveC() + "/Bak"));
    }

    void progressLeavesAsItHappens_data() {
        QTest::addColumn<QString>("stats");
        QTest::addColumn<QList<int>>("percents");
        QTest::newRow("every 25") << "WITH INIT, STATS = 25" << QList<int>{25, 50, 75, 100};
        QTest::newRow("STATS alone is every 10") << "WITH STATS" << QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    }
    void progressLeavesAsItHappens() {
        QFETCH(QString, stats);
        QFETCH(QList<int>, percents);
        RawTdsClient client;
        QVERIFY(client.login(sim.port(), SimServer::login(), SimServer::password()));
        client.sendBatch(QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\p.Bak' ") + stats);
        const QList<RawTdsClient::Packet> packets = client.readMessage();
        QVERIFY(!packets.isEmpty() && packets.last().endOfMessage());

        // One packet per progress message, each without EOM, numbered on from 1.
        QCOMPARE(packets.size(), percents.size() + 1);
        for (int i = 0; i < percents.size(); ++i) {
            QCOMPARE(packets[i].status, quint8(0x00));
            QCOMPARE(packets[i].id, quint8(i + 1));
            QCOMPARE(RawTdsClient::messageNumbers(packets[i].body), QList<int>{kProgress});
            const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(packets[i].body.constData() + 11),
                                                    QString::number(percents[i]).size());
            QCOMPARE(text, QString::number(percents[i]));
        }
        QCOMPARE(packets.last().id, quint8(percents.size() + 1));
        QCOMPARE(RawTdsClient::messageNumbers(packets.last().body), (QList<int>{4035, 4035, 3014}));
        QCOMPARE(RawTdsClient::finalDoneStatus(packets.last().body), 0);
        // The first step reaches the client long before the statement ends, not with the rest.
        QVERIFY2(packets.last().arrivedMs - packets.first().arrivedMs > 800,
                 qPrintable(QStringLiteral("first %1 ms, last %2 ms")
                                .arg(packets.first().arrivedMs)
                                .arg(packets.last().arrivedMs)));
    }

    void withoutStatsTheAnswerIsOneMessageAsBefore() {
        SimServer quick;
        QVERIFY2(quick.start({"--seed"}), qPrintable(quick.errorString()));
        RawTdsClient client;
        QVERIFY(client.login(quick.port(), SimServer::login(), SimServer::password()));
        client.sendBatch(QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\q.Bak' WITH INIT"));
        const QList<RawTdsClient::Packet> packets = client.readMessage();
        QCOMPARE(packets.size(), 1);
        QVERIFY(packets.first().endOfMessage());
        QCOMPARE(RawTdsClient::messageNumbers(packets.first().body), (QList<int>{4035, 4035, 3014}));
    }

    void cancelEndsTheResponseThenAcknowledgesItAlone() {
        RawTdsClient client;
        QVERIFY(client.login(sim.port(), SimServer::login(), SimServer::password()));
        client.sendBatch(
            QStringLiteral("Backup DataBase [SalesDemo] To Disk='C:\\Bak\\cancelled.Bak' WITH STATS = 10"));
        RawTdsClient::Packet first;
        QVERIFY(client.nextPacket(first, 5000));
        QVERIFY(!first.endOfMessage());
        QCOMPARE(RawTdsClient::messageNumbers(first.body), QList<int>{kProgress});
        const qint64 cancelledAt = client.elapsedMs();
        client.sendAttention();

        // The interrupted response still ends with an EOM packet whose DONE is final and is no
        // acknowledgement; the acknowledgement follows as a one-packet message of its own.
        const QList<RawTdsClient::Packet> rest = client.readMessage();
        QVERIFY(!rest.isEmpty() && rest.last().endOfMessage());
        const int endStatus = RawTdsClient::finalDoneStatus(bodies(rest));
        QVERIFY2(endStatus >= 0 && !(endStatus & (kDoneAttention | kDoneMore)), qPrintable(QString::number(endStatus)));
        QVERIFY(!RawTdsClient::messageNumbers(bodies(rest)).contains(3014));
        const QList<RawTdsClient::Packet> ack = client.readMessage();
        QCOMPARE(ack.size(), 1);
        QVERIFY(ack.first().endOfMessage());
        QCOMPARE(ack.first().id, quint8(1));
        QCOMPARE(ack.first().body.size(), 13);
        QCOMPARE(RawTdsClient::finalDoneStatus(ack.first().body), int(kDoneAttention));
        QVERIFY2(ack.first().arrivedMs - cancelledAt < 500,
                 qPrintable(QString::number(ack.first().arrivedMs - cancelledAt)));
        QVERIFY(client.silentFor(200));
        QVERIFY(!QFileInfo::exists(sim.driveC() + "/Bak/cancelled.Bak"));

        client.sendBatch(QStringLiteral("select db_name()"));
        const QList<RawTdsClient::Packet> next = client.readMessage();
        QVERIFY(!next.isEmpty() && next.last().endOfMessage());
        QCOMPARE(RawTdsClient::finalDoneStatus(bodies(next)) & ~0x0010, 0);
    }

    void attentionAfterTheAnswerIsStillAcknowledged() {
        RawTdsClient client;
        QVERIFY(client.login(sim.port(), SimServer::login(), SimServer::password()));
        client.sendBatch(QStringLiteral("select db_name()"));
        QVERIFY(!client.readMessage().isEmpty());
        client.sendAttention();
        const QList<RawTdsClient::Packet> ack = client.readMessage();
        QCOMPARE(ack.size(), 1);
        QCOMPARE(RawTdsClient::finalDoneStatus(ack.first().body), int(kDoneAttention));
        QVERIFY(client.silentFor(200));
    }

    void prepExecReturnsTheHandleAndExecuteReusesIt() {
        enum : quint16 { PrepExec = 13, Execute = 12, Unprepare = 15 };
        RawTdsClient client;
        QVERIFY(client.login(sim.port(), SimServer::login(), SimServer::password()));
        client.sendRpc(PrepExec, RawTdsClient::intParameter("@handle", std::nullopt, true) +
                                     RawTdsClient::textParameter("@params", std::nullopt) +
                                     RawTdsClient::textParameter("@stmt", QStringLiteral("select db_name()")));
        const QByteArray answer = bodies(client.readMessage());
        // ... row, DONEINPROC, RETURNSTATUS 0, RETURNVALUE @handle = 1 (32 bytes), final DONEPROC.
        constexpr int done = 13, value = 32, status = 5;
        QVERIFY(answer.size() > done + value + status);
        QCOMPARE(quint8(answer[answer.size() - done]), quint8(0xFE));
        QCOMPARE(answer.mid(answer.size() - done + 1, 2), QByteArray(2, '\0'));
        const QByteArray returnValue = answer.mid(answer.size() - done - value, value);
        QCOMPARE(quint8(returnValue[0]), quint8(0xAC));
        QCOMPARE(returnValue.mid(3, 1 + 14), QByteArray("\x07@\0h\0a\0n\0d\0l\0e\0", 15));
        QCOMPARE(returnValue.right(4), QByteArray::fromHex("01000000"));
        QCOMPARE(answer.mid(answer.size() - done - value - status, status), QByteArray::fromHex("7900000000"));
        QVERIFY(answer.contains(QByteArray("m\0a\0s\0t\0e\0r\0", 12)));

        client.sendRpc(Execute, RawTdsClient::intParameter("@handle", 1));
        QVERIFY(bodies(client.readMessage()).contains(QByteArray("m\0a\0s\0t\0e\0r\0", 12)));
        client.sendRpc(Unprepare, RawTdsClient::intParameter("@handle", 1));
        QCOMPARE(RawTdsClient::messageNumbers(bodies(client.readMessage())), QList<int>{});
        client.sendRpc(Execute, RawTdsClient::intParameter("@handle", 1));
        QCOMPARE(RawTdsClient::messageNumbers(bodies(client.readMessage())), QList<int>{8179});
    }

private:
    SimServer sim;
};

QTEST_GUILESS_MAIN(TestTdsFraming)
#include "tst_tds_framing.moc"
