// The encryption step through the real window, against the simulator over the FreeTDS ODBC
// driver: the trust question before any password leaves, the pin and its line on the 选项 page,
// a renewed certificate, a man in the middle, and each setting against each of the simulator's
// encryption modes. A relay in front of the server counts connections and keeps what the
// program put on the wire.

#include "CertificateInfo.h"
#include "CertificatePins.h"
#include "FakeTlsServer.h"
#include "MessageBox.h"
#include "NewTexts.h"
#include "SimServer.h"
#include "StallingProxy.h"
#include "TADOConnection.h"
#include "UntMain.h"
#include "WindowDriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <openssl/ssl.h>

#include <memory>

namespace {

const QString kConnected = QStringLiteral("已连接SQL SERVER服务器");
const QString kFailed = QStringLiteral("SQL SERVER服务器连接失败");
const QString kQuestionCaption = QStringLiteral("问题");
const QString kWarningCaption = QStringLiteral("警告");

QString serverText(quint16 port) {
    return QStringLiteral("127.0.0.1,%1").arg(port);
}

// The password as it would cross without TLS: as typed, as UTF-16, and as LOGIN7 scrambles it
// (each byte of the UTF-16 form with its nibbles swapped, then XOR 0xA5).
bool showsPassword(const QByteArray& wire) {
    const QString password = SimServer::password();
    const QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
    QByteArray scrambled = utf16;
    for (char& byte : scrambled) {
        const auto b = quint8(byte);
        byte = char(quint8((b << 4) | (b >> 4)) ^ 0xA5);
    }
    return wire.contains(password.toUtf8()) || wire.contains(utf16) || wire.contains(scrambled);
}

// The certificate sqlsim made for itself and keeps in its state directory (--keep-certificate).
std::optional<CertificateInfo> keptCertificate(const SimServer& sim) {
    QFile file(sim.stateDir() + QStringLiteral("/state/tls-certificate.pem"));
    return file.open(QIODevice::ReadOnly) ? CertificateReader::fromPem(file.readAll()) : std::nullopt;
}

// Gone, so that the next start makes a new one, as SQL Server does at every start without a
// configured certificate.
void dropKeptCertificate(const SimServer& sim) {
    QFile::remove(sim.stateDir() + QStringLiteral("/state/tls-certificate.pem"));
    QFile::remove(sim.stateDir() + QStringLiteral("/state/tls-key.pem"));
}

// True when text is the template with %1 filled and whatever detail in place of %2, if any.
bool fillsTemplate(const QString& text, const QString& filledTemplate) {
    const qsizetype hole = filledTemplate.indexOf(QLatin1String("%2"));
    if (hole < 0)
        return text == filledTemplate;
    const QString before = filledTemplate.left(hole);
    const QString after = filledTemplate.mid(hole + 2);
    return text.size() > before.size() + after.size() && text.startsWith(before) && text.endsWith(after);
}

// The changed-certificate warning up to the new certificate's details, for that server.
QString changedWarningStart(const QString& server) {
    return NewTexts::text(NewTexts::CertificateChangedWarning).arg(server).section(QStringLiteral("%2"), 0, 0);
}

// A server that answers PRELOGIN like SQL Server and shows a certificate of its own with the
// genuine server's names, as a man in the middle would.
std::unique_ptr<FakeTlsServer> impostor(const TestKeyPair& key) {
    TestCertificateSpec spec;
    spec.ipAddresses = {QStringLiteral("127.0.0.1")};
    spec.dnsNames = {QStringLiteral("localhost")};
    FakeServerSetup setup;
    setup.preloginEncryption = 0x00;
    setup.certificateDer = TestCertificates::make(key, spec);
    setup.key = &key;
    setup.maxTlsVersion = TLS1_2_VERSION; // as sqlsim: FreeTDS's tunnelled handshake stops at 1.2
    return std::make_unique<FakeTlsServer>(setup);
}

// The program's settings directory for one test; certificates checked against the system's
// trust store unless a CA file is given.
class TrustDirectory {
public:
    explicit TrustDirectory(const QString& caFile = {}) : files_{dir_.path(), caFile} {}
    const SecurityFiles& files() const { return files_; }
    std::optional<CertificateInfo> pinned(const QString& server) const {
        return CertificatePins(files_.pinsFile()).lookup(server);
    }

private:
    QTemporaryDir dir_;
    SecurityFiles files_;
};

// A window on that directory whose boxes are answered No unless a test queues Yes.
class EncryptingWindow {
public:
    explicit EncryptingWindow(const TrustDirectory& trust) {
        MainWindowSetup setup = WindowDriver::quietSetup();
        setup.security = trust.files();
        SecureConnectStep::useOwnFreeTdsConfig(setup.security);
        window_ = std::make_unique<TFrmMain>(setup);
        boxes_ = std::make_unique<ScopedMessageBoxRecorder>(window_.get(), QMessageBox::No);
    }

    TFrmMain& window() { return *window_; }
    ScopedMessageBoxRecorder& boxes() { return *boxes_; }
    QString status() const { return window_->lblDbInfo->text(); }

    void choose(const char* setting) {
        QComboBox* combo = window_->TabSheet3->CmbEncryption;
        const int index = combo->findText(NewTexts::text(setting));
        QVERIFY(index >= 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    void connectTo(quint16 port) { WindowDriver::connectTo(*window_, port, SimServer::login(), SimServer::password()); }
    void disconnect() {
        if (window_->connection() && window_->connection()->Connected())
            window_->BtnConn->click();
    }

    // The 选项 page's list of trusted certificates: server and fingerprint per line.
    QStringList listedCertificates() const {
        QStringList lines;
        QTreeWidget* list = window_->TabSheet3->LvCertificates;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            lines << list->topLevelItem(i)->text(0) + QLatin1Char(' ') + list->topLevelItem(i)->text(1);
        return lines;
    }

private:
    std::unique_ptr<TFrmMain> window_;
    std::unique_ptr<ScopedMessageBoxRecorder> boxes_;
};

} // namespace

class TestWindowEncryption : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qunsetenv("SSL_CERT_FILE"); // the system's trust store, which vouches for no test certificate
    }

    void trustQuestionComesBeforeTheLogin_data() {
        QTest::addColumn<bool>("trust");
        QTest::newRow("No: the attempt fails") << false;
        QTest::newRow("Yes: pinned, connected, asked once") << true;
    }

    void trustQuestionComesBeforeTheLogin() {
        QFETCH(bool, trust);
        SimServer sim;
        QVERIFY2(sim.start({QStringLiteral("--keep-certificate")}), qPrintable(sim.errorString()));
        const std::optional<CertificateInfo> served = keptCertificate(sim);
        QVERIFY(served);
        StallingProxy relay(sim.port());
        const QString server = serverText(relay.port());
        TrustDirectory trustDirectory;
        {
            EncryptingWindow w(trustDirectory);
            if (trust)
                w.boxes().queueAnswer(QMessageBox::Yes);
            int connectionsWhenAsked = -1;
            qsizetype statementsWhenAsked = -1;
            w.boxes().onShown([&](const MessageBox::Shown&) {
                connectionsWhenAsked = relay.connections();
                statementsWhenAsked = sim.statementRecords().size();
            });
            w.connectTo(relay.port());
            QCOMPARE(connectionsWhenAsked, 1); // the certificate check's own; the driver has not started
            QCOMPARE(statementsWhenAsked, 0);

            QCOMPARE(w.boxes().shown().size(), 1);
            const MessageBox::Shown question = w.boxes().shown().first();
            QCOMPARE(question.caption, kQuestionCaption);
            QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
            for (const QString& part :
                 {server, served->issuer, served->subject, served->notBefore.toLocalTime().toString(u"yyyy-MM-dd"),
                  served->notAfter.toLocalTime().toString(u"yyyy-MM-dd"), served->fingerprintText()})
                QVERIFY2(question.text.contains(part), qPrintable(part));

            if (!trust) {
                QCOMPARE(w.status(), kFailed);
                QCOMPARE(relay.connections(), 1); // the driver never started
                QVERIFY(sim.statementRecords().isEmpty());
                QVERIFY(!trustDirectory.pinned(server));
                QVERIFY(w.listedCertificates().isEmpty());
                return;
            }
            QCOMPARE(w.status(), kConnected);
            QCOMPARE(trustDirectory.pinned(server)->sha256, served->sha256);
            QCOMPARE(w.listedCertificates(), QStringList{server + u' ' + served->fingerprintText()});
        }
        // The program started again: the pin is in the user's settings, nothing is asked.
        EncryptingWindow again(trustDirectory);
        QCOMPARE(again.listedCertificates().size(), 1);
        again.connectTo(relay.port());
        QCOMPARE(again.status(), kConnected);
        QVERIFY(again.boxes().shown().isEmpty());
        QVERIFY(!showsPassword(relay.sentByClients()));
    }

    // Removed on the 选项 page: the next connection asks again instead of trusting it.
    void forgottenCertificateIsAskedAboutAgain() {
        SimServer sim;
        QVERIFY2(sim.start({QStringLiteral("--keep-certificate")}), qPrintable(sim.errorString()));
        TrustDirectory trustDirectory;
        EncryptingWindow w(trustDirectory);
        w.boxes().queueAnswer(QMessageBox::Yes);
        w.connectTo(sim.port());
        QCOMPARE(w.status(), kConnected);
        w.disconnect();

        QTreeWidget* list = w.window().TabSheet3->LvCertificates;
        list->setCurrentItem(list->topLevelItem(0));
        w.window().TabSheet3->BtnForget->click();
        QVERIFY(w.listedCertificates().isEmpty());
        QVERIFY(!trustDirectory.pinned(serverText(sim.port())));

        w.boxes().clear();
        w.connectTo(sim.port());
        QCOMPARE(w.boxes().shown().size(), 1);
        QCOMPARE(w.boxes().shown().first().caption, kQuestionCaption);
        QCOMPARE(w.status(), kFailed);
    }

    void renewedCertificateIsRefusedUntilTrusted() {
        SimServer sim;
        QVERIFY2(sim.start({QStringLiteral("--keep-certificate")}), qPrintable(sim.errorString()));
        const std::optional<CertificateInfo> first = keptCertificate(sim);
        StallingProxy relay(sim.port());
        const QString server = serverText(relay.port());
        TrustDirectory trustDirectory;
        EncryptingWindow w(trustDirectory);
        w.boxes().queueAnswer(QMessageBox::Yes);
        w.connectTo(relay.port());
        QCOMPARE(w.status(), kConnected);
        w.disconnect();

        dropKeptCertificate(sim);
        QVERIFY2(sim.restart(), qPrintable(sim.errorString()));
        relay.redirect(sim.port());
        const std::optional<CertificateInfo> renewed = keptCertificate(sim);
        QVERIFY(first && renewed && renewed->sha256 != first->sha256);

        auto checkBoxes = [&] {
            const QList<MessageBox::Shown> shown = w.boxes().shown();
            QCOMPARE(shown.size(), 2);
            QCOMPARE(shown[0].caption, kWarningCaption);
            QVERIFY2(shown[0].text.startsWith(changedWarningStart(server)), qPrintable(shown[0].text));
            QVERIFY(shown[0].text.contains(renewed->fingerprintText()));
            QVERIFY(!shown[0].text.contains(first->fingerprintText()));
            QCOMPARE(shown[1].caption, kQuestionCaption);
            QCOMPARE(shown[1].text, NewTexts::text(NewTexts::TrustChangedCertificateQuestion).arg(server));
        };

        w.boxes().clear();
        w.connectTo(relay.port());
        checkBoxes();
        QCOMPARE(w.status(), kFailed);
        QCOMPARE(trustDirectory.pinned(server)->sha256, first->sha256);
        QCOMPARE(w.listedCertificates(), QStringList{server + u' ' + first->fingerprintText()});

        w.boxes().clear();
        w.boxes().queueAnswer(QMessageBox::Ok); // the warning
        w.boxes().queueAnswer(QMessageBox::Yes);
        w.connectTo(relay.port());
        checkBoxes();
        QCOMPARE(w.status(), kConnected);
        QCOMPARE(trustDirectory.pinned(server)->sha256, renewed->sha256);
        QCOMPARE(w.listedCertificates(), QStringList{server + u' ' + renewed->fingerprintText()});
    }

    // A relay that answers with its own certificate, for every connection (the certificate check
    // sees it) or only from the driver's connection on (the driver must refuse it by itself).
    void manInTheMiddleGetsNoPassword_data() {
        QTest::addColumn<bool>("testCa");       // trust by the test CA in ca file, else by a pin
        QTest::addColumn<int>("passedThrough"); // connections the relay still sends to sqlsim
        QTest::addColumn<bool>("warned");
        QTest::newRow("pinned, every connection") << false << 0 << true;
        QTest::newRow("pinned, the driver's connection") << false << 1 << false;
        QTest::newRow("test CA, the driver's connection") << true << 1 << false;
    }

    void manInTheMiddleGetsNoPassword() {
        QFETCH(bool, testCa);
        QFETCH(int, passedThrough);
        QFETCH(bool, warned);
        SimServer sim;
        QVERIFY2(sim.start(testCa ? QStringList() : QStringList{QStringLiteral("--keep-certificate")}),
                 qPrintable(sim.errorString()));
        StallingProxy relay(sim.port());
        const QString server = serverText(relay.port());
        TrustDirectory trustDirectory(testCa ? SimServer::testCaFile() : QString());
        EncryptingWindow w(trustDirectory);
        if (!testCa)
            w.boxes().queueAnswer(QMessageBox::Yes);
        w.connectTo(relay.port());
        QCOMPARE(w.status(), kConnected);
        w.disconnect();
        const std::optional<CertificateInfo> genuine = trustDirectory.pinned(server);
        QCOMPARE(bool(genuine), !testCa);

        const TestKeyPair key;
        const std::unique_ptr<FakeTlsServer> relayEnd = impostor(key);
        relay.redirect(relayEnd->port(), passedThrough);
        const QByteArray sentBefore = relay.sentByClients();
        w.boxes().clear();
        w.connectTo(relay.port());

        QCOMPARE(w.status(), kFailed);
        QVERIFY(relayEnd->connections() >= 1);
        QCOMPARE(relayEnd->received(), QByteArray()); // not a byte inside TLS, so no LOGIN7
        QVERIFY(!showsPassword(relayEnd->wire()));
        QVERIFY(!showsPassword(relay.sentByClients().mid(sentBefore.size())));
        QCOMPARE(w.boxes().shown().size(), warned ? 2 : 0);
        if (warned)
            QVERIFY(w.boxes().shown().first().text.startsWith(changedWarningStart(server)));
        if (genuine)
            QCOMPARE(trustDirectory.pinned(server)->sha256, genuine->sha256);
    }

    // The window trusts the test CA that signs sqlsim's certificate, so 强制 asks nothing.
    void settingAgainstServer_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<bool>("connects");
        QTest::addColumn<QString>("warning");     // a 警告 box; %1 the server, %2 any detail
        QTest::addColumn<int>("connections");     // reaching the relay, when it matters (else -1)
        QTest::addColumn<bool>("passwordHidden"); // from anyone reading the wire

        const QString optional = NewTexts::text(NewTexts::EncryptionOptional);
        const QString mandatory = NewTexts::text(NewTexts::EncryptionMandatory);
        const QString strict = NewTexts::text(NewTexts::EncryptionStrict);
        auto mode = [](const char* name) {
            return QStringList{QStringLiteral("--encryption"), QString::fromLatin1(name)};
        };
        const QString notSupported = NewTexts::text(NewTexts::TlsNotSupported);
        const QString mismatch = NewTexts::text(NewTexts::TlsVersionMismatch);
        const QString strictRefused = NewTexts::text(NewTexts::StrictNotSupported).arg(QStringLiteral("FreeTDS"));

        QTest::newRow("可选, server off") << optional << mode("off") << true << "" << 1 << true;
        QTest::newRow("可选, server force") << optional << mode("force") << true << "" << 1 << true;
        QTest::newRow("可选, server strict") << optional << mode("strict") << false << "" << -1 << true;
        QTest::newRow("可选, server none: in clear") << optional << mode("none") << true << "" << 1 << false;
        QTest::newRow("强制, server off, test CA: no question") << mandatory << mode("off") << true << "" << 2 << true;
        QTest::newRow("强制, server force") << mandatory << mode("force") << true << "" << 2 << true;
        QTest::newRow("强制, server strict") << mandatory << mode("strict") << false << "" << -1 << true;
        QTest::newRow("强制, server none") << mandatory << mode("none") << false << notSupported << 1 << true;
        QTest::newRow("强制, server speaks TLS 1.0 only")
            << mandatory << QStringList{QStringLiteral("--tls-versions"), QStringLiteral("1.0")} << false << mismatch
            << 1 << true;
        QTest::newRow("强制, server speaks TLS 1.3 only")
            << mandatory << QStringList{QStringLiteral("--tls-versions"), QStringLiteral("1.3")} << false << mismatch
            << 1 << true;
        // 可选 checks nothing: whatever the driver agrees to.
        QTest::newRow("可选, server speaks TLS 1.0 only")
            << optional << QStringList{QStringLiteral("--tls-versions"), QStringLiteral("1.0")} << true << "" << 1
            << true;
        QTest::newRow("严格 with FreeTDS, server strict")
            << strict << mode("strict") << false << strictRefused << 0 << true;
    }

    void settingAgainstServer() {
        QFETCH(QString, setting);
        QFETCH(QStringList, serverArgs);
        QFETCH(bool, connects);
        QFETCH(QString, warning);
        QFETCH(int, connections);
        QFETCH(bool, passwordHidden);
        SimServer sim;
        QVERIFY2(sim.start(serverArgs), qPrintable(sim.errorString()));
        StallingProxy relay(sim.port());
        const QString server = serverText(relay.port());
        TrustDirectory trustDirectory(SimServer::testCaFile());
        EncryptingWindow w(trustDirectory);
        w.choose(setting.toUtf8().constData());
        w.connectTo(relay.port());

        QCOMPARE(w.status(), connects ? kConnected : kFailed);
        QVERIFY(w.listedCertificates().isEmpty());
        if (warning.isEmpty()) {
            QVERIFY(w.boxes().shown().isEmpty());
        } else {
            QCOMPARE(w.boxes().shown().size(), 1);
            const MessageBox::Shown box = w.boxes().shown().first();
            QCOMPARE(box.caption, kWarningCaption);
            const QString expected = warning.contains(QLatin1String("%1")) ? warning.arg(server) : warning;
            QVERIFY2(fillsTemplate(box.text, expected), qPrintable(box.text));
        }
        if (connections >= 0)
            QCOMPARE(relay.connections(), connections);
        // Only a login that went through leaves statements in the log.
        QCOMPARE(!sim.statementRecords().isEmpty(), connects);
        QCOMPARE(!showsPassword(relay.sentByClients()), passwordHidden);
    }
};

QTEST_MAIN(TestWindowEncryption)
#include "tst_window_encryption.moc"
