// The server pickers against the simulator: drives, lazy listing one level per selection, full
// paths, what OK accepts, the scratch table, and directory names that must stay names.

#include "ConnectionHolder.h"
#include "ConnectionStrings.h"
#include "MessageBox.h"
#include "NodeFullPath.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "UntSelFile.h"
#include "UntSelPath.h"
#include "TreeNodes.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace TreeNodes;

namespace {

QImage shownPicture(const ServerTreeNode* node) { return node->icon(0).pixmap(16, 16).toImage(); }

int count(const QStringList& statements, const QString& text) {
    int n = 0;
    for (const QString& s : statements)
        n += s == text ? 1 : 0;
    return n;
}

} // namespace

class TestPickers : public QObject {
    Q_OBJECT
private slots:
    void fullPathJoinsAncestors_data() {
        QTest::addColumn<QStringList>("chain");
        QTest::addColumn<QString>("path");
        QTest::newRow("root with backslash") << QStringList{"C:\\"} << "C:\\";
        QTest::newRow("child of a root with backslash") << QStringList{"C:\\", "Backup", "2008"} << "C:\\Backup\\2008";
        QTest::newRow("root without backslash") << QStringList{"D:", "Data"} << "D:\\Data";
    }
    void fullPathJoinsAncestors() {
        QFETCH(QStringList, chain);
        QFETCH(QString, path);
        QTreeWidget tree;
        QTreeWidgetItem* node = new QTreeWidgetItem(&tree, {chain.first()});
        for (int i = 1; i < chain.size(); ++i)
            node = new QTreeWidgetItem(node, {chain[i]});
        QCOMPARE(NodeFullPath(node), path);
    }

    void init() {
        sim = std::make_unique<SimServer>();
        QVERIFY2(sim->start({"--drive", "D=" + sim->stateDir() + "/drive-d"}), qPrintable(sim->errorString()));
        QDir().mkpath(sim->stateDir() + "/drive-d");
        QDir c(sim->driveC());
        c.mkpath("Backup/2008");
        c.mkpath("O'Brien");
        c.mkpath("Empty");
        QFile f(c.filePath("Backup/a.Bak"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        holder = std::make_unique<ConnectionHolder>();
        holder->create();
        connection = &holder->get();
        connection->setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(sim->port()), "master", SimServer::login(), SimServer::password()));
        connection->Open();
    }
    void cleanup() {
        holder.reset();
        sim.reset();
    }

    void pathPickerListsDrivesThenOneLevelPerSelection() {
        TFrmSelPath picker(*holder);
        picker.show();
        QCOMPARE(picker.trvw->topLevelItemCount(), 2);
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        QCOMPARE(c->text(0), QStringLiteral("C:\\"));
        QCOMPARE(c->childCount(), 0); // nothing listed before a selection
        picker.trvw->setCurrentItem(c);
        QVERIFY(childTexts(c).contains("Backup"));
        QVERIFY(!childTexts(c).contains("a.Bak")); // directories only
        const int listed = c->childCount();
        picker.trvw->setCurrentItem(child(c, "Backup"));
        picker.trvw->setCurrentItem(c); // a node with children is not listed again
        QCOMPARE(c->childCount(), listed);
        QCOMPARE(count(sim->statements(), "EXECUTE master.dbo.xp_dirtree N'C:\\', 1, 0"), 1);

        // A childless directory is listed again on each selection.
        ServerTreeNode* empty = child(c, "Empty");
        picker.trvw->setCurrentItem(empty);
        picker.trvw->setCurrentItem(c);
        picker.trvw->setCurrentItem(empty);
        QCOMPARE(count(sim->statements(), "EXECUTE master.dbo.xp_dirtree N'C:\\Empty', 1, 0"), 2);

        picker.trvw->setCurrentItem(child(child(c, "Backup"), "2008"));
        QTest::mouseClick(picker.btnOk, Qt::LeftButton);
        QVERIFY(picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("C:\\Backup\\2008"));
        QVERIFY(!picker.isVisible());
    }

    // The window manager restoring a minimised picker shows it again (a spontaneous show): that
    // is no new opening, so the tree stays as the user left it and nothing is sent.
    void restoringFromMinimisedKeepsTheTree_data() {
        QTest::addColumn<bool>("filePicker");
        QTest::newRow("path picker") << false;
        QTest::newRow("file picker") << true;
    }
    void restoringFromMinimisedKeepsTheTree() {
        QFETCH(bool, filePicker);
        std::unique_ptr<ServerTreeDialog> picker;
        if (filePicker)
            picker = std::make_unique<TFrmSelFile>(*holder);
        else
            picker = std::make_unique<TFrmSelPath>(*holder);
        picker->show();
        QVERIFY(QTest::qWaitForWindowExposed(picker.get()));
        ServerTreeNode* c = picker->trvw->topLevelItem(0);
        picker->trvw->setCurrentItem(c);
        picker->trvw->expandItem(c);
        QVERIFY(c->childCount() > 0);
        const int sent = sim->statements().size();

        picker->setWindowState(Qt::WindowMinimized);
        picker->setWindowState(Qt::WindowNoState);
        QVERIFY(picker->isVisible());

        QCOMPARE(sim->statements().size(), sent);
        QCOMPARE(picker->trvw->topLevelItem(0), c); // the same node, not a fresh tree
        QVERIFY(picker->trvw->isItemExpanded(c));
        QCOMPARE(picker->trvw->currentItem(), c);
        // A real new opening still starts afresh.
        picker->hide();
        picker->show();
        QVERIFY(sim->statements().size() > sent);
        QCOMPARE(picker->trvw->topLevelItem(0)->childCount(), 0);
    }

    void okOnADriveRootAndExitAfterAPick() {
        TFrmSelPath picker(*holder);
        picker.show();
        picker.trvw->setCurrentItem(picker.trvw->topLevelItem(1));
        picker.btnOk->click();
        QCOMPARE(picker.SelectedPath, QStringLiteral("D:\\"));
        picker.show(); // a new opening starts without a pick
        QVERIFY(!picker.IsSelected);
        QCOMPARE(picker.trvw->topLevelItemCount(), 2);
        QCOMPARE(picker.trvw->topLevelItem(0)->childCount(), 0);
        picker.BtnExit->click();
        QVERIFY(!picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("D:\\")); // kept, but not to be used
    }

    void filePickerPreparesItsScratchTableOncePerConnection() {
        TFrmSelFile picker(*holder);
        const QString create =
            "Create Table ##TbFile(subdirectory  nvarchar(800) Not Null,[depth] int not null,[file] int Not Null)";
        picker.show();
        picker.close();
        picker.show();
        picker.close();
        QCOMPARE(count(sim->statements(), create), 1);
        QCOMPARE(count(sim->statements(), "Select * From tempdb..sysobjects where name like '%##TbFile%'"), 2);
        // After a reconnect the table went with the old connection and is made again.
        connection->Close();
        connection->Open();
        picker.show();
        QCOMPARE(count(sim->statements(), create), 2);
    }

    void filePickerListsDirectoriesBeforeFilesAndTakesOnlyFiles() {
        TFrmSelFile picker(*holder);
        picker.show();
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(c);
        ServerTreeNode* backup = child(c, "Backup");
        QVERIFY(backup);
        picker.trvw->setCurrentItem(backup);
        QCOMPARE(childTexts(backup), (QStringList{"2008", "a.Bak"}));
        QCOMPARE(ServerTreeDialog::imageIndex(backup->child(0)), 0);
        QCOMPARE(ServerTreeDialog::imageIndex(backup->child(1)), 2);
        const QStringList sent = sim->statements();
        QCOMPARE(sent.mid(sent.size() - 3),
                 (QStringList{"Delete From ##TbFile",
                              "Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Backup', 1, 1",
                              "Select * From ##TbFile Order by [file],subdirectory"}));
        picker.btnOk->click(); // a directory: nothing happens
        QVERIFY(!picker.IsSelected);
        QVERIFY(picker.isVisible());
        picker.trvw->setCurrentItem(backup->child(1));
        picker.btnOk->click();
        QVERIFY(picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("C:\\Backup\\a.Bak"));
    }

    // A long directory through the real listing: directories first, then files by name, each with
    // its picture; a file deep in the level is what OK returns; opening and closing the node again
    // lists nothing again.
    void filePickerListsALongDirectoryInOrder() {
        QDir c(sim->driveC());
        c.mkpath("Many/dirB");
        c.mkpath("Many/dirA");
        const int files = 3000;
        for (int i = files - 1; i >= 0; --i) {
            QFile f(c.filePath(QStringLiteral("Many/f%1.bak").arg(i, 5, 10, QLatin1Char('0'))));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        TFrmSelFile picker(*holder);
        picker.show();
        ServerTreeNode* drive = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(drive);
        ServerTreeNode* many = child(drive, "Many");
        QVERIFY(many);
        picker.trvw->setCurrentItem(many);
        const QStringList texts = childTexts(many);
        QCOMPARE(texts.size(), files + 2);
        QCOMPARE(texts.mid(0, 3), (QStringList{"dirA", "dirB", "f00000.bak"}));
        QCOMPARE(texts.last(), QStringLiteral("f02999.bak"));
        for (int row = 0; row < texts.size(); row += 499)
            QCOMPARE(ServerTreeDialog::imageIndex(many->child(row)), row < 2 ? 0 : 2);

        picker.trvw->expandItem(many);
        picker.trvw->collapse(picker.trvw->treeModel()->indexOf(many));
        picker.trvw->setCurrentItem(drive);
        picker.trvw->expandItem(many);
        picker.trvw->setCurrentItem(many);
        QCOMPARE(many->childCount(), files + 2);
        QCOMPARE(count(sim->statements(), "Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Many', 1, 1"), 1);

        ServerTreeNode* deep = many->child(2 + 2718);
        picker.trvw->scrollTo(picker.trvw->treeModel()->indexOf(deep));
        picker.trvw->setCurrentItem(deep);
        QCOMPARE(shownPicture(deep), picker.ImageList2[3].pixmap(16, 16).toImage());
        QTest::mouseClick(picker.btnOk, Qt::LeftButton);
        QVERIFY(picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("C:\\Many\\f02718.bak"));
    }

    // A directory with no entries gets no children and no expand mark, and is listed again on the
    // next selection (it may have files by then).
    void filePickerEmptyDirectoryIsListedAgain() {
        TFrmSelFile picker(*holder);
        picker.show();
        ServerTreeNode* drive = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(drive);
        ServerTreeNode* empty = child(drive, "Empty");
        picker.trvw->setCurrentItem(empty);
        QCOMPARE(empty->childCount(), 0);
        QVERIFY(!picker.trvw->treeModel()->hasChildren(picker.trvw->treeModel()->indexOf(empty)));
        QFile f(QDir(sim->driveC()).filePath("Empty/late.bak"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        picker.trvw->setCurrentItem(drive);
        picker.trvw->setCurrentItem(empty);
        QCOMPARE(childTexts(empty), QStringList{"late.bak"});
        QCOMPARE(count(sim->statements(), "Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Empty', 1, 1"), 2);
    }

    void quoteInADirectoryNameStaysInTheName() {
        TFrmSelPath picker(*holder);
        picker.show();
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(c);
        ServerTreeNode* odd = child(c, "O'Brien");
        QVERIFY(odd);
        picker.trvw->setCurrentItem(odd);
        QVERIFY(sim->statements().contains("EXECUTE master.dbo.xp_dirtree N'C:\\O''Brien', 1, 0"));
        TFrmSelFile files(*holder);
        files.show();
        files.trvw->setCurrentItem(files.trvw->topLevelItem(0));
        files.trvw->setCurrentItem(child(files.trvw->topLevelItem(0), "O'Brien"));
        QVERIFY(sim->statements().contains("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\O''Brien', 1, 1"));
    }

    void layoutAndCaptions() {
        TFrmSelPath path(*holder);
        TFrmSelFile file(*holder);
        QCOMPARE(path.windowTitle(), QStringLiteral("选择服务器路径"));
        QCOMPARE(file.windowTitle(), QStringLiteral("请选择服务器文件"));
        QCOMPARE(path.size(), QSize(324, 287));
        QCOMPARE(file.size(), QSize(325, 287));
        QCOMPARE(path.lblSelect->text(), QStringLiteral("请选择路径..."));
        QCOMPARE(file.lblSelect->text(), QStringLiteral("请选择文件..."));
        QCOMPARE(path.trvw->geometry(), QRect(8, 24, 305, 222));
        QCOMPARE(path.btnOk->geometry(), QRect(136, 256, 75, 25));
        QCOMPARE(path.BtnExit->geometry(), QRect(240, 256, 75, 25));
        QVERIFY(!path.btnOk->isDefault() && !path.BtnExit->isDefault());
    }

    void openingSendsTheDriveQueryOnly() {
        const int before = sim->statements().size();
        TFrmSelPath picker(*holder);
        picker.show();
        QCOMPARE(sim->statements().mid(before), QStringList{"master..xp_availablemedia 2"});
        QVERIFY(picker.trvw->hasFocus() || !QApplication::focusWidget()); // offscreen may give no focus at all
        for (int i = 0; i < picker.trvw->topLevelItemCount(); ++i)
            QCOMPARE(ServerTreeDialog::imageIndex(picker.trvw->topLevelItem(i)), 0);
    }

    void leavingWithoutOkKeepsNoPick_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("exit button") << "exit";
        QTest::newRow("escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void leavingWithoutOkKeepsNoPick() {
        QFETCH(QString, how);
        TFrmSelPath picker(*holder);
        picker.show();
        picker.trvw->setCurrentItem(picker.trvw->topLevelItem(0));
        picker.btnOk->click();
        QVERIFY(picker.IsSelected);
        QVERIFY(!picker.isVisible());

        picker.show();
        QVERIFY(!picker.IsSelected);
        picker.trvw->setCurrentItem(picker.trvw->topLevelItem(1)); // selected, never confirmed
        if (how == "exit")
            QTest::mouseClick(picker.BtnExit, Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(&picker, Qt::Key_Escape);
        else
            picker.close();
        QVERIFY(!picker.isVisible());
        QVERIFY(!picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("C:\\")); // the earlier pick, not to be used
    }

    void leavingAModalPickerEndsItsLoop() {
        TFrmSelPath picker(*holder);
        QTimer::singleShot(0, &picker, [&] { QTest::keyClick(&picker, Qt::Key_Escape); });
        picker.exec(); // returns only when Esc ended the modal loop
        QVERIFY(!picker.IsSelected);
        QTimer::singleShot(0, &picker, [&] {
            picker.trvw->setCurrentItem(picker.trvw->topLevelItem(0));
            picker.btnOk->click();
        });
        picker.exec();
        QVERIFY(picker.IsSelected);
        QCOMPARE(picker.SelectedPath, QStringLiteral("C:\\"));
    }

    void selectedNodeShowsItsSelectedPicture() {
        TFrmSelFile picker(*holder);
        QCOMPARE(picker.ImageList2.size(), 4);
        QList<QImage> pictures;
        for (const QIcon& icon : picker.ImageList2) {
            const QImage image = icon.pixmap(16, 16).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // masked: the corner shows the tree through
            QVERIFY(!pictures.contains(image));
            pictures << image;
        }
        picker.show();
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        QCOMPARE(shownPicture(c), pictures[0]);
        picker.trvw->setCurrentItem(c);
        QCOMPARE(shownPicture(c), pictures[1]);
        ServerTreeNode* backup = child(c, "Backup");
        picker.trvw->setCurrentItem(backup);
        QCOMPARE(shownPicture(c), pictures[0]);
        ServerTreeNode* file = child(backup, "a.Bak");
        QVERIFY(file);
        QCOMPARE(shownPicture(file), pictures[2]);
        picker.trvw->setCurrentItem(file);
        QCOMPARE(shownPicture(file), pictures[3]);
        QCOMPARE(shownPicture(backup), pictures[0]);
    }

    void fileNodeIsListedLikeADirectory() {
        TFrmSelFile picker(*holder);
        picker.show();
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(c);
        ServerTreeNode* backup = child(c, "Backup");
        picker.trvw->setCurrentItem(backup);
        picker.trvw->setCurrentItem(child(backup, "a.Bak"));
        QVERIFY(sim->statements().contains("Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Backup\\a.Bak', 1, 1"));
        QCOMPARE(child(backup, "a.Bak")->childCount(), 0);
    }

    void pickerIsCentredOnItsOwner() {
        QWidget owner;
        owner.setGeometry(100, 80, 800, 600);
        owner.show();
        TFrmSelPath picker(*holder, &owner);
        picker.show();
        const QPoint offset = picker.frameGeometry().center() - owner.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 4, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        picker.close();
    }

private:
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<ConnectionHolder> holder;
    TADOConnection* connection = nullptr;
};

// Failures of the server reach the default error display; the dialog stays usable.
class TestPickerFailures : public QObject {
    Q_OBJECT
private slots:
    void openingFailureLeavesAnEmptyTree() {
        SimServer sim;
        QVERIFY2(sim.start({"--login", "viewer:Viewer_Passw0rd:nosysadmin"}), qPrintable(sim.errorString()));
        ConnectionHolder holder;
        holder.create();
        TADOConnection& connection = holder.get();
        connection.setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(sim.port()), "master", "viewer", "Viewer_Passw0rd"));
        connection.Open();
        TFrmSelPath picker(holder);
        ScopedMessageBoxRecorder boxes(&picker);
        picker.show();
        QVERIFY(picker.isVisible());
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().icon, QMessageBox::Critical);
        QVERIFY2(boxes.shown().first().text.contains("xp_availablemedia"), qPrintable(boxes.shown().first().text));
        QCOMPARE(picker.trvw->topLevelItemCount(), 0);
        picker.btnOk->click(); // nothing to accept
        QVERIFY(picker.isVisible());
        QVERIFY(!picker.IsSelected);
        picker.BtnExit->click();
        QVERIFY(!picker.isVisible());
        QVERIFY(!picker.IsSelected);
    }

    void failedListingIsRetriedOnTheNextSelection() {
        SimServer sim;
        QVERIFY2(sim.start({"--fail", "N'C:\\Locked'=22006"}), qPrintable(sim.errorString()));
        QDir(sim.driveC()).mkpath("Locked/Inner");
        ConnectionHolder holder;
        holder.create();
        TADOConnection& connection = holder.get();
        connection.setConnectionString(ConnectionStrings::sqlServerAuthentication(
            QStringLiteral("127.0.0.1,%1").arg(sim.port()), "master", SimServer::login(), SimServer::password()));
        connection.Open();
        TFrmSelFile picker(holder);
        ScopedMessageBoxRecorder boxes(&picker);
        picker.show();
        ServerTreeNode* c = picker.trvw->topLevelItem(0);
        picker.trvw->setCurrentItem(c);
        ServerTreeNode* locked = child(c, "Locked");
        QVERIFY(locked);
        QVERIFY(boxes.shown().isEmpty());
        picker.trvw->setCurrentItem(locked);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(locked->childCount(), 0);
        QCOMPARE(picker.trvw->currentItem(), locked); // stays selected
        picker.trvw->setCurrentItem(c);
        picker.trvw->setCurrentItem(locked);
        QCOMPARE(boxes.shown().size(), 2);
        QCOMPARE(count(sim.statements(), "Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Locked', 1, 1"), 2);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int status = 0;
    {
        TestPickers pickers;
        status |= QTest::qExec(&pickers, argc, argv);
    }
    {
        TestPickerFailures failures;
        status |= QTest::qExec(&failures, argc, argv);
    }
    return status;
}
#include "tst_pickers.moc"
