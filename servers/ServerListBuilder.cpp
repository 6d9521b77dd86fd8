// SPDX-License-Identifier: MIT
#include "ServerListBuilder.h"

#include "FreeTdsConfServers.h"
#include "OdbcDataSources.h"
#include "RecentServers.h"

ServerListBuilder& ServerListBuilder::add(const ServerChoice& choice) {
    ServerChoice entry{choice.name.trimmed(), choice.address.trimmed()};
    if (entry.name.isEmpty())
        return *this;
    // An address equal to the name says nothing more than the name.
    if (entry.address.compare(entry.name, Qt::CaseInsensitive) == 0)
        entry.address.clear();
    const QString key = entry.name.toLower();
    const auto found = indexByName_.constFind(key);
    if (found == indexByName_.cend()) {
        indexByName_.insert(key, choices_.size());
        choices_.append(entry);
    } else if (choices_[*found].address.isEmpty()) {
        choices_[*found].address = entry.address;
    }
    return *this;
}

ServerListBuilder& ServerListBuilder::add(const ServerChoices& choices) {
    for (const ServerChoice& choice : choices)
        add(choice);
    return *this;
}

ServerListBuilder& ServerListBuilder::addNames(const QStringList& names) {
    for (const QString& name : names)
        add(ServerChoice{name, {}});
    return *this;
}

QStringList ServerListBuilder::names() const {
    QStringList names;
    names.reserve(choices_.size());
    for (const ServerChoice& choice : choices_)
        names.append(choice.name);
    return names;
}

const ServerChoice* ServerListBuilder::find(const QString& name) const {
    const auto found = indexByName_.constFind(name.trimmed().toLower());
    return found == indexByName_.cend() ? nullptr : &choices_[*found];
}

ServerChoices ServerListBuilder::standardList(const QStringList& discovered) {
    ServerListBuilder builder;
    QStringList recent;
    for (const RememberedServer& server : RecentServers().servers())
        recent.append(server.server);
    builder.addNames(recent);
    builder.add(FreeTdsConfServers().servers());
    builder.add(OdbcDataSources::servers());
    builder.addNames(discovered);
    return builder.choices();
}
