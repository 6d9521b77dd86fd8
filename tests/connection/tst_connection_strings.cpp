// Connection strings, value quoting, statement escaping and driver message clean-up: the pieces
// that decide what reaches the driver and the server.

#include "ConnectionStrings.h"
#include "OdbcDiagnostics.h"
#include "SqlText.h"

#include <QtTest>

class TestConnectionStrings : public QObject {
    Q_OBJECT
private slots:
    void quotesEveryValueSoNoKeywordCanBeAdded_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("plain") << "sa" << "{sa}";
        QTest::newRow("semicolon and keyword") << "x;UID=other" << "{x;UID=other}";
        QTest::newRow("closing brace doubled") << "a}b" << "{a}}b}";
        QTest::newRow("braces and equals") << "{p=1}" << "{{p=1}}}";
        QTest::newRow("blanks kept") << " pw " << "{ pw }";
        QTest::newRow("empty") << "" << "{}";
        QTest::newRow("chinese") << "口令" << "{口令}";
    }
    void quotesEveryValueSoNoKeywordCanBeAdded() {
        QFETCH(QString, value);
        QFETCH(QString, quoted);
        QCOMPARE(ConnectionStrings::quoteValue(value), quoted);
    }

    void sqlLoginCarriesServerDatabaseUserAndPassword() {
        const QString cs = ConnectionStrings::sqlServerAuthentication("db1\\INST", "master", "sa", "p;w", "FreeTDS");

        QCOMPARE(cs, QStringLiteral("DRIVER={FreeTDS};SERVER={db1\\INST};DATABASE={master};UID={sa};PWD={p;w};"
                                    "TDS_Version=7.4"));
    }

    void integratedLoginDropsUserAndPassword() {
        const QString cs =
            ConnectionStrings::integratedAuthentication("host,1500", "master", "ODBC Driver 18 for SQL Server");
        QCOMPARE(cs, QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER={host,1500};DATABASE={master};"
                                    "Trusted_Connection=Yes"));
    }

    void choosesAnInstalledSqlServerDriver() {
        // The test machine has FreeTDS registered by its package; Microsoft's drivers win when present.
        const QString driver = ConnectionStrings::chooseDriver();
        QVERIFY2(!driver.isEmpty(), "no SQL Server ODBC driver is installed");
    }

    void escapesNamesAndLiterals_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("bracketed");
        QTest::addColumn<QString>("literal");
        QTest::newRow("plain") << "Sales" << "Sales" << "Sales";
        QTest::newRow("closing bracket") << "a]b" << "a]]b" << "a]b";
        QTest::newRow("quote") << "O'Brien" << "O'Brien" << "O''Brien";
        QTest::newRow("both, twice") << "]]''" << "]]]]''" << "]]''''";
        QTest::newRow("comment and separator") << "x'; DROP--" << "x'; DROP--" << "x''; DROP--";
    }
    void escapesNamesAndLiterals() {
        QFETCH(QString, value);
        QFETCH(QString, bracketed);
        QFETCH(QString, literal);
        QCOMPARE(SqlText::bracketed(value), bracketed);
        QCOMPARE(SqlText::literal(value), literal);
    }

    void stripsDriverPrefixes_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("freetds") << "[FreeTDS][SQL Server]Login failed for user 'sa'."
                                 << "Login failed for user 'sa'.";
        QTest::newRow("microsoft") << "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'x'."
                                   << "Invalid object name 'x'.";
        QTest::newRow("unixodbc") << "[unixODBC][Driver Manager]Data source name not found"
                                  << "Data source name not found";
        QTest::newRow("brackets inside kept") << "[FreeTDS]Cannot open [x]" << "Cannot open [x]";
    }
    void stripsDriverPrefixes() {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QCOMPARE(stripDriverPrefixes(raw), shown);
    }

    void joinsErrorsOnePerLineLeavingOutInformation() {
        const QList<OdbcDiagnostic> records{{"01000", 4035, "Processed 8 pages."},
                                            {"42000", 3201, "Cannot open backup device 'X'."},
                                            {"42000", 3013, "BACKUP DATABASE is terminating abnormally."}};
        const EDatabaseError e = errorFromDiagnostics(records, "fallback");
        QCOMPARE(e.message(),
                 QStringLiteral("Cannot open backup device 'X'.\nBACKUP DATABASE is terminating abnormally."));
        QCOMPARE(e.nativeError(), 3201);
        QCOMPARE(QString::fromUtf8(e.what()), e.message());
    }
};

QTEST_GUILESS_MAIN(TestConnectionStrings)
#include "tst_connection_strings.moc"
