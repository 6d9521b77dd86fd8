// The picker's tree model and view without a server: long levels kept as listings, nodes made
// only when asked for, pictures, selection, expansion, full paths and keyboard moves.

#include "NodeFullPath.h"
#include "NodeListing.h"
#include "NodePictures.h"
#include "ServerTreeView.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

QList<QIcon> pictures() {
    QList<QIcon> icons;
    for (int i = 0; i < 4; ++i)
        icons.append(NodePictures::icon(i));
    return icons;
}

QString fileName(int i) { return QStringLiteral("file%1.dat").arg(i, 6, 10, QLatin1Char('0')); }

// Directories first, then files, as the file picker lists a level.
NodeListing level(int directories, int files) {
    NodeListing listing;
    for (int i = 0; i < directories; ++i)
        listing.append(QStringLiteral("dir%1").arg(i), NodePictures::ClosedFolder);
    for (int i = 0; i < files; ++i)
        listing.append(fileName(i), NodePictures::Sheet);
    return listing;
}

NodeListing drives() {
    NodeListing listing;
    listing.append(u"C:\\", NodePictures::ClosedFolder);
    listing.append(u"D:\\", NodePictures::ClosedFolder);
    return listing;
}

QImage image(const QVariant& decoration) { return decoration.value<QIcon>().pixmap(16, 16).toImage(); }
QImage image(int picture) { return NodePictures::icon(picture).pixmap(16, 16).toImage(); }

} // namespace

class TestServerTree : public QObject {
    Q_OBJECT
private slots:
    void listingKeepsEachNameWhole_data() {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one") << QStringList{"a.Bak"};
        QTest::newRow("lengths differ") << QStringList{"x", "longer name.bak", "y", "zz"};
        QTest::newRow("backslash and quote") << QStringList{"C:\\", "O'Brien", "a\\b"};
        QTest::newRow("Chinese and surrogate pairs") << QStringList{"备份", "😀.bak", "数据库备份恢复"};
    }
    void listingKeepsEachNameWhole() {
        QFETCH(QStringList, names);
        NodeListing listing;
        for (int i = 0; i < names.size(); ++i)
            listing.append(names[i], i % 4);
        listing.squeeze();
        QCOMPARE(listing.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(listing.name(i).toString(), names[i]);
            QCOMPARE(listing.picture(i), i % 4);
        }
    }

    // Qt's own checker of model rules (parents, rows, signals) over listings, nesting and a reset.
    void modelKeepsQtsModelRules() {
        ServerTreeModel model(pictures(), nullptr);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setChildren(nullptr, drives());
        ServerTreeNode* c = model.root()->child(0);
        model.setChildren(c, level(3, 50));
        model.setChildren(c->child(1), level(2, 2));
        model.setChildren(c->child(1)->child(0), level(0, 1));
        model.showSelected(c->child(1)->child(3));
        model.showSelected(c->child(52));
        model.clear();
        model.setChildren(nullptr, drives());
        QCOMPARE(model.rowCount(), 2);
    }

    void levelIsListedOnceAndEmptyLevelStaysOpenToListing() {
        ServerTreeModel model(pictures(), nullptr);
        model.setChildren(nullptr, drives());
        ServerTreeNode* c = model.root()->child(0);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.setChildren(c, NodeListing()); // an empty directory
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(c->childCount(), 0);
        QVERIFY(!model.hasChildren(model.indexOf(c)));
        model.setChildren(c, level(1, 2)); // listed again later, it may have entries now
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(c->childCount(), 3);
        QVERIFY(model.hasChildren(model.indexOf(c)));
        model.setChildren(c, level(5, 5)); // a listed level is kept as it is
        QCOMPARE(c->childCount(), 3);
        QCOMPARE(inserted.size(), 1);
    }

    void hugeLevelInOrderWithPicturesAndNoNodePerRow() {
        ServerTreeView view(pictures(), nullptr);
        view.resize(305, 222);
        ServerTreeModel& model = *view.treeModel();
        model.setChildren(nullptr, drives());
        ServerTreeNode* c = view.topLevelItem(0);
        const int directories = 10;
        const int files = 200000;
        model.setChildren(c, level(directories, files));
        view.expandItem(c);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.scrollToBottom();
        QCoreApplication::processEvents();

        const QModelIndex parent = model.indexOf(c);
        QCOMPARE(model.rowCount(parent), directories + files);
        for (int row : {0, directories - 1, directories, directories + 1, directories + files / 2,
                        directories + files - 1}) {
            const QModelIndex index = model.index(row, 0, parent);
            const bool directory = row < directories;
            QCOMPARE(index.data().toString(),
                     directory ? QStringLiteral("dir%1").arg(row) : fileName(row - directories));
            QCOMPARE(image(index.data(Qt::DecorationRole)),
                     image(directory ? NodePictures::ClosedFolder : NodePictures::Sheet));
            QVERIFY(!model.hasChildren(index));
        }
        // Laying out, drawing and scrolling the whole level made no node objects.
        for (int row = 0; row < directories + files; row += 997)
            QVERIFY2(!c->existingChild(row), qPrintable(QString::number(row)));
    }

    void selectionShowsTheSelectedPictureOnOneNodeAtATime() {
        ServerTreeView view(pictures(), nullptr);
        ServerTreeModel& model = *view.treeModel();
        model.setChildren(nullptr, drives());
        ServerTreeNode* c = view.topLevelItem(0);
        model.setChildren(c, level(2, 1000));
        ServerTreeNode* dir = c->child(1);
        ServerTreeNode* file = c->child(2 + 777);
        QSignalSpy changed(&view, &ServerTreeView::itemSelectionChanged);
        QObject::connect(&view, &ServerTreeView::itemSelectionChanged, &model,
                         [&] { model.showSelected(view.selectedItems().value(0)); });

        view.setCurrentItem(file);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(view.selectedItems(), QList<ServerTreeNode*>{file});
        QCOMPARE(view.currentItem(), file);
        QCOMPARE(NodeFullPath(file), QStringLiteral("C:\\file000777.dat"));
        QCOMPARE(image(model.indexOf(file).data(Qt::DecorationRole)), image(NodePictures::OpenBook));
        QCOMPARE(file->shownPicture(), int(NodePictures::OpenBook));
        QCOMPARE(file->picture(), int(NodePictures::Sheet));

        view.setCurrentItem(dir);
        QCOMPARE(image(model.indexOf(dir).data(Qt::DecorationRole)), image(NodePictures::OpenFolder));
        QCOMPARE(image(model.indexOf(file).data(Qt::DecorationRole)), image(NodePictures::Sheet));
        view.setCurrentItem(c);
        QCOMPARE(c->shownPicture(), int(NodePictures::OpenFolder));
        QCOMPARE(dir->shownPicture(), int(NodePictures::ClosedFolder));

        view.clear(); // the selection goes first, with its signal
        QCOMPARE(changed.size(), 4);
        QCOMPARE(view.topLevelItemCount(), 0);
        QVERIFY(!view.currentItem());
        QVERIFY(view.selectedItems().isEmpty());
    }

    void nodesStayTheSameThroughCollapseAndExpand() {
        ServerTreeView view(pictures(), nullptr);
        ServerTreeModel& model = *view.treeModel();
        model.setChildren(nullptr, drives());
        ServerTreeNode* d = view.topLevelItem(1);
        model.setChildren(d, level(3, 3));
        ServerTreeNode* inner = d->child(2);
        model.setChildren(inner, level(0, 4));
        ServerTreeNode* deep = inner->child(3);
        view.expandItem(d);
        view.expandItem(inner);
        view.setCurrentItem(deep);
        view.collapse(model.indexOf(d));
        QVERIFY(!view.isItemExpanded(d));
        view.expandItem(d);
        QVERIFY(view.isItemExpanded(d));
        QVERIFY(view.isItemExpanded(inner)); // a child keeps its own state, as in any tree view
        QCOMPARE(d->child(2), inner);
        QCOMPARE(inner->child(3), deep);
        QCOMPARE(deep->parent(), inner);
        QCOMPARE(inner->parent(), d);
        QVERIFY(!d->parent()); // a drive has no parent node
        QCOMPARE(NodeFullPath(deep), QStringLiteral("D:\\dir2\\file000003.dat"));
        QCOMPARE(view.topLevelItem(1), d);
        QVERIFY(!view.topLevelItem(2));
        QVERIFY(!d->child(6));
        QVERIFY(!d->child(-1));
    }

    void findItemsLooksAtTheDrives_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("found");
        QTest::newRow("a drive") << "D:\\" << 1;
        QTest::newRow("a child's name") << "dir0" << -1;
        QTest::newRow("part of a name") << "C:" << -1;
    }
    void findItemsLooksAtTheDrives() {
        QFETCH(QString, text);
        QFETCH(int, found);
        ServerTreeView view(pictures(), nullptr);
        QVERIFY(view.findItems(text, Qt::MatchExactly).isEmpty()); // an empty tree
        view.treeModel()->setChildren(nullptr, drives());
        view.treeModel()->setChildren(view.topLevelItem(0), level(1, 0));
        const QList<ServerTreeNode*> nodes = view.findItems(text, Qt::MatchExactly);
        QCOMPARE(nodes.size(), found < 0 ? 0 : 1);
        if (found >= 0)
            QCOMPARE(nodes.first(), view.topLevelItem(found));
    }

    void keyboardWalksALongLevel() {
        ServerTreeView view(pictures(), nullptr);
        view.setSelectionMode(QAbstractItemView::SingleSelection);
        view.resize(305, 222);
        ServerTreeModel& model = *view.treeModel();
        model.setChildren(nullptr, drives());
        ServerTreeNode* c = view.topLevelItem(0);
        model.setChildren(c, level(0, 5000));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setCurrentItem(c);
        QTest::keyClick(view.viewport(), Qt::Key_Right); // opens the drive
        QVERIFY(view.isItemExpanded(c));
        QTest::keyClick(view.viewport(), Qt::Key_Down);
        QCOMPARE(view.currentItem()->text(0), fileName(0));
        QTest::keyClick(view.viewport(), Qt::Key_End); // the last row of the tree: D:
        QCOMPARE(view.currentItem(), view.topLevelItem(1));
        QTest::keyClick(view.viewport(), Qt::Key_Up);
        QCOMPARE(view.currentItem()->text(0), fileName(4999));
        QCOMPARE(view.selectedItems(), QList<ServerTreeNode*>{view.currentItem()});
        QTest::keyClicks(view.viewport(), "file002");
        QCOMPARE(view.currentItem()->text(0), fileName(2000));
    }
};

QTEST_MAIN(TestServerTree)
#include "tst_server_tree.moc"
