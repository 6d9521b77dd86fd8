// SPDX-License-Identifier: MIT
#pragma once
// One entry of the server box: the name shown, and where a connection goes.

#include <QList>
#include <QString>

struct ServerChoice {
    QString name;    // as shown and as remembered: a freetds.conf section, a DSN, or a server text
    QString address; // host, host\instance or host,port; empty when the name itself is one

    QString target() const { return address.isEmpty() ? name : address; }
    bool operator==(const ServerChoice&) const = default;
};

using ServerChoices = QList<ServerChoice>;

// host\instance when an instance is named, else host,port when a port is, else host. A port
// wins over an instance: it needs no SQL Server Browser to be found.
QString serverAddress(const QString& host, const QString& port, const QString& instance);

// True for a protocol version below 7.0 ("4.2", "5.0"): Sybase servers or SQL Server before 7.0,
// neither of which this program can talk to. "auto", empty and unreadable texts are not below.
bool isTdsVersionBelow7(const QString& version);
