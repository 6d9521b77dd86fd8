// Every combination of setting, driver and certificate trust, and the keywords or refusal each
// one becomes, and the whole connection string that carries them to the driver.
#include "ConnectionStrings.h"
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

struct ReadKeyword {
    QString keyword;
    QString value;
    bool braced = false;
    bool operator==(const ReadKeyword&) const = default;
};

// A connection string read back by the ODBC rules: a braced value runs to the first "}" that is
// not doubled, any other value to the next ";".
QList<ReadKeyword> readBack(const QString& text) {
    QList<ReadKeyword> read;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), i);
        if (equals < 0)
            break;
        ReadKeyword k{text.mid(i, equals - i), {}, false};
        i = equals + 1;
        if (i < text.size() && text[i] == QLatin1Char('{')) {
            k.braced = true;
            for (++i; i < text.size(); ++i) {
                if (text[i] == QLatin1Char('}')) {
                    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('}')) {
                        k.value += QLatin1Char('}');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                k.value += text[i];
            }
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            k.value = text.mid(i, end < 0 ? -1 : end - i);
            i = end < 0 ? text.size() : end;
        }
        read << k;
        if (i < text.size() && text[i] == QLatin1Char(';'))
            ++i;
    }
    return read;
}

QString driverName(SqlServerDriver driver) {
    switch (driver) {
    case SqlServerDriver::FreeTds:
        return QStringLiteral("FreeTDS");
    case SqlServerDriver::Microsoft17:
        return QStringLiteral("ODBC Driver 17 for SQL Server");
    case SqlServerDriver::Microsoft18_0:
    case SqlServerDriver::Microsoft18_1:
        break;
    }
    return QStringLiteral("ODBC Driver 18 for SQL Server");
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

    // The whole connection string of each combination the map does not refuse, for both logins:
    // every keyword arrives once with its value intact, FreeTDS names its freetds.conf section
    // instead of the server, and plain values go bare (FreeTDS keeps the braces of
    // Encryption={require} and then fails).
    void everyCombinationReachesTheDriverIntact_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<Kind>("trust");
        QTest::addColumn<bool>("sqlLogin");
        const std::pair<SqlServerDriver, const char*> drivers[] = {{SqlServerDriver::FreeTds, "FreeTDS"},
                                                                   {SqlServerDriver::Microsoft17, "17"},
                                                                   {SqlServerDriver::Microsoft18_0, "18.0"},
                                                                   {SqlServerDriver::Microsoft18_1, "18.1"}};
        const std::pair<Kind, const char*> trusts[] = {
            {Kind::System, "system"}, {Kind::Pinned, "pinned"}, {Kind::Unverified, "unverified"}};
        for (const auto setting :
             {EncryptionSetting::Optional, EncryptionSetting::Mandatory, EncryptionSetting::Strict})
            for (const auto& [driver, driverLabel] : drivers)
                for (const auto& [trust, trustLabel] : trusts)
                    for (const bool sqlLogin : {true, false})
                        if (!EncryptionKeywordMap::map(setting, driver, {trust, QStringLiteral("/p.pem"), {}})
                                 .refused())
                            QTest::addRow("%s %s %s %s", qPrintable(EncryptionSettings::storedName(setting)),
                                          driverLabel, trustLabel, sqlLogin ? "sql login" : "integrated")
                                << setting << driver << trust << sqlLogin;
    }

    void everyCombinationReachesTheDriverIntact() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(SqlServerDriver, driver);
        QFETCH(Kind, trust);
        QFETCH(bool, sqlLogin);
        const CertificateTrust certificate{trust, QStringLiteral("/home/u/.config/pins/db01 1433.pem"),
                                           QStringLiteral("db01.corp.example")};
        const EncryptionKeywords words = EncryptionKeywordMap::map(setting, driver, certificate);
        const bool freeTds = driver == SqlServerDriver::FreeTds;
        const ConnectionSecurity security{freeTds ? QStringLiteral("db01_1433_0a1b2c3d") : QString(), words.keywords};
        const QString server = QStringLiteral("db01,1433");
        const QString password = QStringLiteral("p;w=1");
        const QString text =
            sqlLogin ? ConnectionStrings::sqlServerAuthentication(server, "master", "sa", password, driverName(driver),
                                                                  security)
                     : ConnectionStrings::integratedAuthentication(server, "master", driverName(driver), security);

        QList<ReadKeyword> expected{{"DRIVER", driverName(driver), true}};
        expected << (freeTds ? ReadKeyword{"Servername", "db01_1433_0a1b2c3d", false}
                             : ReadKeyword{"SERVER", server, true});
        expected << ReadKeyword{"DATABASE", "master", true};
        if (sqlLogin)
            expected << ReadKeyword{"UID", "sa", true} << ReadKeyword{"PWD", password, true};
        else
            expected << ReadKeyword{"Trusted_Connection", "Yes", false};
        if (freeTds)
            expected << ReadKeyword{"TDS_Version", "7.4", false};
        for (const auto& [keyword, value] : words.keywords)
            expected << ReadKeyword{keyword, value, keyword == QLatin1String("ServerCertificate")}; // the blank
        QCOMPARE(readBack(text), expected);
    }

    // A value the user or a file could bend (a host name, a pin's path) cannot add a keyword.
    void valuesWithSeparatorsCannotAddKeywords_data() {
        QTest::addColumn<EncryptionSetting>("setting");
        QTest::addColumn<Kind>("trust");
        QTest::addColumn<QString>("pinFile");
        QTest::addColumn<QString>("hostName");
        QTest::newRow("host name") << EncryptionSetting::Mandatory << Kind::System << ""
                                   << "x;TrustServerCertificate=yes";
        QTest::newRow("host name with a brace") << EncryptionSetting::Strict << Kind::System << ""
                                                << "x};TrustServerCertificate=yes;{";
        QTest::newRow("pin path") << EncryptionSetting::Strict << Kind::Pinned << "/p/a;Encrypt=no}.pem"
                                  << "";
    }

    void valuesWithSeparatorsCannotAddKeywords() {
        QFETCH(EncryptionSetting, setting);
        QFETCH(Kind, trust);
        QFETCH(QString, pinFile);
        QFETCH(QString, hostName);
        const EncryptionKeywords words =
            EncryptionKeywordMap::map(setting, SqlServerDriver::Microsoft18_1, {trust, pinFile, hostName});
        QVERIFY(!words.refused());
        const QString text = ConnectionStrings::sqlServerAuthentication(
            "db01", "master", "sa", "pw", driverName(SqlServerDriver::Microsoft18_1), {{}, words.keywords});
        QList<QPair<QString, QString>> security;
        for (const ReadKeyword& k : readBack(text).mid(5))
            security << qMakePair(k.keyword, k.value);
        QCOMPARE(security, words.keywords);
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
