// The FreeTDS driver itself, reading the program's freetds.conf, against a TLS-speaking
// stand-in server: it sends LOGIN7 (and so the password) only to the certificate that the
// section trusts. The stand-in never completes a login, so every connect fails in the end; what
// matters is whether the login reached it.
#include "CertificateInfo.h"
#include "FakeTlsServer.h"
#include "FreeTdsConfigFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/ssl.h>

#include <sql.h>
#include <sqlext.h>

namespace {

constexpr char kPassword[] = "Pin_Test_Passw0rd";

// Connects through the FreeTDS ODBC driver with Servername=<section>; the result is ignored.
void connectThroughFreeTds(const QString& section) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    const QByteArray text = QStringLiteral("DRIVER={FreeTDS};Servername=%1;UID=sa;PWD={%2};TDS_Version=7.4;"
                                           "Encryption=require")
                                .arg(section, QLatin1String(kPassword))
                                .toUtf8();
    SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.constData())), SQL_NTS, nullptr, 0,
                     nullptr, SQL_DRIVER_NOPROMPT);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

bool isLogin(const QByteArray& received) {
    return !received.isEmpty() && quint8(received[0]) == 0x10;
}

} // namespace

class TestFreeTdsEnforcesPin : public QObject {
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
    }

    void loginGoesOnlyToTheTrustedCertificate_data() {
        QTest::addColumn<QString>("served"); // self-signed or signed by the CA
        QTest::addColumn<int>("verify");
        QTest::addColumn<QString>("trusted"); // the pin (the served one, or the genuine server's), or the CA
        QTest::addColumn<bool>("loginSent");
        const int pin = int(FreeTdsSection::Verify::Pin);
        const int system = int(FreeTdsSection::Verify::System);
        QTest::newRow("the pinned self-signed certificate") << "self" << pin << "self" << true;
        QTest::newRow("a relay with its own certificate") << "self" << pin << "genuine" << false;
        QTest::newRow("signed by the CA in ca file") << "signed" << system << "ca" << true;
        QTest::newRow("self-signed against the CA") << "self" << system << "ca" << false;
    }

    void loginGoesOnlyToTheTrustedCertificate() {
        QFETCH(QString, served);
        QFETCH(int, verify);
        QFETCH(QString, trusted);
        QFETCH(bool, loginSent);

        TestKeyPair serverKey;
        TestCertificateSpec spec;
        spec.commonName = QStringLiteral("sqlsim");
        spec.ipAddresses = {QStringLiteral("127.0.0.1")};
        const QByteArray selfDer = TestCertificates::make(serverKey, spec);
        const QByteArray signedDer = TestCertificates::make(serverKey, spec, &caKey_, caDer_);
        TestKeyPair otherKey;
        const QByteArray genuineDer = TestCertificates::make(otherKey, spec); // same name, another key

        FakeServerSetup setup;
        setup.preloginEncryption = 0x00; // what a real server answers: encrypt the login
        // SQL Server offers TLS 1.3 only to TDS 8.0 clients; FreeTDS's login-only encryption
        // does not finish a TLS 1.3 handshake inside PRELOGIN packets.
        setup.maxTlsVersion = TLS1_2_VERSION;
        setup.certificateDer = served == QLatin1String("signed") ? signedDer : selfDer;
        setup.key = &serverKey;
        FakeTlsServer server(setup);

        const QString name = QStringLiteral("127.0.0.1,%1").arg(server.port());
        FreeTdsSection section{
            name, *ServerAddress::parse(name), EncryptionSetting::Mandatory, FreeTdsSection::Verify(verify), {}, {}};
        if (section.verify == FreeTdsSection::Verify::Pin)
            section.pinnedPem =
                CertificateReader::fromDer(trusted == QLatin1String("self") ? selfDer : genuineDer)->pem();
        else
            section.caFile = caFile_;
        const FreeTdsConfigFile config(dir_.filePath(QStringLiteral("conf/freetds.conf")));
        config.write({section});
        qputenv("FREETDSCONF", QFile::encodeName(config.path()));

        connectThroughFreeTds(FreeTdsConfigFile::sectionName(name));

        QVERIFY(server.connections() >= 1);
        if (loginSent) {
            QTRY_VERIFY(isLogin(server.received()));
        } else {
            QTest::qWait(200);
            QVERIFY(!isLogin(server.received()));
            QCOMPARE(server.received(), QByteArray());
        }
        // Never in clear on the wire, whatever happened.
        QVERIFY(!server.wire().contains(kPassword));
        QVERIFY(!server.wire().contains(QString::fromLatin1(kPassword).toUtf8().toHex()));
    }

private:
    QTemporaryDir dir_;
    TestKeyPair caKey_;
    QByteArray caDer_;
    QString caFile_;
};

QTEST_GUILESS_MAIN(TestFreeTdsEnforcesPin)
#include "tst_freetds_enforces_pin.moc"
