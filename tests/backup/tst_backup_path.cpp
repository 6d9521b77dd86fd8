// The backup page's picker button: the not-connected box, the trailing backslash, and an
// empty box when the picker is left without a pick.

#include "BackupPage.h"
#include "ConnectionHolder.h"
#include "ConnectionStrings.h"
#include "MessageBox.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntSelPath.h"
#include "TreeNodes.h"

#include <QDir>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace TreeNodes;

namespace {

// Acts on the picker once its modal loop runs.
void whenShown(TFrmSelPath& picker, std::function<void()> act) {
    QTimer::singleShot(0, &picker, [&picker, act] {
        if (picker.isVisible())
            act();
        else
            whenShown(picker, act);
    });
}

} // namespace

class TestBackupPath : public QObject {
    Q_OBJECT
private slots:
    void notConnectedShowsTheBoxAndKeepsThePath() {
        ConnectionHolder closed;
        closed.create();
        TFrmSelPath picker(closed);
        BackupPage page(closed, [&] { return picker.pick(); });
        QLineEdit& path = *page.EdtPath;
        path.setText("C:\\Old\\");
        ScopedMessageBoxRecorder boxes(&page);
        page.BtnPathClick();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().caption, QStringLiteral("提示"));
        QCOMPARE(boxes.shown().first().text, QStringLiteral("SQL SERVER服务器未成功连接!"));
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Information);
        QCOMPARE(path.text(), QStringLiteral("C:\\Old\\"));
        QCOMPARE(picker.trvw->topLevelItemCount(), 0); // never opened
    }

    void pickSetsThePathBox_data() {
        QTest::addColumn<QStringList>("nodes"); // the chain to select; empty means leave with Exit
        QTest::addColumn<QString>("expected");
        QTest::newRow("drive root keeps its one backslash") << QStringList{"C:\\"} << "C:\\";
        QTest::newRow("directory gets a backslash") << QStringList{"C:\\", "Data"} << "C:\\Data\\";
        QTest::newRow("nested directory") << QStringList{"C:\\", "Data", "Nightly"} << "C:\\Data\\Nightly\\";
        QTest::newRow("exit empties the box") << QStringList{} << "";
    }
    void pickSetsThePathBox() {
        QFETCH(QStringList, nodes);
        QFETCH(QString, expected);
        SimServer sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Data/Nightly");
        ConnectionHolder holder;
        holder.create();
        holder.get().setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(sim.port()), "master", SimServer::login(), SimServer::password()));
        holder.get().Open();

        TFrmSelPath picker(holder);
        BackupPage page(holder, [&] { return picker.pick(); });
        QLineEdit& path = *page.EdtPath;
        path.setText("C:\\Old\\");
        ScopedMessageBoxRecorder boxes(&page);
        // An earlier pick must not leak into a later Exit.
        whenShown(picker, [&] {
            picker.trvw->setCurrentItem(picker.trvw->topLevelItem(0));
            picker.btnOk->click();
        });
        page.BtnPathClick();
        QCOMPARE(path.text(), QStringLiteral("C:\\"));
        path.setText("C:\\Old\\");

        whenShown(picker, [&] {
            if (nodes.isEmpty()) {
                picker.BtnExit->click();
                return;
            }
            ServerTreeNode* node = picker.trvw->topLevelItem(0);
            picker.trvw->setCurrentItem(node);
            for (int i = 1; i < nodes.size() && node; ++i) {
                node = child(node, nodes[i]);
                picker.trvw->setCurrentItem(node);
            }
            if (node)
                picker.btnOk->click();
            else
                picker.BtnExit->click();
        });
        page.BtnPathClick();
        QCOMPARE(path.text(), expected);
        QVERIFY(boxes.shown().isEmpty());
    }
};

QTEST_MAIN(TestBackupPath)
#include "tst_backup_path.moc"
