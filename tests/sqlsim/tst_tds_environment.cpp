// What a client learns of its session from the token stream, read off the wire by a bare TDS
// client: the database and language notices, the negotiated packet size, the state of errors.

#include "SimServer.h"

#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

namespace {

struct Token {
    quint8 type = 0;
    int envType = 0; // ENVCHANGE
    QString newValue;
    QString oldValue;
    int number = 0; // INFO, ERROR
    int state = 0;
    QString text;
};

// Just enough of a TDS 7.4 client: LOGIN7 without pre-login, SQL batches, and the tokens that
// carry no result set (a response with one stops at its first COLMETADATA).
class BareClient {
public:
    bool connect(quint16 port) {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        return socket_.waitForConnected(3000);
    }

    QList<Token> login(quint32 packetSize) {
        const QString user = SimServer::login();
        QByteArray password(reinterpret_cast<const char*>(SimServer::password().utf16()),
                            SimServer::password().size() * 2);
        for (char& c : password) {
            const quint8 b = quint8(c);
            c = char(quint8((b << 4) | (b >> 4)) ^ 0xA5);
        }
        constexpr int fixed = 94;
        QByteArray record(fixed, '\0');
        const QByteArray userBytes(reinterpret_cast<const char*>(user.utf16()), user.size() * 2);
        qToLittleEndian<quint32>(quint32(fixed + userBytes.size() + password.size()), record.data());
        qToLittleEndian<quint32>(0x74000004, record.data() + 4);
        qToLittleEndian<quint32>(packetSize, record.data() + 8);
        // Every other string empty, at the end of the record (72 is the client id, not an offset).
        for (int field : {36, 48, 52, 56, 60, 64, 68, 78, 82, 86})
            qToLittleEndian<quint16>(quint16(fixed + userBytes.size() + password.size()), record.data() + field);
        qToLittleEndian<quint16>(fixed, record.data() + 40);
        qToLittleEndian<quint16>(quint16(user.size()), record.data() + 42);
        qToLittleEndian<quint16>(quint16(fixed + userBytes.size()), record.data() + 44);
        qToLittleEndian<quint16>(quint16(SimServer::password().size()), record.data() + 46);
        return request(0x10, record + userBytes + password);
    }

    QList<Token> batch(const QString& sql) {
        QByteArray headers(22, '\0'); // ALL_HEADERS with one transaction descriptor header
        qToLittleEndian<quint32>(22, headers.data());
        qToLittleEndian<quint32>(18, headers.data() + 4);
        qToLittleEndian<quint16>(2, headers.data() + 8);
        qToLittleEndian<quint32>(1, headers.data() + 18);
        return request(0x01, headers + QByteArray(reinterpret_cast<const char*>(sql.utf16()), sql.size() * 2));
    }

    // The length of every packet of the last response, header included.
    QList<int> packetLengths;

private:
    QList<Token> request(quint8 type, const QByteArray& payload) {
        // In packets of the negotiated size, the last one marked as the end of the message.
        for (qsizetype at = 0; at == 0 || at < payload.size(); at += packetSize_ - 8) {
            const QByteArray part = payload.mid(at, packetSize_ - 8);
            QByteArray header(8, '\0');
            header[0] = char(type);
            header[1] = at + part.size() >= payload.size() ? 1 : 0;
            qToBigEndian<quint16>(quint16(part.size() + 8), header.data() + 2);
            socket_.write(header + part);
        }
        const QList<Token> answer = tokens(readMessage());
        for (const Token& t : answer)
            if (t.type == 0xE3 && t.envType == 4)
                packetSize_ = t.newValue.toInt();
        return answer;
    }

    bool readExactly(QByteArray& out, int size) {
        while (socket_.bytesAvailable() < size)
            if (!socket_.waitForReadyRead(5000))
                return false;
        out = socket_.read(size);
        return true;
    }

    QByteArray readMessage() {
        packetLengths.clear();
        QByteArray message;
        for (;;) {
            QByteArray header, body;
            if (!readExactly(header, 8))
                return message;
            const int length = qFromBigEndian<quint16>(header.constData() + 2);
            packetLengths << length;
            if (length < 8 || !readExactly(body, length - 8))
                return message;
            message += body;
            if (header[1] & 1)
                return message;
        }
    }

    static QString utf16(const QByteArray& bytes, int at, int chars) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + at), chars);
    }

    static QList<Token> tokens(const QByteArray& m) {
        QList<Token> out;
        int at = 0;
        while (at < m.size()) {
            Token t;
            t.type = quint8(m[at]);
            const int length = at + 3 <= m.size() ? qFromLittleEndian<quint16>(m.constData() + at + 1) : 0;
            const int body = at + 3;
            switch (t.type) {
            case 0xE3: {
                t.envType = quint8(m[body]);
                if (t.envType == 1 || t.envType == 2 || t.envType == 4) {
                    const int newChars = quint8(m[body + 1]);
                    t.newValue = utf16(m, body + 2, newChars);
                    t.oldValue = utf16(m, body + 3 + newChars * 2, quint8(m[body + 2 + newChars * 2]));
                }
                at = body + length;
                break;
            }
            case 0xAA:
            case 0xAB:
                t.number = int(qFromLittleEndian<quint32>(m.constData() + body));
                t.state = quint8(m[body + 4]);
                t.text = utf16(m, body + 8, qFromLittleEndian<quint16>(m.constData() + body + 6));
                at = body + length;
                break;
            case 0xAD:
                at = body + length;
                break;
            case 0xFD:
            case 0xFE:
            case 0xFF:
                at += 13;
                break;
            case 0x79:
                at += 5;
                break;
            default:
                out << t;
                return out; // a result set: not read here
            }
            out << t;
        }
        return out;
    }

    QTcpSocket socket_;
    int packetSize_ = 4096;
};

QList<Token> envChanges(const QList<Token>& tokens, int type) {
    QList<Token> out;
    for (const Token& t : tokens)
        if (t.type == 0xE3 && t.envType == type)
            out << t;
    return out;
}

// Token types in order, ENVCHANGEs with their type: "E3/1 AB FD".
QString shape(const QList<Token>& tokens) {
    QStringList out;
    for (const Token& t : tokens)
        out << QString::number(t.type, 16).toUpper() + (t.type == 0xE3 ? "/" + QString::number(t.envType) : QString());
    return out.join(u' ');
}

} // namespace

class TestTdsEnvironment : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(sim_.start({"--seed"}), qPrintable(sim_.errorString())); }

    void packetSizeIsNegotiated_data() {
        QTest::addColumn<quint32>("requested");
        QTest::addColumn<int>("granted");
        QTest::newRow("zero: the server's choice") << 0u << 4096;
        QTest::newRow("below the minimum") << 100u << 512;
        QTest::newRow("as asked") << 8192u << 8192;
        QTest::newRow("above the maximum") << 65536u << 32767;
    }
    void packetSizeIsNegotiated() {
        QFETCH(quint32, requested);
        QFETCH(int, granted);
        BareClient client;
        QVERIFY(client.connect(sim_.port()));
        const QList<Token> answer = envChanges(client.login(requested), 4);
        QCOMPARE(answer.size(), 1);
        QCOMPARE(answer.front().newValue, QString::number(granted));

        // A response longer than a packet comes in packets of exactly that size but the last.
        const QList<Token> failed = client.batch("RESTORE HEADERONLY FROM DISK = N'C:\\" + QString(20000, u'x') + "'");
        QVERIFY(!failed.isEmpty() && failed.front().number == 3201);
        QVERIFY(client.packetLengths.size() > 1);
        for (qsizetype i = 0; i + 1 < client.packetLengths.size(); ++i)
            QCOMPARE(client.packetLengths.at(i), granted);
        QVERIFY(client.packetLengths.last() <= granted);
    }

    void useAndSetLanguageAnnounceTheChange_data() {
        QTest::addColumn<QStringList>("batches");
        QTest::addColumn<int>("envType");
        QTest::addColumn<QString>("newValue");
        QTest::addColumn<QString>("oldValue");
        QTest::addColumn<int>("message");
        QTest::newRow("use") << QStringList{"USE [SalesDemo]"} << 1 << "SalesDemo" << "master" << 5701;
        QTest::newRow("use, name in other case") << QStringList{"use salesdemo"} << 1 << "SalesDemo" << "master" << 5701;
        QTest::newRow("use twice") << QStringList{"USE [库存管理]", "USE master"} << 1 << "master" << "库存管理" << 5701;
        QTest::newRow("use the same") << QStringList{"USE master"} << 1 << "master" << "master" << 5701;
        QTest::newRow("language") << QStringList{"SET LANGUAGE us_english"} << 2 << "us_english" << "us_english"
                                  << 5703;
        QTest::newRow("language twice") << QStringList{"SET LANGUAGE Deutsch", "SET LANGUAGE us_english"} << 2
                                        << "us_english" << "Deutsch" << 5703;
    }
    void useAndSetLanguageAnnounceTheChange() {
        QFETCH(QStringList, batches);
        QFETCH(int, envType);
        QFETCH(QString, newValue);
        QFETCH(QString, oldValue);
        QFETCH(int, message);
        BareClient client;
        QVERIFY(client.connect(sim_.port()));
        QVERIFY(!envChanges(client.login(4096), 1).isEmpty());
        QList<Token> last;
        for (const QString& sql : batches)
            last = client.batch(sql);
        // The notice comes before the message, as in the login response.
        QCOMPARE(shape(last), QString("E3/%1 AB FD").arg(envType));
        QCOMPARE(last.at(0).newValue, newValue);
        QCOMPARE(last.at(0).oldValue, oldValue);
        QCOMPARE(last.at(1).number, message);
    }

    void failedUseAnnouncesNothing() {
        BareClient client;
        QVERIFY(client.connect(sim_.port()));
        client.login(4096);
        const QList<Token> answer = client.batch("USE [NoSuchDatabase]");
        QVERIFY(envChanges(answer, 1).isEmpty());
        QCOMPARE(answer.front().number, 911);
    }

    // Opening a device to read it fails with state 2; creating one for a backup with state 1.
    void backupDeviceErrorsSayWhetherOpeningOrCreating_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("state");
        QTest::newRow("header of a missing file") << "RESTORE HEADERONLY FROM DISK = N'C:\\none.bak'" << 2;
        QTest::newRow("file list in a missing directory")
            << "RESTORE FILELISTONLY FROM DISK = N'C:\\NoDir\\none.bak'" << 2;
        QTest::newRow("restore from a missing file")
            << "RESTORE DATABASE [SalesDemo] FROM DISK = N'C:\\none.bak' WITH REPLACE" << 2;
        QTest::newRow("backup into a missing directory")
            << "BACKUP DATABASE [SalesDemo] TO DISK = N'C:\\NoDir\\x.bak'" << 1;
    }
    void backupDeviceErrorsSayWhetherOpeningOrCreating() {
        QFETCH(QString, sql);
        QFETCH(int, state);
        BareClient client;
        QVERIFY(client.connect(sim_.port()));
        client.login(4096);
        const QList<Token> answer = client.batch(sql);
        QVERIFY(!answer.isEmpty());
        QCOMPARE(answer.front().number, 3201);
        QCOMPARE(answer.front().state, state);
    }

private:
    SimServer sim_;
};

QTEST_GUILESS_MAIN(TestTdsEnvironment)
#include "tst_tds_environment.moc"
