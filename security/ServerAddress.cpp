#include "ServerAddress.h"

std::optional<ServerAddress> ServerAddress::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    ServerAddress address;
    const qsizetype comma = trimmed.indexOf(QLatin1Char(','));
    const qsizetype backslash = trimmed.indexOf(QLatin1Char('\\'));
    if (comma >= 0 && backslash >= 0)
        return std::nullopt;
    if (comma >= 0) {
        bool ok = false;
        const uint port = trimmed.mid(comma + 1).trimmed().toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        address.port = quint16(port);
        address.host = trimmed.left(comma).trimmed();
    } else if (backslash >= 0) {
        address.instance = trimmed.mid(backslash + 1).trimmed();
        address.host = trimmed.left(backslash).trimmed();
        if (address.instance.isEmpty() || address.instance.contains(QLatin1Char('\\')))
            return std::nullopt;
    } else {
        address.host = trimmed;
    }
    if (address.host.isEmpty())
        return std::nullopt;
    return address;
}
