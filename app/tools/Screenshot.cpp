// Renders the main window offscreen in each state of the connection panel to PNG files:
// sqlbackup_screenshot OUTDIR SERVER USER PASSWORD
// (a tool for the README and for looking at the window; the program itself takes no options).

#include "Startup.h"
#include "BackupPage.h"
#include "UntMain.h"

#include <QApplication>
#include <QDir>
#include <QTest>

namespace {

void save(TFrmMain& window, const QString& dir, const QString& name) {
    QTest::qWait(300);
    window.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    prepareApplication(app);
    const QStringList args = QApplication::arguments();
    if (args.size() < 5) {
        qWarning("usage: sqlbackup_screenshot OUTDIR SERVER USER PASSWORD");
        return 2;
    }
    const QString dir = args[1];
    QDir().mkpath(dir);
    DiscoveryTargets quiet;
    quiet.timeoutMs = 50;
    TFrmMain window(MainWindowSetup{quiet, {}, {}, false, {}}); // the same pictures on every machine
    window.show();
    save(window, dir, "start");

    window.CmbServer->setEditText(args[2]);
    window.EdtUid->setText(args[3]);
    window.EdtPwd->setText(QStringLiteral("wrong password"));
    window.BtnConn->click();
    save(window, dir, "connect-failed");

    window.EdtPwd->setText(args[4]);
    window.BtnConn->click();
    if (window.TabSheet1->LsbDB->count() > 1)
        window.TabSheet1->LsbDB->item(1)->setCheckState(Qt::Checked);
    save(window, dir, "connected");
    window.PageControl1->setCurrentIndex(1);
    save(window, dir, "connected-restore");
    window.PageControl1->setCurrentIndex(0);

    window.BtnConn->click();
    save(window, dir, "disconnected");
    return 0;
}
