// From the connect button to the driver's keywords, against a TLS stand-in server: the question
// once, the pin, a silent second connection, a changed certificate, refusals and TLS failures,
// with the user's answers given in advance.
#include "FakeTlsServer.h"
#include "NewTexts.h"
#include "SecureConnect.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct ScriptedUser {
    QList<bool> answers; // in turn; No once they are used up
    QStringList questions;
    QStringList warnings;

    SecureConnectUser callbacks() {
        return {[this](const QString& text) {
                    questions << text;
                    return !answers.isEmpty() && answers.takeFirst();
                },
                [this](const QString& text) { warnings << text; }};
    }
};

QString flatten(const QList<QPair<QString, QString>>& keywords) {
    QStringList parts;
    for (const auto& [keyword, value] : keywords)
        parts << keyword + QLatin1Char('=') + value;
    return parts.join(QLatin1Char(';'));
}

} // namespace

class TestSecureConnect : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        pins_ = std::make_unique<CertificatePins>(dir_->filePath(QStringLiteral("certificates.ini")));
        config_ = std::make_unique<FreeTdsConfigFile>(dir_->filePath(QStringLiteral("freetds.conf")));
    }

    void firstConnectionAsksOnceThenPins() {
        FakeTlsServer server(selfSigned());
        const QString name = serverName(server);
        ScriptedUser user{{true}, {}, {}};
        const PreparedConnection first = prepare(name, settings(), user);
        QVERIFY(first.proceed);
        QCOMPARE(user.questions.size(), 1);
        QVERIFY(user.questions.first().contains(certificate_->fingerprintText()));
        QCOMPARE(flatten(first.keywords), QStringLiteral("Encryption=require"));
        QCOMPARE(first.freeTdsServername, FreeTdsConfigFile::sectionName(name));
        QCOMPARE(pins_->lookup(name)->sha256, certificate_->sha256);
        QVERIFY(configText().contains(QStringLiteral("ca file = ") + config_->pinFile(name)));

        const PreparedConnection second = prepare(name, settings(), user);
        QVERIFY(second.proceed);
        QCOMPARE(user.questions.size(), 1); // silent
        QVERIFY(user.warnings.isEmpty());
    }

    void noEndsTheAttemptAndRemembersNothing() {
        FakeTlsServer server(selfSigned());
        ScriptedUser user{{false}, {}, {}};
        QVERIFY(!prepare(serverName(server), settings(), user).proceed);
        QVERIFY(pins_->list().isEmpty());
        QVERIFY(!QFile::exists(config_->path()));
    }

    void changedCertificateIsRefusedWithItsWarning_data() {
        QTest::addColumn<bool>("trustNew");
        QTest::newRow("kept refused") << false;
        QTest::newRow("trusted again") << true;
    }

    void changedCertificateIsRefusedWithItsWarning() {
        QFETCH(bool, trustNew);
        FakeTlsServer server(selfSigned());
        const QString name = serverName(server);
        TestKeyPair oldKey;
        const auto old = CertificateReader::fromDer(TestCertificates::make(oldKey, {}));
        QVERIFY(pins_->pin(name, *old));

        ScriptedUser user{{trustNew}, {}, {}};
        QCOMPARE(prepare(name, settings(), user).proceed, trustNew);
        QCOMPARE(user.warnings.size(), 1);
        QVERIFY(user.warnings.first().contains(certificate_->fingerprintText()));
        QCOMPARE(user.questions, QStringList{NewTexts::text(NewTexts::TrustChangedCertificateQuestion).arg(name)});
        QCOMPARE(pins_->lookup(name)->sha256, trustNew ? certificate_->sha256 : old->sha256);
    }

    void settledWithoutTouchingTheServer_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<bool>("proceed");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("warning");
        QTest::newRow("可选") << EncryptionSetting::Optional << true << "Encryption=request"
                              << "";
        QTest::newRow("严格 with FreeTDS")
            << EncryptionSetting::Strict << false << ""
            << NewTexts::text(NewTexts::StrictNotSupported).arg(QStringLiteral("FreeTDS"));
    }

    void settledWithoutTouchingTheServer() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(bool, proceed);
        QFETCH(QString, keywords);
        QFETCH(QString, warning);
        FakeTlsServer server(selfSigned());
        SecureConnectSettings chosen = settings();
        chosen.setting = setting;
        ScriptedUser user;
        const PreparedConnection prepared = prepare(serverName(server), chosen, user);
        QCOMPARE(prepared.proceed, proceed);
        QCOMPARE(flatten(prepared.keywords), keywords);
        QCOMPARE(user.warnings.join(QString()), warning);
        QVERIFY(user.questions.isEmpty());
        QCOMPARE(server.connections(), 0);
    }

    void serverWithoutTlsIsAWarning() {
        FakeServerSetup setup = selfSigned();
        setup.preloginEncryption = 0x02;
        FakeTlsServer server(setup);
        ScriptedUser user;
        QVERIFY(!prepare(serverName(server), settings(), user).proceed);
        QCOMPARE(user.warnings, QStringList{NewTexts::text(NewTexts::TlsNotSupported).arg(serverName(server))});
    }

    void driverThatCannotPinOffersUnverifiedOnce() {
        FakeTlsServer server(selfSigned());
        SecureConnectSettings chosen = settings();
        chosen.driver = SqlServerDriver::Microsoft18_1;
        ScriptedUser user{{true}, {}, {}};
        const PreparedConnection first = prepare(serverName(server), chosen, user);
        QVERIFY(first.proceed);
        QCOMPARE(flatten(first.keywords), QStringLiteral("Encrypt=Mandatory;TrustServerCertificate=yes"));
        QVERIFY(first.freeTdsServername.isEmpty());
        QCOMPARE(user.questions.size(), 1);
        QVERIFY(user.questions.first().contains(EncryptionKeywordMap::driverDisplayName(chosen.driver)));
        QVERIFY(prepare(serverName(server), chosen, user).proceed);
        QCOMPARE(user.questions.size(), 1);
    }

private:
    FakeServerSetup selfSigned() {
        if (!certificate_) {
            TestCertificateSpec spec;
            spec.commonName = QStringLiteral("SSL_Self_Signed_Fallback");
            certificate_ = CertificateReader::fromDer(TestCertificates::make(key_, spec));
        }
        FakeServerSetup setup;
        setup.certificateDer = certificate_->der;
        setup.key = &key_;
        return setup;
    }

    static QString serverName(const FakeTlsServer& server) { return QStringLiteral("127.0.0.1,%1").arg(server.port()); }

    static SecureConnectSettings settings() {
        SecureConnectSettings chosen;
        chosen.probeTimeoutMs = 3000;
        return chosen;
    }

    PreparedConnection prepare(const QString& name, const SecureConnectSettings& chosen, ScriptedUser& user) {
        return SecureConnect::prepare(name, chosen, *pins_, *config_, user.callbacks());
    }

    QString configText() const {
        QFile file(config_->path());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    TestKeyPair key_;
    std::optional<CertificateInfo> certificate_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<CertificatePins> pins_;
    std::unique_ptr<FreeTdsConfigFile> config_;
};

QTEST_GUILESS_MAIN(TestSecureConnect)
#include "tst_secure_connect.moc"
