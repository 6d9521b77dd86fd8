// The remembered servers on the options page: listed most recent first, forgotten one at a
// time, and what the page forgot stays forgotten for the next start.
#include "CertificatePins.h"
#include "OptionsPage.h"
#include "RecentServers.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList listed(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QStringList remembered() {
    QStringList names;
    for (const RememberedServer& server : RecentServers().servers())
        names << server.server;
    return names;
}

} // namespace

class TestRememberedServers : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home;
    std::unique_ptr<CertificatePins> pins_;
    QString optionsFile() const { return QDir(home.path()).filePath(QStringLiteral("options.ini")); }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(RecentServers::defaultFile().startsWith(home.path()));
        pins_ = std::make_unique<CertificatePins>(QDir(home.path()).filePath(QStringLiteral("certificates.ini")));
    }
    void init() {
        QFile::remove(RecentServers::defaultFile());
        for (const char* server : {"db3", "db2\\INST", "db1,1500"})
            QVERIFY(RecentServers().remember({server, Authentication::SqlServer, "u"}));
    }

    void forgetsTheChosenServer_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("the most recent") << 0 << QStringList{"db2\\INST", "db3"};
        QTest::newRow("one in the middle") << 1 << QStringList{"db1,1500", "db3"};
        QTest::newRow("the oldest") << 2 << QStringList{"db1,1500", "db2\\INST"};
    }
    void forgetsTheChosenServer() {
        QFETCH(int, row);
        QFETCH(QStringList, left);
        OptionsPage page(*pins_, optionsFile());
        QSignalSpy forgotten(&page, &OptionsPage::serverForgotten);
        QCOMPARE(listed(page.LsbServers), (QStringList{"db1,1500", "db2\\INST", "db3"}));
        QVERIFY(!page.BtnForgetServer->isEnabled()); // nothing chosen yet
        const QString chosen = page.LsbServers->item(row)->text();
        page.LsbServers->setCurrentRow(row);
        QVERIFY(page.BtnForgetServer->isEnabled());
        page.BtnForgetServer->click();
        QCOMPARE(listed(page.LsbServers), left);
        QCOMPARE(remembered(), left); // as the next start reads it
        QCOMPARE(forgotten.size(), 1);
        QCOMPARE(forgotten.first().first().toString(), chosen);
        QVERIFY(!page.BtnForgetServer->isEnabled());
    }

    // A server remembered while the page was hidden is there when it is shown again.
    void showingThePageRereadsTheList() {
        OptionsPage page(*pins_, optionsFile());
        QVERIFY(RecentServers().remember({"new", Authentication::Integrated, {}}));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(listed(page.LsbServers).value(0), QStringLiteral("new"));
    }
};

QTEST_MAIN(TestRememberedServers)
#include "tst_remembered_servers.moc"
