#include "ConnectionTrust.h"

#include "CertificatePins.h"
#include "NewTexts.h"

#include <openssl/ssl.h>

using Kind = CertificateTrust::Kind;
using NewTexts::text;

namespace {

QString when(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The leading values, then issuer, subject, validity and fingerprint, in one arg() call, so that
// a "%1" inside a server name or a certificate field stays as it is.
template <typename... Leading>
QString withCertificate(const char* message, const CertificateInfo& certificate, const Leading&... leading) {
    return text(message).arg(leading..., certificate.issuer, certificate.subject, when(certificate.notBefore),
                             when(certificate.notAfter), certificate.fingerprintText());
}

ConnectionTrust::Plan connectWith(Kind trust, const std::optional<CertificateInfo>& certificate = std::nullopt) {
    ConnectionTrust::Plan plan;
    plan.trust = trust;
    plan.certificate = certificate;
    return plan;
}

ConnectionTrust::Plan failWith(ConnectionTrust::Step step, const QString& message) {
    ConnectionTrust::Plan plan;
    plan.step = step;
    plan.message = message;
    return plan;
}

// The trust to connect with when the probe could not say anything new: what was chosen before.
Kind rememberedTrust(SqlServerDriver driver, EncryptionSetting setting, const QString& server,
                     const CertificatePins& pins) {
    if (pins.lookup(server) && EncryptionKeywordMap::canPin(driver, setting))
        return Kind::Pinned;
    if (pins.allowsUnverified(server) && setting != EncryptionSetting::Strict)
        return Kind::Unverified;
    return Kind::System;
}

} // namespace

std::optional<ConnectionTrust::Plan> ConnectionTrust::beforeProbe(EncryptionSetting setting, SqlServerDriver driver) {
    if (setting == EncryptionSetting::Optional)
        return connectWith(Kind::System);
    if (setting == EncryptionSetting::Strict &&
        (driver == SqlServerDriver::FreeTds || driver == SqlServerDriver::Microsoft17))
        return failWith(Step::Refused, EncryptionKeywordMap::map(setting, driver, {}).refusal);
    return std::nullopt;
}

ProbeRequest ConnectionTrust::probeRequest(const QString& host, quint16 port, EncryptionSetting setting,
                                           const QString& caFile) {
    ProbeRequest request;
    request.host = host;
    request.port = port;
    request.strict = setting == EncryptionSetting::Strict;
    // A handshake inside PRELOGIN packets ends at TLS 1.2 for the drivers (SQL Server offers
    // TLS 1.3 only with TDS 8.0, and FreeTDS cannot finish one there); a probe that went further
    // would approve a server the driver then fails against without a word.
    if (!request.strict)
        request.maxTlsVersion = TLS1_2_VERSION;
    request.caFile = caFile;
    return request;
}

ConnectionTrust::Plan ConnectionTrust::decide(EncryptionSetting setting, SqlServerDriver driver, const QString& server,
                                              const ProbeResult& probe, const CertificatePins& pins) {
    switch (probe.failure) {
    case ProbeFailure::Network:
    case ProbeFailure::NotTds:
        // The driver meets the same trouble and fails the usual way; what it checks is what the
        // user chose before.
        return connectWith(rememberedTrust(driver, setting, server, pins));
    case ProbeFailure::NoTls:
        return failWith(Step::TlsFailure, text(NewTexts::TlsNotSupported).arg(server));
    case ProbeFailure::VersionOrCipher:
        return failWith(Step::TlsFailure, text(NewTexts::TlsVersionMismatch).arg(server, probe.detail));
    case ProbeFailure::BrokenHandshake:
        return failWith(Step::TlsFailure, text(NewTexts::TlsHandshakeBroken).arg(server, probe.detail));
    case ProbeFailure::None:
        break;
    }

    const CertificateInfo& shown = *probe.certificate;
    const bool canPin = EncryptionKeywordMap::canPin(driver, setting);
    if (const auto pinned = pins.lookup(server)) {
        if (pinned->sha256 != shown.sha256) {
            Plan plan =
                failWith(Step::CertificateChanged, withCertificate(NewTexts::CertificateChangedWarning, shown, server));
            plan.followUpQuestion = text(NewTexts::TrustChangedCertificateQuestion).arg(server);
            plan.certificate = shown;
            return plan;
        }
        if (canPin)
            return connectWith(Kind::Pinned, shown);
        // The driver cannot hold the pin, but the probe has just checked it.
        if (pins.allowsUnverified(server) && setting != EncryptionSetting::Strict)
            return connectWith(Kind::Unverified, shown);
    }
    if (probe.trusted)
        return connectWith(Kind::System, shown);

    Plan plan;
    plan.certificate = shown;
    if (canPin) {
        plan.step = Step::AskToPin;
        plan.message = withCertificate(NewTexts::TrustCertificateQuestion, shown, server);
    } else if (setting == EncryptionSetting::Strict) {
        plan =
            failWith(Step::Refused,
                     text(NewTexts::UnverifiedNotAllowedInStrict).arg(EncryptionKeywordMap::driverDisplayName(driver)));
    } else if (pins.allowsUnverified(server)) {
        plan.trust = Kind::Unverified;
    } else {
        plan.step = Step::AskUnverified;
        plan.message = withCertificate(NewTexts::UnverifiedEncryptionQuestion, shown, server,
                                       EncryptionKeywordMap::driverDisplayName(driver));
    }
    return plan;
}

std::optional<Kind> ConnectionTrust::accept(const Plan& plan, SqlServerDriver driver, EncryptionSetting setting,
                                            const QString& server, CertificatePins& pins) {
    if (!plan.certificate)
        return std::nullopt;
    switch (plan.step) {
    case Step::AskToPin:
        return pins.pin(server, *plan.certificate) ? std::optional(Kind::Pinned) : std::nullopt;
    case Step::AskUnverified:
        // The pin is kept too, so that the probe notices when the certificate changes.
        if (!pins.allowUnverified(server) || !pins.pin(server, *plan.certificate))
            return std::nullopt;
        return Kind::Unverified;
    case Step::CertificateChanged:
        if (!pins.pin(server, *plan.certificate))
            return std::nullopt;
        return rememberedTrust(driver, setting, server, pins);
    case Step::Connect:
    case Step::TlsFailure:
    case Step::Refused:
        break;
    }
    return std::nullopt;
}

FreeTdsSection ConnectionTrust::freeTdsSection(const QString& server, const ServerAddress& address,
                                               EncryptionSetting setting, Kind trust, const QByteArray& pinnedPem,
                                               const QString& caFile) {
    FreeTdsSection section;
    section.server = server;
    section.address = address;
    section.setting = setting;
    if (setting == EncryptionSetting::Optional || trust == Kind::Unverified) {
        section.verify = FreeTdsSection::Verify::Nothing;
    } else if (trust == Kind::Pinned) {
        section.verify = FreeTdsSection::Verify::Pin;
        section.pinnedPem = pinnedPem;
    } else {
        section.verify = FreeTdsSection::Verify::System;
        section.caFile = caFile;
    }
    return section;
}

QString ConnectionTrust::caFileOverride() {
    return qEnvironmentVariable("SSL_CERT_FILE");
}
