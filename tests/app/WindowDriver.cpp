#include "WindowDriver.h"

#include "ServerTreeDialog.h"
#include "UntMain.h"
#include "LoopbackPeers.h"
#include "SimServer.h"
#include "TreeNodes.h"

#include <QTemporaryDir>
#include <QTimer>

namespace WindowDriver {

SecurityFiles testSecurity() {
    static QTemporaryDir configDirectory;
    SecurityFiles files{configDirectory.path(), SimServer::testCaFile()};
    SecureConnectStep::useOwnFreeTdsConfig(files);
    return files;
}

MainWindowSetup setupWith(const DiscoveryTargets& targets) {
    MainWindowSetup setup;
    setup.discovery = targets;
    setup.openAddress = [](const QUrl&) {};
    setup.userServers = false; // neither this machine's server files nor its user's settings
    setup.security = testSecurity();
    return setup;
}

MainWindowSetup quietSetup() {
    DiscoveryTargets t;
    t.browserPort = LoopbackPeers::freeTcpPort();
    t.defaultInstancePort = LoopbackPeers::freeTcpPort();
    return setupWith(t);
}

void answerPicker(ServerTreeDialog* picker, const QStringList& nodes) {
    QTimer::singleShot(0, picker, [picker, nodes] {
        ServerTreeNode* node = nullptr;
        for (const QString& text : nodes) {
            node = node ? TreeNodes::child(node, text) : picker->trvw->findItems(text, Qt::MatchExactly).value(0);
            if (!node)
                break;
            picker->trvw->setCurrentItem(node);
        }
        picker->btnOk->click();
        if (picker->isVisible())
            picker->BtnExit->click();
    });
}

void connectTo(TFrmMain& window, quint16 port, const QString& login, const QString& password) {
    window.CmbServer->setEditText(QStringLiteral("127.0.0.1,%1").arg(port));
    window.EdtUid->setText(login);
    window.EdtPwd->setText(password);
    window.BtnConn->click();
}

} // namespace WindowDriver
