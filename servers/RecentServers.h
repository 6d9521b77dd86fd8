// SPDX-License-Identifier: MIT
#pragma once
// The servers the user connected to successfully, most recent first, with how they logged in.
// Kept with QSettings in the user's configuration directory. A password has no place here.

#include <QList>
#include <QString>

#include <optional>

enum class Authentication { SqlServer, Integrated };

struct RememberedServer {
    QString server; // as chosen in the server box
    Authentication authentication = Authentication::SqlServer;
    QString userName; // empty for integrated authentication

    bool operator==(const RememberedServer&) const = default;
};

class RecentServers {
public:
    static constexpr int kMaxServers = 20;

    // sqlbackup/servers.conf in the user's configuration directory.
    static QString defaultFile();

    explicit RecentServers(QString settingsFile = defaultFile()) : file_(std::move(settingsFile)) {}

    // Most recent first. Entries without a server name, or with an unknown mode, are left out.
    QList<RememberedServer> servers() const;
    // The server connected to last, which the program selects at start.
    std::optional<RememberedServer> lastUsed() const;

    // Puts the server first (server names compare case-blind), replacing what was remembered of
    // it, and keeps at most kMaxServers. False when the settings file cannot be written.
    bool remember(const RememberedServer& server);
    // False when the settings file cannot be written; forgetting an unknown server is no error.
    bool forget(const QString& server);

private:
    bool store(const QList<RememberedServer>& servers) const;

    QString file_;
};
