#pragma once
// What the window tests share: discovery kept off this machine's real servers, a port nobody
// listens on, and a hand on the server pickers while their modal loop runs.

#include "UntMain.h"

#include <QStringList>
#include <QtGlobal>

class ServerTreeDialog;

namespace WindowDriver {

// Settings, pins and freetds.conf in a directory of this test process, certificates checked
// against the test CA that signs SimServer's certificates; FREETDSCONF points at it.
SecurityFiles testSecurity();

// A window set-up whose discovery looks at ports where nobody answers, so tests never depend on
// this machine, whose link labels open nothing, and which neither reads nor remembers servers.
MainWindowSetup quietSetup();
// The same, with discovery pointed at the given targets.
MainWindowSetup setupWith(const DiscoveryTargets& targets);

// Once the picker's modal loop runs: selects the nodes one by one, each a child of the one
// before (the first among the top nodes), then presses OK; Exit when the dialog stays open.
void answerPicker(ServerTreeDialog* picker, const QStringList& nodes);

// Fills the connection panel for the simulator at 127.0.0.1,port and presses the button.
void connectTo(TFrmMain& window, quint16 port, const QString& login, const QString& password);

} // namespace WindowDriver
