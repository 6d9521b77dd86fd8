#pragma once
// The server text as the user types it: "host", "host,port" or "host\instance".

#include <QString>

#include <optional>

struct ServerAddress {
    QString host;
    quint16 port = 0; // 0: the default port, or the instance's as the Browser reports it
    QString instance;

    static constexpr quint16 kDefaultPort = 1433;

    // Empty when the text is none of the three forms (an empty host, a port that is not a
    // number from 1 to 65535, both a port and an instance).
    static std::optional<ServerAddress> parse(const QString& text);
};
