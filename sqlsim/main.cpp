// sqlsim: a SQL Server simulator on 127.0.0.1 for the tests and the demo.

#include "engine/Engine.h"
#include "tds/BrowserResponder.h"
#include "tds/ServerCertificate.h"
#include "tds/TdsServer.h"
#include "tds/TlsContext.h"
#include "tds/TlsVersions.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QSysInfo>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <pthread.h>

namespace {

const char* const kUsage = R"(usage: sqlsim [options]
  --port N               TCP port on 127.0.0.1 (0 picks a free one); prints "ready port=N" when listening
  --browser-port N       answer the SQL Server Browser protocol on this UDP port of 127.0.0.1
  --instance NAME        the instance name the Browser responder announces
  --state DIR            catalog and databases (created when missing, reused when present)
  --drive C=DIR          map a Windows drive letter onto a directory (repeatable; default C: in the state dir)
  --login NAME:PASSWORD  a SQL login (repeatable; append :nosysadmin for a login without sysadmin);
                         NAME ends at the first ':', PASSWORD may hold ':' and may be empty;
                         without any: login sa with a generated password, kept in STATE/sa-password
  --seed                 create sample databases when there is no user database yet
  --sample-databases N   also create N small databases Sample1..SampleN (zero-padded) when there is
                         no user database yet; for benchmarks with many databases
  --statement-log FILE   append every batch received to FILE (JSON lines)
  --delay-per-mb MS      BACKUP and RESTORE take MS milliseconds per MB
  --fail TEXT=NUMBER     a batch containing TEXT fails with error NUMBER (repeatable)
  --delay TEXT=MS        a batch containing TEXT waits MS milliseconds before it runs (repeatable)
  --encryption MODE      off (default): TLS for the login, or the whole session when the client asks;
                         force: TLS for the whole session, clients without TLS are turned away;
                         strict: TDS 8.0, TLS before anything else (ALPN tds/8.0);
                         none: no TLS at all, every byte readable on the wire
  --tls-versions V       TLS versions accepted: 1.0, 1.1, 1.2, 1.3 or a range such as 1.0-1.2
                         (default 1.2-1.3; the handshake inside PRELOGIN packets stops at 1.2)
  --certificate FILE     PEM certificate to present (with --key); default: a new self-signed one
  --key FILE             PEM private key of --certificate
  --keep-certificate     keep the self-signed certificate in the state directory across restarts
  --edition NAME         express, standard, enterprise or developer (default); Express refuses
                         BACKUP ... WITH COMPRESSION as the real edition does
  --product-version V    SERVERPROPERTY('ProductVersion') and the version written into backups
                         (default 15.0.2000.5)
  --deny-write DIR       a Windows directory (C:\Locked) the service account may not write: a backup
                         into it fails with operating system error 5 (repeatable; works as root too,
                         as does a directory without any write permission bit)
  --free-space C=MB      xp_fixeddrives reports MB free on drive C: (repeatable; default: the real free space)
  --hold-session DB      a simulated session keeps database DB in use, as another application would
                         (repeatable); ALTER DATABASE ... SET SINGLE_USER WITH ROLLBACK IMMEDIATE ends it
  --help                 this text
)";

struct Options {
    quint16 port = 1433;
    quint16 browserPort = 0;
    QString instance;
    sqlsim::EngineConfig engine;
    sqlsim::tds::EncryptionMode encryption = sqlsim::tds::EncryptionMode::Off;
    sqlsim::tds::TlsVersionRange tlsVersions = sqlsim::tds::defaultTlsVersions();
    QString certificatePath;
    QString keyPath;
    bool keepCertificate = false;
};

[[noreturn]] void usageError(const QString& message) {
    std::cerr << "sqlsim: " << message.toStdString() << "\n" << kUsage;
    std::exit(2);
}

quint16 portValue(const QString& text, const char* option) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        usageError(QStringLiteral("%1 needs a port number").arg(QLatin1String(option)));
    return quint16(value);
}

// A generated password goes to a file only its owner may read, never to the output: a service's
// standard error ends up in logs that others read.
QString keepGeneratedPassword(const QString& stateDir, const QString& password) {
    const QString path = QDir(stateDir).filePath(QStringLiteral("sa-password"));
    QFile file(path);
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QDir().mkpath(stateDir) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly) ||
        !file.setPermissions(ownerOnly) || file.write(password.toUtf8() + '\n') < 0 || !file.flush()) {
        std::cerr << "sqlsim: cannot write the generated password to " << path.toStdString() << std::endl;
        std::exit(1);
    }
    return path;
}

Options parse(int argc, char** argv) {
    Options options;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    auto value = [&](int& i) {
        if (i + 1 >= args.size())
            usageError(args[i] + QStringLiteral(" needs a value"));
        return args[++i];
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help")) {
            std::cout << kUsage;
            std::exit(0);
        } else if (a == QLatin1String("--port")) {
            options.port = portValue(value(i), "--port");
        } else if (a == QLatin1String("--browser-port")) {
            options.browserPort = portValue(value(i), "--browser-port");
        } else if (a == QLatin1String("--instance")) {
            options.instance = value(i);
        } else if (a == QLatin1String("--state")) {
            options.engine.stateDir = value(i);
        } else if (a == QLatin1String("--drive")) {
            const QString spec = value(i);
            if (spec.size() < 3 || spec[1] != QLatin1Char('=') || !spec[0].isLetter())
                usageError(QStringLiteral("--drive takes LETTER=DIR"));
            options.engine.drives.insert(spec[0].toUpper(), QDir(spec.mid(2)).absolutePath());
        } else if (a == QLatin1String("--login")) {
            QString spec = value(i);
            sqlsim::LoginAccount account;
            if (spec.endsWith(QLatin1String(":nosysadmin"))) {
                account.sysadmin = false;
                spec.chop(int(qstrlen(":nosysadmin")));
            }
            const int colon = spec.indexOf(QLatin1Char(':'));
            if (colon <= 0)
                usageError(QStringLiteral("--login takes NAME:PASSWORD"));
            account.name = spec.left(colon);
            account.password = spec.mid(colon + 1);
            options.engine.logins.push_back(account);
        } else if (a == QLatin1String("--edition")) {
            static const QMap<QString, QString> editions{
                {QStringLiteral("express"), QStringLiteral("Express Edition (64-bit)")},
                {QStringLiteral("standard"), QStringLiteral("Standard Edition (64-bit)")},
                {QStringLiteral("enterprise"), QStringLiteral("Enterprise Edition (64-bit)")},
                {QStringLiteral("developer"), QStringLiteral("Developer Edition (64-bit)")}};
            const QString name = value(i).toLower();
            if (!editions.contains(name))
                usageError(QStringLiteral("--edition takes express, standard, enterprise or developer"));
            options.engine.edition = editions.value(name);
        } else if (a == QLatin1String("--product-version")) {
            const QString version = value(i);
            if (!QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
                usageError(QStringLiteral("--product-version takes MAJOR.MINOR.BUILD.REVISION"));
            options.engine.productVersion = version;
        } else if (a == QLatin1String("--deny-write")) {
            options.engine.denyWrite << value(i);
        } else if (a == QLatin1String("--free-space")) {
            const QString spec = value(i);
            bool ok = false;
            const qint64 mb = spec.mid(2).toLongLong(&ok);
            if (spec.size() < 3 || spec[1] != QLatin1Char('=') || !spec[0].isLetter() || !ok || mb < 0)
                usageError(QStringLiteral("--free-space takes LETTER=MB"));
            options.engine.freeSpaceMb[spec[0].toUpper()] = mb;
        } else if (a == QLatin1String("--hold-session")) {
            options.engine.holdSessions << value(i);
        } else if (a == QLatin1String("--seed")) {
            options.engine.seed = true;
        } else if (a == QLatin1String("--sample-databases")) {
            bool ok = false;
            options.engine.sampleDatabases = value(i).toInt(&ok);
            if (!ok || options.engine.sampleDatabases < 0 || options.engine.sampleDatabases > 100000)
                usageError(QStringLiteral("--sample-databases needs a count from 0 to 100000"));
        } else if (a == QLatin1String("--statement-log")) {
            options.engine.statementLogPath = value(i);
        } else if (a == QLatin1String("--delay-per-mb")) {
            bool ok = false;
            options.engine.delayPerMbMs = value(i).toInt(&ok);
            if (!ok || options.engine.delayPerMbMs < 0)
                usageError(QStringLiteral("--delay-per-mb needs milliseconds"));
        } else if (a == QLatin1String("--fail")) {
            const QString spec = value(i);
            const int eq = spec.lastIndexOf(QLatin1Char('='));
            bool ok = false;
            const int number = eq > 0 ? spec.mid(eq + 1).toInt(&ok) : 0;
            if (!ok)
                usageError(QStringLiteral("--fail takes TEXT=NUMBER"));
            options.engine.failRules.emplace_back(spec.left(eq), number);
        } else if (a == QLatin1String("--delay")) {
            const QString spec = value(i);
            const int eq = spec.lastIndexOf(QLatin1Char('='));
            bool ok = false;
            const int ms = eq > 0 ? spec.mid(eq + 1).toInt(&ok) : 0;
            if (!ok || ms < 0)
                usageError(QStringLiteral("--delay takes TEXT=MS"));
            options.engine.delayRules.emplace_back(spec.left(eq), ms);
        } else if (a == QLatin1String("--encryption")) {
            const auto mode = sqlsim::tds::encryptionModeFromName(value(i));
            if (!mode)
                usageError(QStringLiteral("--encryption takes off, force, strict or none"));
            options.encryption = *mode;
        } else if (a == QLatin1String("--tls-versions")) {
            const auto versions = sqlsim::tds::parseTlsVersions(value(i));
            if (!versions)
                usageError(QStringLiteral("--tls-versions takes 1.0, 1.1, 1.2, 1.3 or a range such as 1.0-1.2"));
            options.tlsVersions = *versions;
        } else if (a == QLatin1String("--certificate")) {
            options.certificatePath = value(i);
        } else if (a == QLatin1String("--key")) {
            options.keyPath = value(i);
        } else if (a == QLatin1String("--keep-certificate")) {
            options.keepCertificate = true;
        } else {
            usageError(QStringLiteral("unknown option ") + a);
        }
    }
    if (options.certificatePath.isEmpty() != options.keyPath.isEmpty())
        usageError(QStringLiteral("--certificate and --key go together"));
    if (!options.certificatePath.isEmpty() && options.keepCertificate)
        usageError(QStringLiteral("--keep-certificate keeps a generated certificate, not a given one"));
    if (options.engine.stateDir.isEmpty())
        options.engine.stateDir = QDir::current().filePath(QStringLiteral("sqlsim-state"));
    options.engine.stateDir = QDir(options.engine.stateDir).absolutePath();
    if (options.engine.logins.empty()) {
        sqlsim::LoginAccount sa;
        sa.name = QStringLiteral("sa");
        sa.password =
            QStringLiteral("Sim-%1").arg(QRandomGenerator::system()->generate() % 1000000, 6, 10, QLatin1Char('0'));
        const QString kept = keepGeneratedPassword(options.engine.stateDir, sa.password);
        std::cerr << "sqlsim: login sa, its password is in " << kept.toStdString() << std::endl;
        options.engine.logins.push_back(sa);
    }
    return options;
}

sqlsim::tds::ServerCertificate serverCertificate(const Options& options) {
    using sqlsim::tds::ServerCertificate;
    if (!options.certificatePath.isEmpty())
        return ServerCertificate::fromPemFiles(options.certificatePath, options.keyPath);
    const QString host = QSysInfo::machineHostName();
    if (options.keepCertificate)
        return ServerCertificate::keptIn(options.engine.stateDir, host);
    return ServerCertificate::selfSigned(host);
}

sqlsim::tds::EncryptionPolicy encryptionPolicy(const Options& options) {
    sqlsim::tds::EncryptionPolicy policy;
    policy.mode = options.encryption;
    if (options.encryption == sqlsim::tds::EncryptionMode::None)
        return policy;
    const sqlsim::tds::ServerCertificate certificate = serverCertificate(options);
    policy.context = std::make_shared<sqlsim::tds::TlsContext>(certificate, options.tlsVersions);
    std::cerr << "sqlsim: TLS " << sqlsim::tds::tlsVersionName(options.tlsVersions.lowest).toStdString() << "-"
              << sqlsim::tds::tlsVersionName(options.tlsVersions.highest).toStdString()
              << ", certificate SHA-256 " << certificate.fingerprint().toStdString() << std::endl;
    return policy;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);

    // SIGTERM and SIGINT are taken by sigwait below; every thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        auto engine = std::make_shared<sqlsim::Engine>(options.engine);
        sqlsim::tds::TdsServer server(
            [engine](const QString& user, const QString& password, sqlsim::Message* failure) {
                return engine->login(user, password, failure);
            },
            engine->config().serverName, encryptionPolicy(options));
        const quint16 port = server.start(options.port);

        std::unique_ptr<sqlsim::tds::BrowserResponder> browser;
        if (options.browserPort != 0 || !options.instance.isEmpty()) {
            const QString instance = options.instance.isEmpty() ? QStringLiteral("SQLSIM") : options.instance;
            browser = std::make_unique<sqlsim::tds::BrowserResponder>(engine->config().serverName, instance, port);
            const quint16 udp = browser->start(options.browserPort);
            std::cerr << "sqlsim: browser on udp 127.0.0.1:" << udp << " for instance " << instance.toStdString()
                      << std::endl;
        }

        std::cout << "ready port=" << port << std::endl;

        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (browser)
            browser->stop();
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "sqlsim: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
