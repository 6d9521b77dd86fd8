#pragma once
// The TCP port of a named instance, asked of the SQL Server Browser on the server's host by
// unicast (CLNT_UCAST_INST), as drivers do for "host\instance". The probe needs the port that
// the driver will use.

#include <QByteArray>
#include <QString>

#include <optional>

namespace InstancePort {

// The "tcp" port of the named instance's record in a Browser answer (SVR_RESP); empty when the
// answer is malformed, names no such instance or gives no valid port.
std::optional<quint16> parseAnswer(const QByteArray& datagram, const QString& instance);

// Asks host's Browser on browserPort; empty when nobody answers within timeoutMs.
std::optional<quint16> ask(const QString& host, const QString& instance, quint16 browserPort = 1434,
                           int timeoutMs = 1000);

} // namespace InstancePort
