#pragma once
// What the connect flow does with the encryption setting, the driver, the server's certificate
// as the probe read it and what the user trusted before: connect with a given trust, ask one of
// the two questions, warn of a changed certificate, show a TLS failure, or refuse the setting.
// No dialogs here; the window asks and reports what the user answered.

#include "CertificateInfo.h"
#include "CertificateProbe.h"
#include "EncryptionKeywords.h"
#include "FreeTdsConfigFile.h"

#include <QString>

#include <optional>

class CertificatePins;

namespace ConnectionTrust {

enum class Step {
    Connect,            // go on with trust
    AskToPin,           // question: trust this certificate for this server? Yes pins it
    AskUnverified,      // question: the driver cannot pin; connect encrypted but unverified?
    CertificateChanged, // warning, then the question whether to trust the new certificate
    TlsFailure,         // warning; the attempt fails
    Refused,            // warning naming the driver; the attempt fails
};

struct Plan {
    Step step = Step::Connect;
    CertificateTrust::Kind trust = CertificateTrust::Kind::System; // for Connect
    QString message;                                               // the box's text
    QString followUpQuestion;                                      // after CertificateChanged
    std::optional<CertificateInfo> certificate;                    // what the server showed
};

// Refusals known before any network traffic (严格 with a driver that has no strict mode), and
// Connect for 可选, which checks nothing; empty when the probe must run first.
std::optional<Plan> beforeProbe(EncryptionSetting setting, SqlServerDriver driver);

ProbeRequest probeRequest(const QString& host, quint16 port, EncryptionSetting setting, const QString& caFile);

Plan decide(EncryptionSetting setting, SqlServerDriver driver, const QString& server, const ProbeResult& probe,
            const CertificatePins& pins);

// Records a Yes to AskToPin, AskUnverified or the question after CertificateChanged, and returns
// the trust to connect with; empty when the settings file cannot be written.
std::optional<CertificateTrust::Kind> accept(const Plan& plan, SqlServerDriver driver, EncryptionSetting setting,
                                             const QString& server, CertificatePins& pins);

// The freetds.conf section for a connection with this trust. caFile replaces the system store
// when set (SSL_CERT_FILE, as OpenSSL reads it too).
FreeTdsSection freeTdsSection(const QString& server, const ServerAddress& address, EncryptionSetting setting,
                              CertificateTrust::Kind trust, const QByteArray& pinnedPem, const QString& caFile);

// The CA bundle that replaces the system store, from SSL_CERT_FILE; empty for the system's.
QString caFileOverride();

} // namespace ConnectionTrust
