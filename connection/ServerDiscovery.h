#pragma once
// Finds SQL Server instances on this machine only: the SQL Server Browser asked by unicast on
// 127.0.0.1, and a pre-login probe of the default instance. Never broadcasts.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

struct DiscoveryTargets {
    QString host = QStringLiteral("127.0.0.1");
    quint16 browserPort = 1434;  // UDP, SQL Server Browser
    quint16 defaultInstancePort = 1433; // TCP, default instance
    int timeoutMs = 200;        // per probe; start-up must not wait noticeably
};

class EDiscoveryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The server names in one SQL Server Browser answer (SVR_RESP), as names a driver can connect to
// on that host: "host" for the default instance, "host\INSTANCE" otherwise. A malformed answer
// (wrong type, truncated or oversized, text that is not a record list) yields nothing.
QStringList parseBrowserAnswer(const QByteArray& datagram, const QString& host);

// Calls append for each server name found, in the order found. Throws EDiscoveryError when the
// enumeration fails part way; names already appended stay appended.
void ListAvailableSQLServers(const std::function<void(const QString&)>& append,
                             const DiscoveryTargets& targets = {});
