// The program's own trust files: pinned certificates per server, and the freetds.conf sections
// that make the FreeTDS driver enforce them.
#include "CertificatePins.h"
#include "FreeTdsConfigFile.h"
#include "TestCertificates.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

CertificateInfo makeCertificate(const QString& name) {
    TestKeyPair key;
    TestCertificateSpec spec;
    spec.commonName = name;
    return *CertificateReader::fromDer(TestCertificates::make(key, spec));
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QFileDevice::Permissions unixBits(const QString& path) {
    // Qt also reports the "user" bits, which mirror the owner's for the process owner.
    return QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

} // namespace

class TestTrustStoreFiles : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }

    void pinIsFoundAgainByAnotherInstanceWhateverTheCase() {
        const CertificateInfo first = makeCertificate(QStringLiteral("one"));
        const QString file = dir_.filePath(QStringLiteral("a/certificates.ini"));
        QVERIFY(CertificatePins(file).pin(QStringLiteral("DB01\\SQLEXPRESS"), first));

        const CertificatePins reread(file);
        const auto found = reread.lookup(QStringLiteral("  db01\\sqlexpress "));
        QVERIFY(found);
        QCOMPARE(found->der, first.der);
        QVERIFY(!reread.lookup(QStringLiteral("db01")));
        QCOMPARE(unixBits(file), kOwnerOnly);
    }

    void trustingAgainReplacesTheOldPin() {
        const QString file = dir_.filePath(QStringLiteral("b.ini"));
        CertificatePins pins(file);
        QVERIFY(pins.pin(QStringLiteral("db01"), makeCertificate(QStringLiteral("old"))));
        QVERIFY(pins.pin(QStringLiteral("db02"), makeCertificate(QStringLiteral("other"))));
        const CertificateInfo renewed = makeCertificate(QStringLiteral("new"));
        QVERIFY(pins.pin(QStringLiteral("DB01"), renewed));
        QCOMPARE(pins.list().size(), 2);
        QCOMPARE(pins.lookup(QStringLiteral("db01"))->sha256, renewed.sha256);
        QVERIFY(pins.forget(QStringLiteral("db01")));
        QVERIFY(!pins.lookup(QStringLiteral("db01")));
        QVERIFY(pins.lookup(QStringLiteral("db02")));
    }

    void unverifiedChoiceIsKeptApartFromThePin() {
        CertificatePins pins(dir_.filePath(QStringLiteral("c.ini")));
        QVERIFY(pins.allowUnverified(QStringLiteral("db03")));
        QVERIFY(pins.allowsUnverified(QStringLiteral("DB03")));
        QVERIFY(!pins.lookup(QStringLiteral("db03")));
        QVERIFY(!pins.allowsUnverified(QStringLiteral("db04")));
        QVERIFY(pins.pin(QStringLiteral("db03"), makeCertificate(QStringLiteral("x"))));
        QVERIFY(pins.allowsUnverified(QStringLiteral("db03")));
        QVERIFY(pins.forget(QStringLiteral("db03")));
        QVERIFY(!pins.allowsUnverified(QStringLiteral("db03")));
    }

    void editedCertificateCountsAsNoPin() {
        const QString file = dir_.filePath(QStringLiteral("d.ini"));
        QVERIFY(CertificatePins(file).pin(QStringLiteral("db01"), makeCertificate(QStringLiteral("real"))));
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue(QStringLiteral("servers/1/certificate"), makeCertificate(QStringLiteral("swap")).pem());
        }
        QVERIFY(!CertificatePins(file).lookup(QStringLiteral("db01")));
    }

    void sectionsSayWhatTheDriverMustCheck_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<FreeTdsSection::Verify>("verify");
        QTest::addColumn<QStringList>("lines");
        using V = FreeTdsSection::Verify;
        QTest::newRow("pinned, required")
            << "127.0.0.1,14330" << EncryptionSetting::Mandatory << V::Pin
            << QStringList{"host = 127.0.0.1",     "port = 14330",  "tds version = 7.4",
                           "encryption = require", "ca file = PIN", "check certificate hostname = no"};
        QTest::newRow("system store, default port")
            << "db01.example" << EncryptionSetting::Mandatory << V::System
            << QStringList{"host = db01.example", "port = 1433", "tds version = 7.4", "encryption = require",
                           "ca file = system"};
        QTest::newRow("optional, instance")
            << "db01\\SQLEXPRESS" << EncryptionSetting::Optional << V::Nothing
            << QStringList{"host = db01", "instance = SQLEXPRESS", "tds version = 7.4", "encryption = request"};
    }

    void sectionsSayWhatTheDriverMustCheck() {
        QFETCH(QString, server);
        QFETCH(EncryptionSetting, setting);
        QFETCH(FreeTdsSection::Verify, verify);
        QFETCH(QStringList, lines);
        const FreeTdsConfigFile config(dir_.filePath(QStringLiteral("conf/freetds.conf")));
        const CertificateInfo pin = makeCertificate(QStringLiteral("pin"));
        config.write({{server, *ServerAddress::parse(server), setting, verify, pin.pem(), {}}});

        QFile file(config.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList body;
        bool inSection = false;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString text = QString::fromUtf8(raw).trimmed();
            if (text.startsWith(QLatin1Char('[')))
                inSection = text == QLatin1Char('[') + FreeTdsConfigFile::sectionName(server) + QLatin1Char(']');
            else if (inSection && !text.isEmpty())
                body << text;
        }
        lines.replaceInStrings(QStringLiteral("PIN"), config.pinFile(server));
        QCOMPARE(body, lines);
        QCOMPARE(unixBits(config.path()), kOwnerOnly);
        if (verify == FreeTdsSection::Verify::Pin) {
            QFile pemFile(config.pinFile(server));
            QVERIFY(pemFile.open(QIODevice::ReadOnly));
            QCOMPARE(pemFile.readAll(), pin.pem());
            QCOMPARE(unixBits(config.pinFile(server)), kOwnerOnly);
        }
    }

    void sectionNamesAreSafeAndDistinct() {
        const QStringList servers{"DB01\\SQLEXPRESS", "db01,1433", "db01 1433", "db01;#]x", "数据库服务器"};
        QSet<QString> names;
        for (const QString& server : servers) {
            const QString name = FreeTdsConfigFile::sectionName(server);
            QVERIFY2(QRegularExpression(QStringLiteral("^[a-z0-9._-]+$")).match(name).hasMatch(), qPrintable(name));
            names.insert(name);
        }
        QCOMPARE(names.size(), servers.size());
        QCOMPARE(FreeTdsConfigFile::sectionName(QStringLiteral(" DB01\\SQLEXPRESS")),
                 FreeTdsConfigFile::sectionName(QStringLiteral("db01\\sqlexpress")));
    }

    void valuesFreeTdsWouldMisreadAreRefused_data() {
        QTest::addColumn<QString>("configPath");
        QTest::addColumn<QString>("server");
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::newRow("strict") << "freetds.conf"
                                << "db01" << EncryptionSetting::Strict;
        QTest::newRow("comment sign in the path") << "a#b/freetds.conf"
                                                  << "db01" << EncryptionSetting::Mandatory;
        QTest::newRow("semicolon in the path") << "a;b/freetds.conf"
                                               << "db01" << EncryptionSetting::Mandatory;
        QTest::newRow("two blanks in the path") << "a  b/freetds.conf"
                                                << "db01" << EncryptionSetting::Mandatory;
        QTest::newRow("host with a blank") << "freetds.conf"
                                           << "db 01" << EncryptionSetting::Mandatory;
        QTest::newRow("over-long path") << QString(300, QLatin1Char('p')) + "/freetds.conf"
                                        << "db01" << EncryptionSetting::Mandatory;
    }

    void valuesFreeTdsWouldMisreadAreRefused() {
        QFETCH(QString, configPath);
        QFETCH(QString, server);
        QFETCH(EncryptionSetting, setting);
        const FreeTdsConfigFile config(dir_.filePath(configPath));
        ServerAddress address;
        address.host = server;
        QVERIFY_THROWS_EXCEPTION(EFreeTdsConfigError,
                                 config.render({{server, address, setting, FreeTdsSection::Verify::Pin, {}, {}}}));
    }

    void serverTextForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("instance");
        QTest::newRow("host") << " db01 " << true << "db01" << 0 << "";
        QTest::newRow("port") << "db01, 14330" << true << "db01" << 14330 << "";
        QTest::newRow("instance") << "db01\\SQLEXPRESS" << true << "db01" << 0 << "SQLEXPRESS";
        QTest::newRow("port zero") << "db01,0" << false << "" << 0 << "";
        QTest::newRow("port too big") << "db01,65536" << false << "" << 0 << "";
        QTest::newRow("both") << "db01\\X,1433" << false << "" << 0 << "";
        QTest::newRow("no host") << ",1433" << false << "" << 0 << "";
        QTest::newRow("empty instance") << "db01\\" << false << "" << 0 << "";
    }

    void serverTextForms() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto address = ServerAddress::parse(text);
        QCOMPARE(bool(address), valid);
        if (!address)
            return;
        QTEST(address->host, "host");
        QTEST(int(address->port), "port");
        QTEST(address->instance, "instance");
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestTrustStoreFiles)
#include "tst_trust_store_files.moc"
