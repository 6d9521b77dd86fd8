// TDS framing and the PRELOGIN answer as the probe reads them from a possibly hostile server.
#include "TdsPrelogin.h"

#include <QTest>

using namespace TdsPrelogin;

class TestTdsPrelogin : public QObject {
    Q_OBJECT

private slots:
    void ourRequestOffersWhatWeAsk() {
        QCOMPARE(encryptionOf(request(EncryptOn)), std::optional<quint8>(EncryptOn));
        QCOMPARE(encryptionOf(request(EncryptOff)), std::optional<quint8>(EncryptOff));
    }

    void longMessagesSplitIntoPacketsAndJoinAgain() {
        QByteArray payload(10000, 'x');
        for (int i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7);
        QByteArray wire = frame(kPreloginPacket, payload) + "next";
        QCOMPARE(wire.size(), 10000 + 3 * 8 + 4);
        QCOMPARE(quint8(wire[1]), quint8(0)); // first packet: more follows
        Message message;
        QByteArray partial = wire.left(9000);
        QCOMPARE(takeMessage(partial, message), Take::NeedMore);
        QCOMPARE(partial.size(), 9000);
        QCOMPARE(takeMessage(wire, message), Take::Complete);
        QCOMPARE(message.type, kPreloginPacket);
        QCOMPARE(message.payload, payload);
        QCOMPARE(wire, QByteArray("next"));
    }

    void malformedFramesAreRefused_data() {
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("length below the header") << QByteArray("\x04\x01\x00\x07\x00\x00\x01\x00", 8);
        QTest::newRow("packets of two types") << QByteArray("\x12\x00\x00\x09\x00\x00\x01\x00"
                                                            "a"
                                                            "\x04\x01\x00\x09\x00\x00\x02\x00"
                                                            "b",
                                                            18);
        QByteArray endless;
        for (int i = 0; i < 70; ++i)
            endless += QByteArray("\x12\x00\x10\x00\x00\x00\x01\x00", 8) + QByteArray(4088, 'z');
        QTest::newRow("message beyond any certificate chain") << endless;
    }

    void malformedFramesAreRefused() {
        QFETCH(QByteArray, wire);
        Message message;
        QCOMPARE(takeMessage(wire, message), Take::Malformed);
    }

    void encryptionAnswer_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("expected"); // -1: unreadable
        const QByteArray version("\x00\x00\x0B\x00\x06", 5);
        QTest::newRow("real server answer") << version + QByteArray("\x01\x00\x11\x00\x01\xFF"
                                                                    "\x10\x00\x00\x00\x00\x00"
                                                                    "\x03",
                                                                    13)
                                            << 3;
        QTest::newRow("no encryption option") << QByteArray("\x00\x00\x06\x00\x00\xFF", 6) << -1;
        QTest::newRow("no terminator") << QByteArray("\x01\x00\x05\x00\x01", 5) << -1;
        QTest::newRow("offset past the end") << QByteArray("\x01\x00\x40\x00\x01\xFF", 6) << -1;
        QTest::newRow("empty encryption value") << QByteArray("\x01\x00\x06\x00\x00\xFF", 6) << -1;
        QTest::newRow("two encryption options")
            << QByteArray("\x01\x00\x0B\x00\x01\x01\x00\x0B\x00\x01\xFF\x00", 12) << -1;
        QTest::newRow("empty") << QByteArray() << -1;
    }

    void encryptionAnswer() {
        QFETCH(QByteArray, payload);
        QFETCH(int, expected);
        const auto value = encryptionOf(payload);
        QCOMPARE(value ? int(*value) : -1, expected);
    }
};

QTEST_GUILESS_MAIN(TestTdsPrelogin)
#include "tst_tds_prelogin.moc"
