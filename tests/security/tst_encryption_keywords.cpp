// Every combination of setting, driver and certificate trust, and the keywords or refusal each
// one becomes.
#include "EncryptionKeywords.h"

#include <QTest>

namespace {

using Kind = CertificateTrust::Kind;

QString flatten(const EncryptionKeywords& words) {
    if (words.refused())
        return QStringLiteral("refused");
    QStringList parts;
    for (const auto& [keyword, value] : words.keywords)
        parts << keyword + QLatin1Char('=') + value;
    return parts.join(QLatin1Char(';'));
}

} // namespace

class TestEncryptionKeywords : public QObject {
    Q_OBJECT

private slots:
    void everyCombination_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<Kind>("trust");
        QTest::addColumn<QString>("expected");

        const auto O = EncryptionSetting::Optional;
        const auto M = EncryptionSetting::Mandatory;
        const auto S = EncryptionSetting::Strict;
        const auto F = SqlServerDriver::FreeTds;
        const auto D17 = SqlServerDriver::Microsoft17;
        const auto D180 = SqlServerDriver::Microsoft18_0;
        const auto D181 = SqlServerDriver::Microsoft18_1;
        const QString optional17 = QStringLiteral("Encrypt=no;TrustServerCertificate=yes");
        const QString optional18 = QStringLiteral("Encrypt=Optional;TrustServerCertificate=yes");

        struct Row {
            const char* name;
            EncryptionSetting setting;
            SqlServerDriver driver;
            Kind trust;
            QString expected;
        };
        const Row rows[] = {
            // FreeTDS checks certificates in its freetds.conf section, whatever the trust.
            {"freetds optional system", O, F, Kind::System, QStringLiteral("Encryption=request")},
            {"freetds optional pinned", O, F, Kind::Pinned, QStringLiteral("Encryption=request")},
            {"freetds optional unverified", O, F, Kind::Unverified, QStringLiteral("Encryption=request")},
            {"freetds mandatory system", M, F, Kind::System, QStringLiteral("Encryption=require")},
            {"freetds mandatory pinned", M, F, Kind::Pinned, QStringLiteral("Encryption=require")},
            {"freetds mandatory unverified", M, F, Kind::Unverified, QStringLiteral("Encryption=require")},
            {"freetds strict system", S, F, Kind::System, QStringLiteral("refused")},
            {"freetds strict pinned", S, F, Kind::Pinned, QStringLiteral("refused")},
            {"freetds strict unverified", S, F, Kind::Unverified, QStringLiteral("refused")},
            // Driver 17: yes/no only.
            {"17 optional system", O, D17, Kind::System, optional17},
            {"17 optional pinned", O, D17, Kind::Pinned, optional17},
            {"17 optional unverified", O, D17, Kind::Unverified, optional17},
            {"17 mandatory system", M, D17, Kind::System, QStringLiteral("Encrypt=yes;TrustServerCertificate=no")},
            {"17 mandatory pinned", M, D17, Kind::Pinned, QStringLiteral("refused")},
            {"17 mandatory unverified", M, D17, Kind::Unverified,
             QStringLiteral("Encrypt=yes;TrustServerCertificate=yes")},
            {"17 strict system", S, D17, Kind::System, QStringLiteral("refused")},
            {"17 strict pinned", S, D17, Kind::Pinned, QStringLiteral("refused")},
            {"17 strict unverified", S, D17, Kind::Unverified, QStringLiteral("refused")},
            // Driver 18.0: no ServerCertificate.
            {"18.0 optional system", O, D180, Kind::System, optional18},
            {"18.0 optional pinned", O, D180, Kind::Pinned, optional18},
            {"18.0 optional unverified", O, D180, Kind::Unverified, optional18},
            {"18.0 mandatory system", M, D180, Kind::System,
             QStringLiteral("Encrypt=Mandatory;TrustServerCertificate=no")},
            {"18.0 mandatory pinned", M, D180, Kind::Pinned, QStringLiteral("refused")},
            {"18.0 mandatory unverified", M, D180, Kind::Unverified,
             QStringLiteral("Encrypt=Mandatory;TrustServerCertificate=yes")},
            {"18.0 strict system", S, D180, Kind::System, QStringLiteral("Encrypt=Strict")},
            {"18.0 strict pinned", S, D180, Kind::Pinned, QStringLiteral("refused")},
            {"18.0 strict unverified", S, D180, Kind::Unverified, QStringLiteral("refused")},
            // Driver 18.1+: pins only with Strict.
            {"18.1 optional system", O, D181, Kind::System, optional18},
            {"18.1 optional pinned", O, D181, Kind::Pinned, optional18},
            {"18.1 optional unverified", O, D181, Kind::Unverified, optional18},
            {"18.1 mandatory system", M, D181, Kind::System,
             QStringLiteral("Encrypt=Mandatory;TrustServerCertificate=no")},
            {"18.1 mandatory pinned", M, D181, Kind::Pinned, QStringLiteral("refused")},
            {"18.1 mandatory unverified", M, D181, Kind::Unverified,
             QStringLiteral("Encrypt=Mandatory;TrustServerCertificate=yes")},
            {"18.1 strict system", S, D181, Kind::System, QStringLiteral("Encrypt=Strict")},
            {"18.1 strict pinned", S, D181, Kind::Pinned,
             QStringLiteral("Encrypt=Strict;ServerCertificate=/home/u/.config/pins/a b.pem")},
            {"18.1 strict unverified", S, D181, Kind::Unverified, QStringLiteral("refused")},
        };
        for (const Row& row : rows)
            QTest::newRow(row.name) << row.setting << row.driver << row.trust << row.expected;
    }

    void everyCombination() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(Kind, trust);
        QFETCH(QString, expected);
        const CertificateTrust certificate{trust, QStringLiteral("/home/u/.config/pins/a b.pem"), {}};
        const EncryptionKeywords words = EncryptionKeywordMap::map(setting, driver, certificate);
        QCOMPARE(flatten(words), expected);
        // A refusal tells the user which driver cannot do it.
        if (words.refused())
            QVERIFY2(words.refusal.contains(EncryptionKeywordMap::driverDisplayName(driver)),
                     qPrintable(words.refusal));
        // Where the driver can pin, a pinned certificate is never refused.
        if (trust == Kind::Pinned && EncryptionKeywordMap::canPin(driver, setting))
            QVERIFY(!words.refused());
    }

    void hostNameInCertificateOnlyWhereTheDriverVerifiesByName_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<Kind>("trust");
        QTest::addColumn<bool>("sent");
        QTest::newRow("18 mandatory system")
            << EncryptionSetting::Mandatory << SqlServerDriver::Microsoft18_0 << Kind::System << true;
        QTest::newRow("18.1 strict system")
            << EncryptionSetting::Strict << SqlServerDriver::Microsoft18_1 << Kind::System << true;
        QTest::newRow("17 has no such keyword")
            << EncryptionSetting::Mandatory << SqlServerDriver::Microsoft17 << Kind::System << false;
        QTest::newRow("unverified checks no name")
            << EncryptionSetting::Mandatory << SqlServerDriver::Microsoft18_1 << Kind::Unverified << false;
        QTest::newRow("a pin is checked whole")
            << EncryptionSetting::Strict << SqlServerDriver::Microsoft18_1 << Kind::Pinned << false;
        QTest::newRow("optional checks nothing")
            << EncryptionSetting::Optional << SqlServerDriver::Microsoft18_1 << Kind::System << false;
    }

    void hostNameInCertificateOnlyWhereTheDriverVerifiesByName() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(Kind, trust);
        QFETCH(bool, sent);
        const CertificateTrust certificate{trust, QStringLiteral("/p.pem"), QStringLiteral("db01.corp.example")};
        const QString flat = flatten(EncryptionKeywordMap::map(setting, driver, certificate));
        QCOMPARE(flat.contains(QLatin1String("HostNameInCertificate=db01.corp.example")), sent);
    }

    void driverKindFromTheInstalledName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        QTest::addColumn<SqlServerDriver>("kind");
        QTest::newRow("freetds") << "FreeTDS"
                                 << "" << SqlServerDriver::FreeTds;
        QTest::newRow("17") << "ODBC Driver 17 for SQL Server"
                            << "17.10.5.1" << SqlServerDriver::Microsoft17;
        QTest::newRow("18.0") << "ODBC Driver 18 for SQL Server"
                              << "18.0.1.1" << SqlServerDriver::Microsoft18_0;
        QTest::newRow("18.3") << "ODBC Driver 18 for SQL Server"
                              << "18.3.2.1" << SqlServerDriver::Microsoft18_1;
        QTest::newRow("18 unknown version") << "ODBC Driver 18 for SQL Server"
                                            << "" << SqlServerDriver::Microsoft18_1;
    }

    void driverKindFromTheInstalledName() {
        QFETCH(QString, name);
        QFETCH(QString, version);
        QFETCH(SqlServerDriver, kind);
        QCOMPARE(EncryptionKeywordMap::driverKind(name, version), kind);
    }
};

QTEST_GUILESS_MAIN(TestEncryptionKeywords)
#include "tst_encryption_keywords.moc"
