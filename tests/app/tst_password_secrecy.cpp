// The password never shows: the program is driven through right and wrong logins, server
// errors, a lost server and refused values with a distinctive password, and then every text it
// showed or wrote, and everything the simulator printed, logged or left in its state directory,
// is searched for that password.

#include "ConnectionStrings.h"
#include "EDatabaseError.h"
#include "EventGuard.h"
#include "MessageBox.h"
#include "RecentServers.h"
#include "ServerDiscovery.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "LoopbackPeers.h"
#include "WindowDriver.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace LoopbackPeers;

namespace {

// Distinctive, with the characters that get quoted or escaped on the way, and Chinese.
const QString kSecret = QStringLiteral("Qx7;Secr=t'--/*口令*/Zz");

// Sends this process's standard error to a file for the scope (the driver and Qt write there).
class StderrCapture {
public:
    StderrCapture() {
        file_.open();
        saved_ = dup(STDERR_FILENO);
        dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    QByteArray finish() {
        restore();
        QFile again(file_.fileName());
        return again.open(QIODevice::ReadOnly) ? again.readAll() : QByteArray();
    }

private:
    void restore() {
        if (saved_ < 0)
            return;
        fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

QStringList& loggedMessages() {
    static QStringList messages;
    return messages;
}

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    loggedMessages() << message;
}

// The password in the encodings a file or a pipe could hold it in.
QList<QByteArray> needles() {
    return {kSecret.toUtf8(), QByteArray(reinterpret_cast<const char*>(kSecret.utf16()), kSecret.size() * 2)};
}

bool holdsSecret(const QByteArray& bytes) {
    for (const QByteArray& needle : needles())
        if (bytes.contains(needle))
            return true;
    return false;
}

} // namespace

class TestPasswordSecrecy : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home; // where the program keeps its settings during the test

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        QStandardPaths::setTestModeEnabled(true);
    }

    void passwordNeverShows() {
        DiscoveryTargets quiet;
        quiet.browserPort = freeTcpPort();
        quiet.defaultInstancePort = freeTcpPort();

        QStringList shown; // every text the program put in front of the user or wrote out
        StderrCapture programStderr;
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);

        SimServer sim;
        QVERIFY2(sim.start({"--seed", "--login", "keeper:" + kSecret}), qPrintable(sim.errorString()));
        const QString server = QStringLiteral("127.0.0.1,%1").arg(sim.port());
        {
            TFrmMain window(MainWindowSetup{quiet, {}, [](const QUrl&) {}, true, WindowDriver::testSecurity()});
            ScopedMessageBoxRecorder boxes(&window);
            window.createPickers();
            window.CmbServer->setEditText(server);
            window.EdtUid->setText(QStringLiteral("keeper"));

            // The right password: connected, the lists filled.
            window.EdtPwd->setText(kSecret);
            window.BtnConn->click();
            QCOMPARE(window.lblDbInfo->text(), QStringLiteral("已连接SQL SERVER服务器"));
            QVERIFY(window.TabSheet1->LsbDB->count() > 0);
            // The search would find it where it is.
            QVERIFY(window.EdtPwd->text() == kSecret);

            // A server error through the default error display, and a failed backup in the log.
            guarded(&window, [&] { window.TabSheet2->FillBfjList(QStringLiteral("C:\\none.bak")); });
            window.TabSheet1->EdtPath->setText(QStringLiteral("C:\\NoDir\\"));
            window.TabSheet1->LsbDB->item(0)->setCheckState(Qt::Checked);
            window.TabSheet1->BtnBackupClick();
            shown << window.TabSheet1->MemoInfo->toPlainText();

            // The server goes away under the connection: the driver's own error.
            sim.kill();
            guarded(&window, [&] { window.TabSheet2->FillBfjList(QStringLiteral("C:\\none.bak")); });
            QVERIFY2(sim.restart(), qPrintable(sim.errorString()));
            window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(sim.port()));
            window.BtnConn->click(); // disconnect
            shown << window.lblDbInfo->text();

            // A wrong password.
            window.EdtPwd->setText(kSecret + u'!');
            window.BtnConn->click();
            QCOMPARE(window.lblDbInfo->text(), QStringLiteral("SQL SERVER服务器连接失败"));
            shown << window.lblDbInfo->text();

            for (const MessageBox::Shown& box : boxes.shown())
                shown << box.caption << box.text;
            QVERIFY(boxes.shown().size() >= 2);
        }

        // The layer below the window: the ODBC error of a refused login, and a value refused
        // before it reaches the driver.
        for (const QString& password : {kSecret + u'!', kSecret + u'}'}) {
            TADOConnection c;
            try {
                c.setConnectionString(ConnectionStrings::sqlServerAuthentication(
                    QStringLiteral("127.0.0.1,%1").arg(sim.port()), QStringLiteral("master"), QStringLiteral("keeper"),
                    password));
                c.setConnectionTimeout(10);
                c.Open();
                QFAIL("a wrong password connected");
            } catch (const EDatabaseError& e) {
                shown << e.message() << QString::fromUtf8(e.what());
            }
        }
        sim.stop();
        qInstallMessageHandler(previous);
        const QByteArray stderrBytes = programStderr.finish();

        // The logins did reach the server (the log names the login, and only that).
        bool keeperLogged = false;
        for (const QJsonObject& record : sim.statementRecords())
            keeperLogged = keeperLogged || record.value(QStringLiteral("login")).toString() == QLatin1String("keeper");
        QVERIFY(keeperLogged);

        for (const QString& text : shown + loggedMessages())
            QVERIFY2(!text.contains(kSecret), qPrintable(text));
        QVERIFY2(!holdsSecret(stderrBytes), stderrBytes.constData());
        QVERIFY2(!sim.output().contains(kSecret), qPrintable(sim.output()));
        QVERIFY2(!sim.errorOutput().contains(kSecret), qPrintable(sim.errorOutput()));
        int files = 0;
        QDirIterator it(sim.stateDir(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!holdsSecret(file.readAll()), qPrintable(path));
            ++files;
        }
        QVERIFY(files > 3); // catalog, statement log, database files

        // Every file the program wrote: the remembered login is there, its password is not.
        QCOMPARE(RecentServers().servers().value(0).userName, QStringLiteral("keeper"));
        int written = 0;
        QDirIterator own(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (own.hasNext()) {
            QFile file(own.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(!holdsSecret(bytes) && !bytes.contains(kSecret.toUtf8().toPercentEncoding()),
                     qPrintable(file.fileName()));
            ++written;
        }
        QVERIFY(written > 0);
    }

    // Without --login the simulator makes up the sa password: it goes to a file only the owner
    // may read, and its standard error names the file, not the password.
    void generatedPasswordIsKeptOutOfTheOutput() {
        QTemporaryDir state;
        QProcess sim;
        sim.start(SimServer::executablePath(), {"--port", "0", "--state", state.path()});
        QVERIFY(sim.waitForStarted(10000));
        QByteArray out;
        QDeadlineTimer deadline(20000);
        while (!out.contains("ready port=") && !deadline.hasExpired() && sim.state() == QProcess::Running) {
            sim.waitForReadyRead(100);
            out += sim.readAllStandardOutput();
        }
        const QRegularExpressionMatch port = QRegularExpression("ready port=(\\d+)").match(QString::fromUtf8(out));
        QVERIFY2(port.hasMatch(), out.constData());

        QFile kept(state.filePath("sa-password"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QString password = QString::fromUtf8(kept.readAll()).trimmed();
        QVERIFY(!password.isEmpty());
        QCOMPARE(kept.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                                       QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        TADOConnection c;
        c.setConnectionString(
            ConnectionStrings::sqlServerAuthentication("127.0.0.1," + port.captured(1), "master", "sa", password));
        c.setConnectionTimeout(10);
        c.Open();
        QVERIFY(c.Connected());
        c.Close();

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(err.contains(QFile::encodeName(kept.fileName())), err.constData());
        QVERIFY2(!err.contains(password.toUtf8()), err.constData());
        QVERIFY(!(out + sim.readAllStandardOutput()).contains(password.toUtf8()));
    }
};

QTEST_MAIN(TestPasswordSecrecy)
#include "tst_password_secrecy.moc"
