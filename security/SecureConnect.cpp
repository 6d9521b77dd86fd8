#include "SecureConnect.h"

#include "ConnectionTrust.h"
#include "InstancePort.h"
#include "NewTexts.h"
#include "ServerAddress.h"

#include <stdexcept>

using ConnectionTrust::Plan;
using ConnectionTrust::Step;
using Kind = CertificateTrust::Kind;

namespace {

ProbeResult probeServer(const ServerAddress& address, const SecureConnectSettings& settings) {
    ProbeResult unreachable;
    unreachable.failure = ProbeFailure::Network;
    quint16 port = address.port ? address.port : ServerAddress::kDefaultPort;
    if (!address.instance.isEmpty()) {
        const auto found = InstancePort::ask(address.host, address.instance, settings.browserPort);
        if (!found)
            return unreachable; // the driver asks the Browser too, and fails the usual way
        port = *found;
    }
    ProbeRequest request = ConnectionTrust::probeRequest(address.host, port, settings.setting, settings.caFile);
    request.timeoutMs = settings.probeTimeoutMs;
    return CertificateProbe::run(request);
}

// The trust to connect with once the user has answered; empty when the attempt ends here.
std::optional<Kind> settle(const Plan& plan, const QString& server, const SecureConnectSettings& settings,
                           CertificatePins& pins, const SecureConnectUser& user) {
    switch (plan.step) {
    case Step::Connect:
        return plan.trust;
    case Step::TlsFailure:
    case Step::Refused:
        user.warning(plan.message);
        return std::nullopt;
    case Step::CertificateChanged:
        user.warning(plan.message);
        if (!user.question(plan.followUpQuestion))
            return std::nullopt;
        break;
    case Step::AskToPin:
    case Step::AskUnverified:
        if (!user.question(plan.message))
            return std::nullopt;
        break;
    }
    const auto accepted = ConnectionTrust::accept(plan, settings.driver, settings.setting, server, pins);
    if (!accepted)
        throw std::runtime_error(NewTexts::text(NewTexts::SettingsNotWritable).arg(pins.filePath()).toStdString());
    return accepted;
}

} // namespace

PreparedConnection SecureConnect::prepare(const QString& serverText, const SecureConnectSettings& settings,
                                          CertificatePins& pins, const FreeTdsConfigFile& freeTdsConfig,
                                          const SecureConnectUser& user) {
    PreparedConnection prepared;
    const auto address = ServerAddress::parse(serverText);
    std::optional<Kind> trust;
    if (const auto early = ConnectionTrust::beforeProbe(settings.setting, settings.driver)) {
        trust = settle(*early, serverText, settings, pins, user);
    } else if (address) {
        const ProbeResult probe = probeServer(*address, settings);
        trust = settle(ConnectionTrust::decide(settings.setting, settings.driver, serverText, probe, pins), serverText,
                       settings, pins, user);
    } else {
        trust = Kind::System; // not a server name; the driver says so the usual way
    }
    if (!trust)
        return prepared;

    const auto pinned = pins.lookup(serverText);
    const QByteArray pinPem = pinned ? pinned->pem() : QByteArray();
    CertificateTrust certificateTrust{*trust, freeTdsConfig.pinFile(serverText), {}};
    const EncryptionKeywords words = EncryptionKeywordMap::map(settings.setting, settings.driver, certificateTrust);
    if (words.refused()) {
        user.warning(words.refusal);
        return prepared;
    }
    if (settings.driver == SqlServerDriver::FreeTds) {
        if (address) {
            freeTdsConfig.write({ConnectionTrust::freeTdsSection(serverText, *address, settings.setting, *trust, pinPem,
                                                                 settings.caFile)});
            prepared.freeTdsServername = FreeTdsConfigFile::sectionName(serverText);
        }
    } else if (*trust == Kind::Pinned) {
        freeTdsConfig.writePinFile(serverText, pinPem); // ServerCertificate= reads it
    }
    prepared.proceed = true;
    prepared.keywords = words.keywords;
    return prepared;
}
