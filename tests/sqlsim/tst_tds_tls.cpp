// TLS as clients meet it: the answer to each PRELOGIN encryption offer, FreeTDS logging in
// through every mode with every setting while a relay reads the wire, the TLS versions the
// tunnelled handshake settles on, the certificate a server presents, and independent clients
// (python-tds, tedious) in the modes they support.

#include "RecordingRelay.h"
#include "SimServer.h"
#include "tds/Login7.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sql.h>
#include <sqlext.h>

#include <map>
#include <memory>

namespace {

const QString kProbe = QStringLiteral("Select GetDate() F_Date");

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// A PRELOGIN packet with VERSION, ENCRYPTION = offer, and the terminator.
QByteArray preLogin(quint8 offer) {
    const QByteArray body = QByteArray::fromHex("00000b0006") + QByteArray::fromHex("0100110001") + "\xff" +
                            QByteArray::fromHex("0f0000000000") + char(offer);
    QByteArray packet = QByteArray::fromHex("1201") + char(0) + char(body.size() + 8) + QByteArray(4, '\0');
    return packet + body;
}

// The B_FENCRYPTION byte of a PRELOGIN answer packet, or -1.
int encryptionInAnswer(const QByteArray& packet) {
    const QByteArray body = packet.mid(8);
    for (int i = 0; i + 5 <= body.size() && quint8(body[i]) != 0xFF; i += 5) {
        if (body[i] == 0x01) {
            const int offset = (quint8(body[i + 1]) << 8) | quint8(body[i + 2]);
            return offset < body.size() ? quint8(body[offset]) : -1;
        }
    }
    return -1;
}

// The version field of the first ServerHello inside the server's PRELOGIN packets, or 0.
int serverHelloVersion(const QByteArray& fromServer) {
    for (int at = 0; at + 8 <= fromServer.size();) {
        const int length = (quint8(fromServer[at + 2]) << 8) | quint8(fromServer[at + 3]);
        const QByteArray payload = fromServer.mid(at + 8, length - 8);
        // record header (5 bytes), handshake type 2, 3-byte length, then the version
        if (fromServer[at] == 0x12 && payload.size() > 11 && payload[0] == 0x16 && payload[5] == 0x02)
            return (quint8(payload[9]) << 8) | quint8(payload[10]);
        if (length < 8)
            return 0;
        at += length;
    }
    return 0;
}

template <SQLSMALLINT Type> struct OdbcFree {
    void operator()(void* h) const {
        if constexpr (Type == SQL_HANDLE_DBC)
            SQLDisconnect(h);
        SQLFreeHandle(Type, h);
    }
};
// A connection handle is disconnected before it is freed; disconnecting one that never
// connected only fails quietly.
using EnvPtr = std::unique_ptr<void, OdbcFree<SQL_HANDLE_ENV>>;
using DbcPtr = std::unique_ptr<void, OdbcFree<SQL_HANDLE_DBC>>;
using StmtPtr = std::unique_ptr<void, OdbcFree<SQL_HANDLE_STMT>>;

QString diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    QString text;
    SQLWCHAR state[6];
    SQLWCHAR message[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, state, &native, message, 1024, &length)); ++i)
        text += QString::fromUtf16(reinterpret_cast<const char16_t*>(message), length) + QLatin1Char('\n');
    return text.isEmpty() ? QStringLiteral("failed without a diagnostic") : text;
}

// A freetds.conf for this process's FreeTDS logins while it lives; FREETDSCONF comes back after.
class FreetdsConf {
public:
    explicit FreetdsConf(const QByteArray& text) : previous_(qgetenv("FREETDSCONF")) {
        QFile file(dir_.filePath(QStringLiteral("freetds.conf")));
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        qputenv("FREETDSCONF", file.fileName().toLocal8Bit());
    }
    ~FreetdsConf() {
        if (previous_.isEmpty())
            qunsetenv("FREETDSCONF");
        else
            qputenv("FREETDSCONF", previous_);
    }
    FreetdsConf(const FreetdsConf&) = delete;
    FreetdsConf& operator=(const FreetdsConf&) = delete;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

// One login through the FreeTDS ODBC driver. With a CA file the driver verifies the server's
// certificate and its host name; that setting exists only in a freetds.conf server section.
class FreetdsSession {
public:
    FreetdsSession(quint16 port, const QString& encryption, const QString& caFile = {}) {
        QString connection = QStringLiteral("DRIVER={FreeTDS};DATABASE=master;UID=%1;PWD={%2};")
                                 .arg(SimServer::login(), SimServer::password());
        std::unique_ptr<FreetdsConf> conf;
        if (caFile.isEmpty()) {
            connection +=
                QStringLiteral("SERVER=127.0.0.1,%1;TDS_Version=7.4;Encryption=%2;").arg(port).arg(encryption);
        } else {
            conf = std::make_unique<FreetdsConf>(QStringLiteral("[sim]\nhost = 127.0.0.1\nport = %1\n"
                                                                "tds version = 7.4\nencryption = %2\nca file = %3\n")
                                                     .arg(port)
                                                     .arg(encryption, caFile)
                                                     .toUtf8());
            connection += QStringLiteral("SERVERNAME=sim;");
        }
        SQLHANDLE h = SQL_NULL_HANDLE;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h);
        env_.reset(h);
        SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_.get(), &h);
        dbc_.reset(h);
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        const std::u16string text = connection.toStdU16String();
        if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc_.get(), nullptr,
                                             reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str())), SQL_NTS,
                                             nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            error_ = diagnostics(SQL_HANDLE_DBC, dbc_.get());
    }

    // Empty when the login went through, otherwise what the driver said.
    QString loginError() const { return error_; }

    // Runs a statement and fetches its first row: empty on success, otherwise the diagnostics.
    QString run(const QString& statement, int timeoutSeconds = 0) {
        SQLHANDLE h = SQL_NULL_HANDLE;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &h);
        StmtPtr stmt(h);
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(timeoutSeconds)), 0);
        const std::u16string text = statement.toStdU16String();
        if (!SQL_SUCCEEDED(SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str())),
                                          SQL_NTS)) ||
            !SQL_SUCCEEDED(SQLFetch(stmt.get())))
            return diagnostics(SQL_HANDLE_STMT, stmt.get());
        return {};
    }

private:
    EnvPtr env_;
    DbcPtr dbc_;
    QString error_;
};

// Logs in and runs the probe statement: empty on success, otherwise what the driver said.
QString freetdsLogin(quint16 port, const QString& encryption, const QString& caFile = {}) {
    FreetdsSession session(port, encryption, caFile);
    if (!session.loginError().isEmpty())
        return session.loginError();
    return session.run(kProbe);
}

QString runWithInput(const QString& program, const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return QStringLiteral("<did not start>");
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

QStringList fingerprints(const QString& errorOutput) {
    static const QRegularExpression line(QStringLiteral("certificate SHA-256 ([0-9A-F:]+)"));
    QStringList found;
    for (auto it = line.globalMatch(errorOutput); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

QString keptCertificate(const SimServer& sim) {
    return QDir(sim.stateDir()).filePath(QStringLiteral("state/tls-certificate.pem"));
}

} // namespace

class TestTdsTls : public QObject {
    Q_OBJECT

    std::map<QString, std::unique_ptr<SimServer>> sims_;
    QTemporaryDir certificates_;
    bool haveTestCa_ = false;

    // One server per mode, kept for the whole run; its certificate stays in its state directory
    // so that the clients that verify can be given it.
    SimServer& sim(const QString& mode) {
        auto& slot = sims_[mode];
        if (!slot) {
            slot = std::make_unique<SimServer>();
            QStringList args{"--encryption", mode};
            if (mode != QLatin1String("none"))
                args << "--keep-certificate";
            if (!slot->start(args))
                qFatal("%s", qPrintable(slot->errorString()));
        }
        return *slot;
    }

    bool openssl(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(certificates_.path());
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // A test CA, a server certificate it signed for 127.0.0.1 and localhost, and an unrelated CA.
    bool makeTestCertificates() {
        QFile extensions(certificates_.filePath(QStringLiteral("server.ext")));
        if (!extensions.open(QIODevice::WriteOnly))
            return false;
        extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n");
        extensions.close();
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
        return openssl(QStringList{"req", "-x509"} + ec +
                       QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Test CA", "-days", "2"}) &&
               openssl(
                   QStringList{"req", "-x509"} + ec +
                   QStringList{"-keyout", "other.key", "-out", "other.pem", "-subj", "/CN=Other CA", "-days", "2"}) &&
               openssl(QStringList{"req"} + ec +
                       QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"}) &&
               openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                        "-out", "server.pem", "-days", "2", "-extfile", "server.ext"});
    }

private slots:
    void initTestCase() {
        QVERIFY(certificates_.isValid());
        haveTestCa_ = !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty() && makeTestCertificates();
    }

    void preLoginAnswerFollowsTheNegotiationTable_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("offer");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("off, client off: login only") << "off" << 0x00 << 0x00 << false;
        QTest::newRow("off, client on") << "off" << 0x01 << 0x01 << false;
        QTest::newRow("off, client not_sup") << "off" << 0x02 << 0x02 << false;
        QTest::newRow("off, client req") << "off" << 0x03 << 0x01 << false;
        QTest::newRow("off, client on with the certificate flag") << "off" << 0x81 << 0x01 << false;
        QTest::newRow("force, client off") << "force" << 0x00 << 0x03 << false;
        QTest::newRow("force, client on") << "force" << 0x01 << 0x01 << false;
        QTest::newRow("force, client not_sup: turned away") << "force" << 0x02 << 0x03 << true;
        QTest::newRow("none, client off") << "none" << 0x00 << 0x02 << false;
        QTest::newRow("none, client on") << "none" << 0x01 << 0x02 << false;
    }
    void preLoginAnswerFollowsTheNegotiationTable() {
        QFETCH(QString, mode);
        QFETCH(int, offer);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), sim(mode).port());
        QVERIFY(s.waitForConnected(3000));
        s.write(preLogin(quint8(offer)));
        QByteArray reply;
        while (reply.size() < 8 || reply.size() < ((quint8(reply[2]) << 8) | quint8(reply[3]))) {
            QVERIFY(s.waitForReadyRead(3000));
            reply += s.readAll();
        }
        QCOMPARE(quint8(reply[0]), quint8(0x04));
        QCOMPARE(encryptionInAnswer(reply), answer);
        if (closes)
            QTRY_VERIFY_WITH_TIMEOUT((s.waitForReadyRead(50), s.state() != QAbstractSocket::ConnectedState), 3000);
    }

    void freetdsLogsInAsTheTableSays_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("wire"); // clear, login-only, session, refused
        QTest::newRow("off / off") << "off"
                                   << "off"
                                   << "clear";
        QTest::newRow("off / request") << "off"
                                       << "request"
                                       << "login-only";
        QTest::newRow("off / require") << "off"
                                       << "require"
                                       << "session";
        QTest::newRow("force / off") << "force"
                                     << "off"
                                     << "refused";
        QTest::newRow("force / request") << "force"
                                         << "request"
                                         << "session";
        QTest::newRow("force / require") << "force"
                                         << "require"
                                         << "session";
        QTest::newRow("strict / off") << "strict"
                                      << "off"
                                      << "refused";
        QTest::newRow("strict / request") << "strict"
                                          << "request"
                                          << "refused";
        QTest::newRow("strict / require") << "strict"
                                          << "require"
                                          << "refused";
        QTest::newRow("none / off") << "none"
                                    << "off"
                                    << "clear";
        QTest::newRow("none / request") << "none"
                                        << "request"
                                        << "clear";
        QTest::newRow("none / require") << "none"
                                        << "require"
                                        << "refused";
    }
    void freetdsLogsInAsTheTableSays() {
        QFETCH(QString, mode);
        QFETCH(QString, client);
        QFETCH(QString, wire);
        RecordingRelay relay(sim(mode).port());
        QVERIFY(relay.port() != 0);
        const QString error = freetdsLogin(relay.port(), client);
        if (wire == QLatin1String("refused")) {
            QVERIFY2(!error.isEmpty(), "the login went through");
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));

        const QByteArray sent = relay.fromClient();
        const QByteArray received = relay.fromServer();
        const bool passwordVisible = sent.contains(utf16(SimServer::password())) ||
                                     sent.contains(sqlsim::tds::scramblePassword(SimServer::password()));
        const bool statementVisible = sent.contains(utf16(kProbe));
        const bool loginAnswerVisible = received.contains(utf16(QStringLiteral("Changed database context")));
        const bool resultVisible = received.contains(utf16(QStringLiteral("F_Date")));
        if (wire == QLatin1String("clear")) {
            // Also shows that the searches below find what is there.
            QVERIFY(passwordVisible && statementVisible && loginAnswerVisible && resultVisible);
        } else if (wire == QLatin1String("login-only")) {
            QVERIFY2(!passwordVisible, "the login packet crossed the wire readable");
            QVERIFY(statementVisible && loginAnswerVisible && resultVisible);
        } else {
            QVERIFY(!passwordVisible && !statementVisible && !loginAnswerVisible && !resultVisible);
        }
    }

    void tunnelledHandshakeSettlesOnTheAllowedVersion_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("version");
        QTest::newRow("default: 1.3 is allowed, the tunnel stops at 1.2") << QStringList{} << 0x0303;
        QTest::newRow("an old server: 1.0 only") << QStringList{"--tls-versions", "1.0"} << 0x0301;
        QTest::newRow("1.0 to 1.1") << QStringList{"--tls-versions", "1.0-1.1"} << 0x0302;
    }
    void tunnelledHandshakeSettlesOnTheAllowedVersion() {
        QFETCH(QStringList, args);
        QFETCH(int, version);
        SimServer server;
        QVERIFY2(server.start(args), qPrintable(server.errorString()));
        RecordingRelay relay(server.port());
        const QString error = freetdsLogin(relay.port(), QStringLiteral("request"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(serverHelloVersion(relay.fromServer()), version);
    }

    void certificateIsNewAtEveryStartUnlessKept() {
        SimServer fresh;
        QVERIFY2(fresh.start(), qPrintable(fresh.errorString()));
        QVERIFY(fresh.restart());
        fresh.stop();
        const QStringList freshPrints = fingerprints(fresh.errorOutput());
        QCOMPARE(freshPrints.size(), 2);
        QVERIFY(freshPrints[0] != freshPrints[1]);

        SimServer kept;
        QVERIFY2(kept.start({"--keep-certificate"}), qPrintable(kept.errorString()));
        const QFileInfo key(QDir(kept.stateDir()).filePath(QStringLiteral("state/tls-key.pem")));
        QVERIFY(key.exists());
        QCOMPARE(key.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        QVERIFY(kept.restart());
        // A client that trusts exactly the kept file logs in after the restart, host name checked.
        const QString error = freetdsLogin(kept.port(), QStringLiteral("require"), keptCertificate(kept));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        kept.stop();
        const QStringList keptPrints = fingerprints(kept.errorOutput());
        QCOMPARE(keptPrints.size(), 2);
        QCOMPARE(keptPrints[0], keptPrints[1]);
    }

    void givenCertificateIsVerifiedByItsCa_data() {
        QTest::addColumn<QString>("trusted");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the CA that signed it") << "ca.pem" << true;
        QTest::newRow("another CA") << "other.pem" << false;
    }
    void givenCertificateIsVerifiedByItsCa() {
        QFETCH(QString, trusted);
        QFETCH(bool, accepted);
        if (!haveTestCa_)
            QSKIP("openssl could not make the test certificates");
        SimServer server;
        QVERIFY2(server.start({"--certificate", certificates_.filePath("server.pem"), "--key",
                               certificates_.filePath("server.key")}),
                 qPrintable(server.errorString()));
        const QString error = freetdsLogin(server.port(), QStringLiteral("require"), certificates_.filePath(trusted));
        QVERIFY2(error.isEmpty() == accepted, qPrintable(error));
    }

    void attentionCancelsABatchInsideTls() {
        SimServer server;
        QVERIFY2(server.start({"--encryption", "force", "--delay", "Slow_Probe=20000"}),
                 qPrintable(server.errorString()));
        FreetdsSession session(server.port(), QStringLiteral("require"));
        QVERIFY2(session.loginError().isEmpty(), qPrintable(session.loginError()));
        QElapsedTimer timer;
        timer.start();
        const QString timedOut = session.run(QStringLiteral("Select GetDate() Slow_Probe"), 1);
        QVERIFY2(timedOut.contains(QLatin1String("timeout"), Qt::CaseInsensitive) ||
                     timedOut.contains(QLatin1String("cancel"), Qt::CaseInsensitive),
                 qPrintable(timedOut));
        QVERIFY2(timer.elapsed() < 10000, "the attention did not end the batch");
        // The session, and its TLS stream, carry on after the attention.
        const QString next = session.run(kProbe);
        QVERIFY2(next.isEmpty(), qPrintable(next));
    }

    void pythonTdsLogsInOverTls_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("loginOnly");
        QTest::newRow("off") << "off" << false;
        QTest::newRow("off, TLS for the login only") << "off" << true;
        QTest::newRow("force") << "force" << false;
    }
    void pythonTdsLogsInOverTls() {
        QFETCH(QString, mode);
        QFETCH(bool, loginOnly);
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("Debian's python3 is not installed");
        const SimServer& server = sim(mode);
        const QString script = QStringLiteral(R"(
import json, sys
try:
    import pytds
except ImportError:
    print('NO PYTDS'); sys.exit(0)
s = json.loads(sys.stdin.read())
c = pytds.connect('127.0.0.1', port=s['port'], user=s['user'], password=s['password'], database='master',
                  autocommit=True, cafile=s['ca'], validate_host=False,
                  enc_login_only=s['loginOnly'])
cur = c.cursor()
cur.execute('%1')
print('ROWS', len(cur.fetchall()))
)")
                                   .arg(kProbe);
        const QJsonObject settings{{"port", server.port()},
                                   {"user", SimServer::login()},
                                   {"password", SimServer::password()},
                                   {"ca", keptCertificate(server)},
                                   {"loginOnly", loginOnly}};
        const QString out = runWithInput("/usr/bin/python3", {"-c", script}, QJsonDocument(settings).toJson());
        if (out.contains("NO PYTDS"))
            QSKIP("python3-tds is not installed");
        QVERIFY2(out.contains("ROWS 1"), qPrintable(out));
    }

    void tediousLogsInOverTls_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("encrypt");
        QTest::newRow("off") << "off"
                             << "true";
        QTest::newRow("force") << "force"
                               << "true";
        QTest::newRow("strict, TDS 8.0") << "strict"
                                         << "strict";
    }
    void tediousLogsInOverTls() {
        QFETCH(QString, mode);
        QFETCH(QString, encrypt);
        const QString interop = QStringLiteral(INTEROP_DIR);
        if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
            QSKIP("node is not installed");
        if (!QDir(interop).exists(QStringLiteral("node_modules/tedious")))
            QSKIP("tedious is not installed (scripts/setup-deps installs it)");
        const SimServer& server = sim(mode);
        QJsonObject settings{{"port", server.port()},
                             {"user", SimServer::login()},
                             {"password", SimServer::password()},
                             {"ca", keptCertificate(server)}};
        settings.insert("encrypt", encrypt == QLatin1String("true") ? QJsonValue(true) : QJsonValue(encrypt));
        const QString out = runWithInput("node", {QDir(interop).filePath(QStringLiteral("tls_login.js"))},
                                         QJsonDocument(settings).toJson());
        QVERIFY2(out.contains("ROWS 1"), qPrintable(out));
    }

    void tlsOptionsAreChecked_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown mode") << QStringList{"--encryption", "maybe"};
        QTest::newRow("unknown version") << QStringList{"--tls-versions", "1.4"};
        QTest::newRow("falling range") << QStringList{"--tls-versions", "1.3-1.2"};
        QTest::newRow("certificate without key") << QStringList{"--certificate", "x.pem"};
    }
    void tlsOptionsAreChecked() {
        QFETCH(QStringList, args);
        QTemporaryDir state;
        QProcess p;
        p.start(SimServer::executablePath(), QStringList{"--port", "0", "--state", state.path()} + args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(!p.readAllStandardOutput().contains("ready"));
    }
};

QTEST_GUILESS_MAIN(TestTdsTls)
#include "tst_tds_tls.moc"
