// sqlsim as tedious meets it: login, the program's statement families, errors, progress,
// cancel and time-out, each a scenario of sqlsim-suite.js run by Node against a fresh simulator.

#include "SimServer.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestTediousInterop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        node_ = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (node_.isEmpty())
            QSKIP("node is not installed; scripts/setup-deps installs it with tedious");
        if (!QFileInfo::exists(QStringLiteral(INTEROP_DIR "/node_modules/tedious/package.json")))
            QSKIP("tedious is not installed in tests/interop/node_modules; run scripts/setup-deps");
    }

    void scenario_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("simulatorArgs");
        const QStringList fast{"--seed"};
        // SalesDemo's 4 MB take about 1.6 s: long enough to watch and to stop.
        const QStringList slow{"--seed", "--delay-per-mb", "400"};
        QTest::newRow("login") << "login" << fast;
        QTest::newRow("database list and server time") << "databaseList" << fast;
        QTest::newRow("file browsing") << "fileBrowsing" << fast;
        QTest::newRow("backup, header, file list, restore") << "backupAndRestore" << fast;
        QTest::newRow("errors") << "errors" << fast;
        QTest::newRow("prepared statements") << "prepared" << fast;
        QTest::newRow("progress arrives as it happens") << "progress" << slow;
        QTest::newRow("cancel") << "cancel" << slow;
        QTest::newRow("time-out") << "timeout" << slow;
    }
    void scenario() {
        QFETCH(QString, name);
        QFETCH(QStringList, simulatorArgs);
        SimServer sim;
        QVERIFY2(sim.start(simulatorArgs), qPrintable(sim.errorString()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SQLSIM_PORT"), QString::number(sim.port()));
        env.insert(QStringLiteral("SQLSIM_USER"), SimServer::login());
        env.insert(QStringLiteral("SQLSIM_PASSWORD"), SimServer::password());
        env.insert(QStringLiteral("SQLSIM_DRIVE_C"), sim.driveC());
        QProcess node;
        node.setProcessEnvironment(env);
        node.setProcessChannelMode(QProcess::MergedChannels);
        node.start(node_, {QStringLiteral(INTEROP_DIR "/sqlsim-suite.js"), name});
        QVERIFY(node.waitForStarted(5000));
        const bool finished = node.waitForFinished(60000);
        const QString output = QString::fromUtf8(node.readAll());
        if (!finished)
            node.kill();
        QVERIFY2(finished, qPrintable(output));
        QVERIFY2(node.exitStatus() == QProcess::NormalExit && node.exitCode() == 0, qPrintable(output));
    }

private:
    QString node_;
};

QTEST_GUILESS_MAIN(TestTediousInterop)
#include "tst_tedious_interop.moc"
