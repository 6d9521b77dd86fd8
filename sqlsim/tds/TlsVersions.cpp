#include "TlsVersions.h"

#include <QStringList>

#include <openssl/tls1.h>

#include <algorithm>

namespace sqlsim::tds {

namespace {

std::optional<int> versionFromName(const QString& name) {
    if (name == QLatin1String("1.0"))
        return TLS1_VERSION;
    if (name == QLatin1String("1.1"))
        return TLS1_1_VERSION;
    if (name == QLatin1String("1.2"))
        return TLS1_2_VERSION;
    if (name == QLatin1String("1.3"))
        return TLS1_3_VERSION;
    return std::nullopt;
}

} // namespace

TlsVersionRange TlsVersionRange::forTunnel() const {
    if (lowest > TLS1_2_VERSION)
        return *this;
    return {lowest, std::min(highest, int(TLS1_2_VERSION))};
}

TlsVersionRange defaultTlsVersions() {
    return {TLS1_2_VERSION, TLS1_3_VERSION};
}

std::optional<TlsVersionRange> parseTlsVersions(const QString& text) {
    const QStringList ends = text.trimmed().split(QLatin1Char('-'));
    if (ends.size() > 2)
        return std::nullopt;
    const auto lowest = versionFromName(ends.first().trimmed());
    const auto highest = versionFromName(ends.last().trimmed());
    if (!lowest || !highest || *lowest > *highest)
        return std::nullopt;
    return TlsVersionRange{*lowest, *highest};
}

QString tlsVersionName(int version) {
    switch (version) {
    case TLS1_VERSION:
        return QStringLiteral("1.0");
    case TLS1_1_VERSION:
        return QStringLiteral("1.1");
    case TLS1_2_VERSION:
        return QStringLiteral("1.2");
    case TLS1_3_VERSION:
        return QStringLiteral("1.3");
    default:
        return QStringLiteral("?");
    }
}

} // namespace sqlsim::tds
