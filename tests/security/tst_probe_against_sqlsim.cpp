// The certificate probe against the simulator's own TLS (a second, independent implementation of
// the server side): each encryption mode, a kept and a renewed certificate, and a TLS version the
// probe does not speak.
#include "CertificateProbe.h"
#include "SimServer.h"

#include <QFile>
#include <QTest>

Q_DECLARE_METATYPE(ProbeFailure)

namespace {

ProbeResult probe(const SimServer& sim, bool strict) {
    ProbeRequest request;
    request.host = QStringLiteral("127.0.0.1");
    request.port = sim.port();
    request.strict = strict;
    return CertificateProbe::run(request);
}

QByteArray keptCertificate(const SimServer& sim) {
    QFile file(sim.stateDir() + QStringLiteral("/state/tls-certificate.pem"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestProbeAgainstSqlsim : public QObject {
    Q_OBJECT

private slots:
    void eachEncryptionMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<ProbeFailure>("failure");
        QTest::newRow("off: TLS for the login") << "off" << false << ProbeFailure::None;
        QTest::newRow("force: TLS throughout") << "force" << false << ProbeFailure::None;
        QTest::newRow("strict: TLS first") << "strict" << true << ProbeFailure::None;
        QTest::newRow("none: no TLS at all") << "none" << false << ProbeFailure::NoTls;
    }

    void eachEncryptionMode() {
        QFETCH(QString, mode);
        QFETCH(bool, strict);
        QFETCH(ProbeFailure, failure);
        SimServer sim;
        QVERIFY2(sim.start({QStringLiteral("--encryption"), mode, QStringLiteral("--keep-certificate")}),
                 qPrintable(sim.errorString()));
        const ProbeResult result = probe(sim, strict);
        QCOMPARE(result.failure, failure);
        if (failure != ProbeFailure::None)
            return;
        QVERIFY(result.certificate);
        QCOMPARE(result.certificate->pem(), keptCertificate(sim));
        QVERIFY(!result.trusted); // self-signed
        // Nothing of a login reached the simulator.
        QVERIFY(sim.statementRecords().isEmpty());
    }

    void restartKeepsOrRenewsTheCertificate() {
        SimServer kept;
        QVERIFY(kept.start({QStringLiteral("--keep-certificate")}));
        const auto first = probe(kept, false).certificate;
        QVERIFY(kept.restart({QStringLiteral("--keep-certificate")}));
        const auto again = probe(kept, false).certificate;
        QVERIFY(first && again);
        QCOMPARE(again->sha256, first->sha256);

        SimServer fresh;
        QVERIFY(fresh.start());
        const auto before = probe(fresh, false).certificate;
        QVERIFY(fresh.restart());
        const auto after = probe(fresh, false).certificate;
        QVERIFY(before && after);
        QVERIFY(after->sha256 != before->sha256); // a new self-signed one at every start
    }

    void tlsVersionNobodySharesIsAMismatch() {
        SimServer sim;
        QVERIFY(sim.start({QStringLiteral("--tls-versions"), QStringLiteral("1.0")}));
        const ProbeResult result = probe(sim, false);
        QVERIFY2(result.failure == ProbeFailure::VersionOrCipher, qPrintable(result.detail));
        QVERIFY(!result.detail.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProbeAgainstSqlsim)
#include "tst_probe_against_sqlsim.moc"
