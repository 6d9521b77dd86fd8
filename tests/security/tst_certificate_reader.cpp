// Reading certificates as a server sends them: the fields shown to the user, the fingerprint
// that pins compare, and refusal of anything that is not one well-formed certificate.
#include "CertificateInfo.h"
#include "TestCertificates.h"

#include <QTest>

#include <openssl/evp.h>
#include <openssl/x509.h>

class TestCertificateReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        TestCertificateSpec caSpec;
        caSpec.commonName = QStringLiteral("测试根证书");
        caSpec.isCa = true;
        caDer_ = TestCertificates::make(caKey_, caSpec);
        TestCertificateSpec spec;
        spec.commonName = QStringLiteral("db01.example");
        spec.notBefore = QDateTime(QDate(2024, 2, 29), QTime(12, 30, 15), Qt::UTC);
        spec.notAfter = QDateTime(QDate(2049, 12, 31), QTime(23, 59, 59), Qt::UTC);
        serverDer_ = TestCertificates::make(serverKey_, spec, &caKey_, caDer_);
    }

    void readsTheFieldsShownToTheUser() {
        const auto info = CertificateReader::fromDer(serverDer_);
        QVERIFY(info);
        QCOMPARE(info->subject, QStringLiteral("CN=db01.example"));
        QCOMPARE(info->issuer, QStringLiteral("CN=测试根证书"));
        QCOMPARE(info->notBefore, QDateTime(QDate(2024, 2, 29), QTime(12, 30, 15), Qt::UTC));
        QCOMPARE(info->notAfter, QDateTime(QDate(2049, 12, 31), QTime(23, 59, 59), Qt::UTC));
        QVERIFY(info->isValidAt(QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC)));
        QVERIFY(!info->isValidAt(QDateTime(QDate(2024, 2, 29), QTime(12, 30, 14), Qt::UTC)));
    }

    void fingerprintIsWhatCertificateToolsPrint() {
        const auto info = CertificateReader::fromDer(serverDer_);
        QVERIFY(info);
        // OpenSSL's own digest of the parsed certificate, as `openssl x509 -fingerprint -sha256`.
        const auto* cursor = reinterpret_cast<const unsigned char*>(serverDer_.constData());
        X509* parsed = d2i_X509(nullptr, &cursor, long(serverDer_.size()));
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        X509_digest(parsed, EVP_sha256(), digest, &length);
        X509_free(parsed);
        QByteArray expected;
        for (unsigned int i = 0; i < length; ++i)
            expected += QByteArray::number(digest[i] | 0x100, 16).mid(1).toUpper() + (i + 1 < length ? ":" : "");
        QCOMPARE(info->fingerprintText(), QString::fromLatin1(expected));
        QCOMPARE(info->fingerprintText().size(), 32 * 3 - 1);
    }

    void pemRoundTripKeepsTheSameCertificate() {
        const auto info = CertificateReader::fromDer(serverDer_);
        QVERIFY(info);
        const QByteArray pem = info->pem();
        QVERIFY(pem.startsWith("-----BEGIN CERTIFICATE-----\n"));
        for (const QByteArray& line : pem.split('\n'))
            QVERIFY(line.size() <= 64);
        const auto again = CertificateReader::fromPem(QByteArray("some text before\n") + pem + caDer_.toBase64());
        QVERIFY(again);
        QCOMPARE(again->der, serverDer_);
        QCOMPARE(again->sha256, info->sha256);
    }

    void controlCharactersInNamesStayEscaped() {
        TestKeyPair key;
        TestCertificateSpec spec;
        spec.commonName = QStringLiteral("evil\nCN=bank.example");
        const auto info = CertificateReader::fromDer(TestCertificates::make(key, spec));
        QVERIFY(info);
        QVERIFY2(!info->subject.contains(QLatin1Char('\n')), qPrintable(info->subject));
    }

    void refusesWhatIsNotOneCertificate_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("asPem");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("truncated") << serverDer_.left(serverDer_.size() - 1) << false;
        QTest::newRow("trailing byte") << serverDer_ + '\0' << false;
        QTest::newRow("two certificates") << serverDer_ + caDer_ << false;
        QTest::newRow("flipped length") << QByteArray(serverDer_).replace(1, 1, "\x01") << false;
        QTest::newRow("pem without certificate") << QByteArray("-----BEGIN CERTIFICATE-----\nAAAA\n") << true;
        QTest::newRow("pem of garbage") << QByteArray(
                                               "-----BEGIN CERTIFICATE-----\nAAAAAAAA\n-----END CERTIFICATE-----\n")
                                        << true;
        QTest::newRow("der given as pem") << serverDer_ << true;
    }

    void refusesWhatIsNotOneCertificate() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, asPem);
        QVERIFY(!(asPem ? CertificateReader::fromPem(bytes) : CertificateReader::fromDer(bytes)));
    }

private:
    TestKeyPair caKey_;
    TestKeyPair serverKey_;
    QByteArray caDer_;
    QByteArray serverDer_;
};

QTEST_GUILESS_MAIN(TestCertificateReader)
#include "tst_certificate_reader.moc"
