// The pre-login certificate probe against a TLS-speaking stand-in server: the certificate it
// brings back, the trust verdict, the failure kinds, and that nothing follows the handshake.
#include "CertificateProbe.h"
#include "FakeTlsServer.h"
#include "TdsPrelogin.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <utility>

Q_DECLARE_METATYPE(ProbeFailure)

class TestCertificateProbe : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        TestCertificateSpec caSpec;
        caSpec.commonName = QStringLiteral("Test CA");
        caSpec.isCa = true;
        caDer_ = TestCertificates::make(caKey_, caSpec);
        caFile_ = dir_.filePath(QStringLiteral("ca.pem"));
        QFile ca(caFile_);
        QVERIFY(ca.open(QIODevice::WriteOnly));
        ca.write(CertificateReader::fromDer(caDer_)->pem());
        ca.close();

        TestCertificateSpec signedSpec;
        signedSpec.commonName = QStringLiteral("localhost");
        signedSpec.ipAddresses = {QStringLiteral("127.0.0.1")};
        signedDer_ = TestCertificates::make(serverKey_, signedSpec, &caKey_, caDer_);
        TestCertificateSpec otherName;
        otherName.commonName = QStringLiteral("db99.example");
        otherName.dnsNames = {QStringLiteral("db99.example")};
        wrongNameDer_ = TestCertificates::make(serverKey_, otherName, &caKey_, caDer_);
        TestCertificateSpec selfSpec;
        selfSpec.commonName = QStringLiteral("SSL_Self_Signed_Fallback");
        selfSignedDer_ = TestCertificates::make(serverKey_, selfSpec);
    }

    void bringsBackTheCertificateAndTheVerdict_data() {
        QTest::addColumn<QByteArray>("certificate");
        QTest::addColumn<quint8>("answer");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("signed by the CA, login-only encryption") << signedDer_ << quint8(0x00) << false << true;
        QTest::newRow("signed by the CA, encryption on") << signedDer_ << quint8(0x01) << false << true;
        QTest::newRow("signed by the CA, encryption required") << signedDer_ << quint8(0x03) << false << true;
        QTest::newRow("signed by the CA, strict") << signedDer_ << quint8(0) << true << true;
        QTest::newRow("self-signed") << selfSignedDer_ << quint8(0x00) << false << false;
        QTest::newRow("self-signed, strict") << selfSignedDer_ << quint8(0) << true << false;
        QTest::newRow("signed for another host") << wrongNameDer_ << quint8(0x01) << false << false;
    }

    void bringsBackTheCertificateAndTheVerdict() {
        QFETCH(QByteArray, certificate);
        QFETCH(quint8, answer);
        QFETCH(bool, strict);
        QFETCH(bool, trusted);
        FakeServerSetup setup;
        setup.mode = strict ? FakeServerSetup::Mode::Strict : FakeServerSetup::Mode::Tunnelled;
        setup.preloginEncryption = answer;
        setup.certificateDer = certificate;
        setup.key = &serverKey_;
        FakeTlsServer server(setup);

        const ProbeResult result = CertificateProbe::run(request(server.port(), strict));
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QVERIFY(result.certificate);
        QCOMPARE(result.certificate->der, certificate);
        QCOMPARE(result.trusted, trusted);
        QCOMPARE(result.verifyError.isEmpty(), trusted);
        QCOMPARE(result.serverEncryption.has_value(), !strict);
        // The server saw a finished handshake and nothing after it: no LOGIN7, no password.
        QTRY_VERIFY(server.handshakeDone());
        if (strict)
            QCOMPARE(server.offeredAlpn(), QByteArray("\x07tds/8.0"));
        QCOMPARE(server.received(), QByteArray());
    }

    void rewrittenCaFileIsReadAgain() {
        // The probe keeps the trust store it read; a CA file replaced in place must not leave
        // the old verdict behind.
        const QString path = dir_.filePath(QStringLiteral("rewritten.pem"));
        FakeTlsServer server(tunnelledWithSignedCertificate());
        ProbeRequest probe = request(server.port(), false);
        probe.caFile = path;
        for (const auto& [ca, trusted] : {std::pair{caDer_, true}, std::pair{selfSignedDer_, false}, std::pair{caDer_, true}}) {
            QVERIFY(writePem(path, ca));
            const ProbeResult result = CertificateProbe::run(probe);
            QVERIFY2(result.ok(), qPrintable(result.detail));
            QCOMPARE(result.trusted, trusted);
        }
    }

    void systemTrustFromAHashedDirectory() {
        // Without a CA file the probe judges by the system's store; a directory of hashed links
        // (as `openssl rehash` makes) is enough, and pointing SSL_CERT_DIR elsewhere is noticed.
        QTemporaryDir withCa, without;
        QVERIFY(withCa.isValid() && without.isValid());
        const auto placeUnderHash = [](const QString& dir, const QByteArray& der) {
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(der.constData());
            X509* x509 = d2i_X509(nullptr, &bytes, long(der.size()));
            const unsigned long hash = X509_subject_name_hash(x509);
            X509_free(x509);
            return writePem(dir + QStringLiteral("/%1.0").arg(hash, 8, 16, QLatin1Char('0')), der);
        };
        QVERIFY(placeUnderHash(withCa.path(), caDer_));
        QVERIFY(placeUnderHash(without.path(), selfSignedDer_));
        FakeTlsServer server(tunnelledWithSignedCertificate());
        ProbeRequest probe = request(server.port(), false);
        probe.caFile.clear();
        const QByteArray savedFile = qgetenv("SSL_CERT_FILE"), savedDir = qgetenv("SSL_CERT_DIR");
        qunsetenv("SSL_CERT_FILE");
        for (const auto& [dir, trusted] : {std::pair{withCa.path(), true}, std::pair{without.path(), false}}) {
            qputenv("SSL_CERT_DIR", dir.toLocal8Bit());
            const ProbeResult result = CertificateProbe::run(probe);
            QVERIFY2(result.ok(), qPrintable(result.detail));
            QCOMPARE(result.trusted, trusted);
        }
        if (savedDir.isNull())
            qunsetenv("SSL_CERT_DIR");
        else
            qputenv("SSL_CERT_DIR", savedDir);
        if (!savedFile.isNull())
            qputenv("SSL_CERT_FILE", savedFile);
    }

    void failuresComeBackByKind_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<quint8>("answer");
        QTest::addColumn<int>("serverMin");
        QTest::addColumn<int>("serverMax");
        QTest::addColumn<int>("clientMin");
        QTest::addColumn<int>("clientMax");
        QTest::addColumn<ProbeFailure>("failure");
        const int tunnelled = int(FakeServerSetup::Mode::Tunnelled);
        QTest::newRow("server without encryption")
            << tunnelled << quint8(0x02) << 0 << 0 << 0 << 0 << ProbeFailure::NoTls;
        QTest::newRow("server only TLS 1.3, client at most 1.2")
            << tunnelled << quint8(0x00) << TLS1_3_VERSION << 0 << 0 << TLS1_2_VERSION << ProbeFailure::VersionOrCipher;
        QTest::newRow("server at most 1.2, client only 1.3")
            << tunnelled << quint8(0x00) << 0 << TLS1_2_VERSION << TLS1_3_VERSION << 0 << ProbeFailure::VersionOrCipher;
        QTest::newRow("strict, version mismatch") << int(FakeServerSetup::Mode::Strict) << quint8(0) << TLS1_3_VERSION
                                                  << 0 << 0 << TLS1_2_VERSION << ProbeFailure::VersionOrCipher;
        QTest::newRow("server hangs up in the handshake")
            << int(FakeServerSetup::Mode::HangUpInHandshake) << quint8(0x00) << 0 << 0 << 0 << 0
            << ProbeFailure::BrokenHandshake;
        QTest::newRow("not a TDS server")
            << int(FakeServerSetup::Mode::Garbage) << quint8(0) << 0 << 0 << 0 << 0 << ProbeFailure::NotTds;
    }

    void failuresComeBackByKind() {
        QFETCH(int, mode);
        QFETCH(quint8, answer);
        QFETCH(int, serverMin);
        QFETCH(int, serverMax);
        QFETCH(int, clientMin);
        QFETCH(int, clientMax);
        QFETCH(ProbeFailure, failure);
        FakeServerSetup setup;
        setup.mode = FakeServerSetup::Mode(mode);
        setup.preloginEncryption = answer;
        setup.certificateDer = signedDer_;
        setup.key = &serverKey_;
        setup.minTlsVersion = serverMin;
        setup.maxTlsVersion = serverMax;
        FakeTlsServer server(setup);

        ProbeRequest probe = request(server.port(), setup.mode == FakeServerSetup::Mode::Strict);
        probe.minTlsVersion = clientMin;
        probe.maxTlsVersion = clientMax;
        const ProbeResult result = CertificateProbe::run(probe);
        QCOMPARE(result.failure, failure);
        QVERIFY(!result.detail.isEmpty());
        QVERIFY(!result.certificate);
    }

    void closedPortIsANetworkFailureAtOnce() {
        quint16 port = 0;
        {
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost, 0));
            port = server.serverPort();
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(CertificateProbe::run(request(port, false)).failure, ProbeFailure::Network);
        QVERIFY(clock.elapsed() < 1000);
    }

    void silentServerFailsAtTheDeadline() {
        QTcpServer silent; // accepts (the kernel does) and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        ProbeRequest probe = request(silent.serverPort(), false);
        probe.timeoutMs = 300;
        QElapsedTimer clock;
        clock.start();
        const ProbeResult result = CertificateProbe::run(probe);
        QCOMPARE(result.failure, ProbeFailure::Network);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

private:
    static bool writePem(const QString& path, const QByteArray& der) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(CertificateReader::fromDer(der)->pem()) > 0;
    }

    FakeServerSetup tunnelledWithSignedCertificate() {
        FakeServerSetup setup;
        setup.mode = FakeServerSetup::Mode::Tunnelled;
        setup.certificateDer = signedDer_;
        setup.key = &serverKey_;
        return setup;
    }

    ProbeRequest request(quint16 port, bool strict) const {
        ProbeRequest probe;
        probe.host = QStringLiteral("127.0.0.1");
        probe.port = port;
        probe.strict = strict;
        probe.caFile = caFile_;
        return probe;
    }

    QTemporaryDir dir_;
    TestKeyPair caKey_;
    TestKeyPair serverKey_;
    QByteArray caDer_;
    QByteArray signedDer_;
    QByteArray wrongNameDer_;
    QByteArray selfSignedDer_;
    QString caFile_;
};

QTEST_GUILESS_MAIN(TestCertificateProbe)
#include "tst_certificate_probe.moc"
