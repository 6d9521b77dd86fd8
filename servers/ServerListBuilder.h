// SPDX-License-Identifier: MIT
#pragma once
// The server box's list from its sources, added in their order: remembered servers, freetds.conf
// sections, ODBC data sources, discovery. A name found again (case-blind) keeps its first place;
// when that first entry has no address of its own, it takes the first address found later.

#include "ServerChoice.h"

#include <QHash>

class ServerListBuilder {
public:
    ServerListBuilder& add(const ServerChoice& choice);
    ServerListBuilder& add(const ServerChoices& choices);
    // Names as typed or discovered, whose address is the name itself.
    ServerListBuilder& addNames(const QStringList& names);

    const ServerChoices& choices() const { return choices_; }
    QStringList names() const;
    // The choice of that name (case-blind), or nullptr.
    const ServerChoice* find(const QString& name) const;

    // The program's standard sources, read now, then the discovered names in their order.
    static ServerChoices standardList(const QStringList& discovered);

private:
    ServerChoices choices_;
    QHash<QString, qsizetype> indexByName_; // lower-case name -> position in choices_
};
