#pragma once
// The server box's entries and what a chosen entry means: the user's own servers (remembered,
// freetds.conf sections, ODBC data sources) before discovery's names, the address a connection
// goes to, and the login remembered for a server after it connected. Never a password.

#include "RecentServers.h"
#include "ServerChoice.h"

#include <QStringList>

#include <optional>

class QComboBox;

class ServerBox {
public:
    // Off keeps the box to discovery's names, as found, and remembers nothing.
    explicit ServerBox(bool userServers) : userServers_(userServers) {}

    // Fills the box; the last server used is selected, else the first entry when discovery
    // completed, else none.
    void fill(QComboBox* box, const QStringList& discovered, bool discoveryComplete);

    // Where a connection to the server box's text goes: an entry's address, else the text.
    QString connectionTarget(const QString& shown) const;
    // What was remembered of that entry, if anything.
    std::optional<RememberedServer> remembered(const QString& shown) const;
    // After a successful connection: that server first in the box at the next start.
    void remember(const RememberedServer& server);

private:
    bool userServers_;
    ServerChoices choices_;
    QList<RememberedServer> remembered_;
};
