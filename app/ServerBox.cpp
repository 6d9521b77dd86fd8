#include "ServerBox.h"

#include "ServerListBuilder.h"

#include <QComboBox>

void ServerBox::fill(QComboBox* box, const QStringList& discovered, bool discoveryComplete) {
    if (!userServers_) {
        box->addItems(discovered);
        box->setCurrentIndex(discoveryComplete && box->count() > 0 ? 0 : -1);
        if (box->currentIndex() < 0)
            box->setEditText(QString());
        return;
    }
    remembered_ = RecentServers().servers();
    choices_ = ServerListBuilder::standardList(discovered);
    for (const ServerChoice& choice : choices_)
        box->addItem(choice.name);
    // The remembered servers come first, the last one used at the top.
    const bool selectFirst = !remembered_.isEmpty() || discoveryComplete;
    box->setCurrentIndex(selectFirst && box->count() > 0 ? 0 : -1);
    if (box->currentIndex() < 0)
        box->setEditText(QString());
}

QString ServerBox::connectionTarget(const QString& shown) const {
    for (const ServerChoice& choice : choices_)
        if (choice.name.compare(shown.trimmed(), Qt::CaseInsensitive) == 0)
            return choice.target();
    return shown;
}

std::optional<RememberedServer> ServerBox::remembered(const QString& shown) const {
    for (const RememberedServer& server : remembered_)
        if (server.server.compare(shown.trimmed(), Qt::CaseInsensitive) == 0)
            return server;
    return std::nullopt;
}

void ServerBox::remember(const RememberedServer& server) {
    if (!userServers_ || server.server.trimmed().isEmpty())
        return;
    remembered_.removeIf([&](const RememberedServer& r) { return r.server.compare(server.server, Qt::CaseInsensitive) == 0; });
    remembered_.prepend(server);
    // A settings file that cannot be written costs only the convenience at the next start.
    RecentServers().remember(server);
}
