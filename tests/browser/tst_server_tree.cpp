// The picker's tree model and view without a server: long levels kept as listings, no node object
// per row, Qt's model rules, and keyboard moves through a long level.

#include "NodeListing.h"
#include "NodePictures.h"
#include "ServerTreeView.h"

#include <QAbstractItemModelTester>
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

// Names of the given lengths, each of its own letters, so that a slice of a neighbour shows.
QStringList names(const QList<int>& lengths) {
    QStringList list;
    for (int i = 0; i < lengths.size(); ++i) {
        QString name;
        for (int c = 0; c < lengths[i]; ++c)
            name += QChar(u'a' + (i * 7 + c) % 26);
        list << name;
    }
    return list;
}

QImage image(const QVariant& decoration) { return decoration.value<QIcon>().pixmap(16, 16).toImage(); }
QImage image(int picture) { return NodePictures::icon(picture).pixmap(16, 16).toImage(); }

} // namespace

class TestServerTree : public QObject {
    Q_OBJECT
private slots:
    // Names are packed into blocks of 4,096 characters; a longer name takes a block of its own.
    void listingKeepsEachNameWhole_data() {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one") << QStringList{"a.Bak"};
        QTest::newRow("lengths differ, an empty one") << QStringList{"x", "longer name.bak", "", "zz"};
        QTest::newRow("backslash and quote") << QStringList{"C:\\", "O'Brien", "a\\b"};
        QTest::newRow("Chinese and surrogate pairs") << QStringList{"备份", "😀.bak", "数据库备份恢复"};
        QTest::newRow("filling blocks to the end and past it")
            << names({4000, 96, 1, 4095, 4096, 4097, 0, 12289, 3, 4096, 10});
        QTest::newRow("many short") << names(QList<int>(3000, 13));
    }
    void listingKeepsEachNameWhole() {
        QFETCH(QStringList, names);
        NodeListing listing;
        for (int i = 0; i < names.size(); ++i)
            listing.append(names[i], i % 4);
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
