// The connect flow's decisions: which question, warning or refusal each combination of setting,
// driver, probe result and earlier trust leads to, and what a Yes records, so that the second
// connection is silent.
#include "CertificatePins.h"
#include "ConnectionTrust.h"
#include "NewTexts.h"
#include "TestCertificates.h"

#include <QTemporaryDir>
#include <QTest>

using ConnectionTrust::Step;
using Kind = CertificateTrust::Kind;

Q_DECLARE_METATYPE(EncryptionSetting)
Q_DECLARE_METATYPE(SqlServerDriver)
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(ProbeFailure)

namespace {

const QString kServer = QStringLiteral("db01\\SQLEXPRESS");

CertificateInfo makeCertificate(const QString& issuerName) {
    TestKeyPair key;
    TestCertificateSpec spec;
    spec.commonName = issuerName;
    return *CertificateReader::fromDer(TestCertificates::make(key, spec));
}

ProbeResult probed(const CertificateInfo& certificate, bool trusted) {
    ProbeResult result;
    result.certificate = certificate;
    result.trusted = trusted;
    result.serverEncryption = 0x00;
    return result;
}

} // namespace

class TestConnectionTrust : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        shown_ = makeCertificate(QStringLiteral("SSL_Self_Signed_Fallback %1%2"));
        other_ = makeCertificate(QStringLiteral("relay"));
    }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        pins_ = std::make_unique<CertificatePins>(dir_->filePath(QStringLiteral("certificates.ini")));
    }

    void decisions_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("before"); // "", "pin", "other pin", "unverified", "unverified other"
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<Step>("step");
        QTest::addColumn<Kind>("trust");
        const auto M = EncryptionSetting::Mandatory;
        const auto S = EncryptionSetting::Strict;
        const auto F = SqlServerDriver::FreeTds;
        const auto D17 = SqlServerDriver::Microsoft17;
        const auto D180 = SqlServerDriver::Microsoft18_0;
        const auto D181 = SqlServerDriver::Microsoft18_1;
        QTest::newRow("first connection asks") << M << F << "" << false << Step::AskToPin << Kind::System;
        QTest::newRow("pinned: silent") << M << F << "pin" << false << Step::Connect << Kind::Pinned;
        QTest::newRow("pin differs: warning")
            << M << F << "other pin" << false << Step::CertificateChanged << Kind::System;
        QTest::newRow("vouched for by the store") << M << F << "" << true << Step::Connect << Kind::System;
        QTest::newRow("a pin beats the store")
            << M << F << "other pin" << true << Step::CertificateChanged << Kind::System;
        QTest::newRow("18 mandatory cannot pin") << M << D181 << "" << false << Step::AskUnverified << Kind::System;
        QTest::newRow("17 cannot pin") << M << D17 << "" << false << Step::AskUnverified << Kind::System;
        QTest::newRow("unverified, same certificate")
            << M << D181 << "unverified" << false << Step::Connect << Kind::Unverified;
        QTest::newRow("unverified, certificate changed")
            << M << D17 << "unverified other" << false << Step::CertificateChanged << Kind::System;
        QTest::newRow("18.1 strict pins") << S << D181 << "" << false << Step::AskToPin << Kind::System;
        QTest::newRow("18.1 strict pinned") << S << D181 << "pin" << false << Step::Connect << Kind::Pinned;
        QTest::newRow("18.0 strict cannot pin") << S << D180 << "" << false << Step::Refused << Kind::System;
        QTest::newRow("18.0 strict, trusted by the store") << S << D180 << "" << true << Step::Connect << Kind::System;
    }

    void decisions() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, before);
        QFETCH(bool, trusted);
        QFETCH(Step, step);
        QFETCH(Kind, trust);
        if (before.startsWith(QLatin1String("unverified")))
            QVERIFY(pins_->allowUnverified(kServer));
        if (before == QLatin1String("pin") || before == QLatin1String("unverified"))
            QVERIFY(pins_->pin(kServer, shown_));
        if (before.endsWith(QLatin1String("other")) || before == QLatin1String("other pin"))
            QVERIFY(pins_->pin(kServer, other_));

        const ConnectionTrust::Plan plan =
            ConnectionTrust::decide(setting, driver, kServer, probed(shown_, trusted), *pins_);
        QCOMPARE(plan.step, step);
        if (step == Step::Connect)
            QCOMPARE(plan.trust, trust);
        if (step == Step::AskToPin || step == Step::AskUnverified || step == Step::CertificateChanged) {
            // The user sees whose certificate it is, and can check it.
            for (const QString& field : {kServer, shown_.issuer, shown_.subject, shown_.fingerprintText()})
                QVERIFY2(plan.message.contains(field), qPrintable(field));
        }
        if (step == Step::AskUnverified || step == Step::Refused)
            QVERIFY(plan.message.contains(EncryptionKeywordMap::driverDisplayName(driver)));
        QCOMPARE(plan.followUpQuestion.isEmpty(), step != Step::CertificateChanged);
    }

    void yesIsRememberedAndTheSecondConnectionIsSilent_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<Kind>("trust");
        QTest::newRow("pin") << EncryptionSetting::Mandatory << SqlServerDriver::FreeTds << Kind::Pinned;
        QTest::newRow("unverified") << EncryptionSetting::Mandatory << SqlServerDriver::Microsoft18_1
                                    << Kind::Unverified;
        QTest::newRow("strict pin") << EncryptionSetting::Strict << SqlServerDriver::Microsoft18_1 << Kind::Pinned;
    }

    void yesIsRememberedAndTheSecondConnectionIsSilent() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(Kind, trust);
        const auto first = ConnectionTrust::decide(setting, driver, kServer, probed(shown_, false), *pins_);
        QCOMPARE(ConnectionTrust::accept(first, driver, setting, kServer, *pins_), std::optional(trust));

        const CertificatePins reread(pins_->filePath());
        const auto second = ConnectionTrust::decide(setting, driver, kServer, probed(shown_, false), reread);
        QCOMPARE(second.step, Step::Connect);
        QCOMPARE(second.trust, trust);

        // A renewed certificate is refused with the warning, and trusted again on Yes.
        const auto renewed = ConnectionTrust::decide(setting, driver, kServer, probed(other_, false), reread);
        QCOMPARE(renewed.step, Step::CertificateChanged);
        QVERIFY(renewed.message.contains(other_.fingerprintText()));
        QCOMPARE(ConnectionTrust::accept(renewed, driver, setting, kServer, *pins_), std::optional(trust));
        QCOMPARE(CertificatePins(pins_->filePath()).lookup(kServer)->sha256, other_.sha256);
    }

    void tlsFailuresSayWhatFailed_data() {
        QTest::addColumn<ProbeFailure>("failure");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no TLS") << ProbeFailure::NoTls << NewTexts::text(NewTexts::TlsNotSupported).arg(kServer);
        QTest::newRow("version") << ProbeFailure::VersionOrCipher
                                 << NewTexts::text(NewTexts::TlsVersionMismatch).arg(kServer, QStringLiteral("why"));
        QTest::newRow("broken") << ProbeFailure::BrokenHandshake
                                << NewTexts::text(NewTexts::TlsHandshakeBroken).arg(kServer, QStringLiteral("why"));
    }

    void tlsFailuresSayWhatFailed() {
        QFETCH(ProbeFailure, failure);
        QFETCH(QString, expected);
        ProbeResult result;
        result.failure = failure;
        result.detail = QStringLiteral("why");
        const auto plan =
            ConnectionTrust::decide(EncryptionSetting::Mandatory, SqlServerDriver::FreeTds, kServer, result, *pins_);
        QCOMPARE(plan.step, Step::TlsFailure);
        QCOMPARE(plan.message, expected);
    }

    void unreachableServerLeavesTheCheckToTheDriver() {
        ProbeResult unreachable;
        unreachable.failure = ProbeFailure::Network;
        QCOMPARE(ConnectionTrust::decide(EncryptionSetting::Mandatory, SqlServerDriver::FreeTds, kServer, unreachable,
                                         *pins_)
                     .trust,
                 Kind::System);
        QVERIFY(pins_->pin(kServer, shown_));
        const auto plan = ConnectionTrust::decide(EncryptionSetting::Mandatory, SqlServerDriver::FreeTds, kServer,
                                                  unreachable, *pins_);
        QCOMPARE(plan.step, Step::Connect);
        QCOMPARE(plan.trust, Kind::Pinned);
    }

    void settledBeforeAnyTraffic_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<int>("expected"); // -1: probe first
        QTest::newRow("optional") << EncryptionSetting::Optional << SqlServerDriver::Microsoft18_1
                                  << int(Step::Connect);
        QTest::newRow("strict freetds") << EncryptionSetting::Strict << SqlServerDriver::FreeTds << int(Step::Refused);
        QTest::newRow("strict 17") << EncryptionSetting::Strict << SqlServerDriver::Microsoft17 << int(Step::Refused);
        QTest::newRow("strict 18") << EncryptionSetting::Strict << SqlServerDriver::Microsoft18_0 << -1;
        QTest::newRow("mandatory") << EncryptionSetting::Mandatory << SqlServerDriver::FreeTds << -1;
    }

    void settledBeforeAnyTraffic() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(int, expected);
        const auto plan = ConnectionTrust::beforeProbe(setting, driver);
        QCOMPARE(plan ? int(plan->step) : -1, expected);
        if (plan && plan->step == Step::Refused)
            QCOMPARE(plan->message,
                     NewTexts::text(NewTexts::StrictNotSupported).arg(EncryptionKeywordMap::driverDisplayName(driver)));
    }

    void freeTdsSectionFollowsTheTrust_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<Kind>("trust");
        QTest::addColumn<int>("verify");
        QTest::newRow("optional checks nothing")
            << EncryptionSetting::Optional << Kind::Pinned << int(FreeTdsSection::Verify::Nothing);
        QTest::newRow("pin") << EncryptionSetting::Mandatory << Kind::Pinned << int(FreeTdsSection::Verify::Pin);
        QTest::newRow("store") << EncryptionSetting::Mandatory << Kind::System << int(FreeTdsSection::Verify::System);
        QTest::newRow("unverified") << EncryptionSetting::Mandatory << Kind::Unverified
                                    << int(FreeTdsSection::Verify::Nothing);
    }

    void freeTdsSectionFollowsTheTrust() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(Kind, trust);
        QFETCH(int, verify);
        const auto section = ConnectionTrust::freeTdsSection(kServer, *ServerAddress::parse(kServer), setting, trust,
                                                             shown_.pem(), QStringLiteral("/ca.pem"));
        QCOMPARE(int(section.verify), verify);
        QCOMPARE(section.pinnedPem.isEmpty(), section.verify != FreeTdsSection::Verify::Pin);
        QCOMPARE(section.caFile.isEmpty(), section.verify != FreeTdsSection::Verify::System);
    }

private:
    CertificateInfo shown_;
    CertificateInfo other_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<CertificatePins> pins_;
};

QTEST_GUILESS_MAIN(TestConnectionTrust)
#include "tst_connection_trust.moc"
