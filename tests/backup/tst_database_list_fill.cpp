// Filling the backup page's database list and the restore page's name box: the list lays its rows
// out at one size, which must still let the widest name scroll fully into view, as a list that
// measures each row does; the name box's completer follows the names it is given.

#include "BackupPage.h"
#include "ConnectionHolder.h"
#include "RestorePage.h"

#include <QCompleter>
#include <QListWidget>
#include <QScrollBar>
#include <QtTest>

namespace {

QStringList manyNames(int count, int wideAt, const QString& wide) {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << QStringLiteral("Sample%1").arg(i, 4, 10, QLatin1Char('0'));
    if (wideAt >= 0)
        names.insert(wideAt, wide);
    return names;
}

// Runs the view's pending layout now (asking for a row's rectangle does), scroll-bar ranges included.
void layOut(QListWidget& list) {
    QVERIFY(list.count() > 0);
    list.visualItemRect(list.item(0));
}

} // namespace

class TestDatabaseListFill : public QObject {
    Q_OBJECT
private slots:
    void widestNameScrollsFullyIntoView_data() {
        QTest::addColumn<QStringList>("names");
        const QString latin = QStringLiteral("Accounting_Archive_2019_Quarterly_Reports_Restored_Copy");
        const QString chinese = QStringLiteral("财务部门二零一九年季度报表归档数据库恢复副本");
        QTest::newRow("widest first") << manyNames(300, 0, latin);
        QTest::newRow("widest in the middle") << manyNames(300, 150, latin);
        QTest::newRow("widest last") << manyNames(300, 300, latin);
        QTest::newRow("Chinese widest, fewer characters than a Latin name")
            << manyNames(300, 100, chinese) + QStringList{QStringLiteral("abcdefghijklmnopqrstuvwxyz")};
        QTest::newRow("all narrow") << manyNames(300, -1, {});
        QTest::newRow("one name") << QStringList{latin};
    }

    void widestNameScrollsFullyIntoView() {
        QFETCH(QStringList, names);
        QWidget window;
        ConnectionHolder none;
        BackupPage page(
            none, [] { return std::optional<QString>(); }, &window);
        // The same list measuring each row, for comparison.
        QListWidget measured(&window);
        measured.setGeometry(page.LsbDB->geometry().translated(0, 200));
        measured.setFont(page.LsbDB->font());
        window.resize(500, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // A fill of wide names first: the next fill must not keep their width.
        page.showDatabases(QStringList{QString(80, QLatin1Char('W'))});
        page.showDatabases(names);
        measured.addItems(names);
        for (int i = 0; i < measured.count(); ++i)
            measured.item(i)->setCheckState(Qt::Unchecked);

        layOut(*page.LsbDB);
        layOut(measured);
        QCOMPARE(page.LsbDB->horizontalScrollBar()->maximum(), measured.horizontalScrollBar()->maximum());
        QCOMPARE(page.LsbDB->verticalScrollBar()->maximum(), measured.verticalScrollBar()->maximum());
        QCOMPARE(page.LsbDB->count(), names.size());
    }

    void nameBoxCompletesFromTheListedNames() {
        ConnectionHolder none;
        RestorePage page(
            none, [] { return std::optional<QString>(); }, [] {});
        page.CmbDb->setEditText(QStringLiteral("typed"));
        page.showDatabases({QStringLiteral("SalesDemo"), QStringLiteral("Sample1"), QStringLiteral("库存管理")});
        QCOMPARE(page.CmbDb->currentText(), QStringLiteral("typed"));
        QCompleter* completer = page.CmbDb->completer();
        completer->setCompletionPrefix(QStringLiteral("Sa"));
        QCOMPARE(completer->completionCount(), 2);
        QCOMPARE(completer->currentCompletion(), QStringLiteral("SalesDemo"));
        completer->setCompletionPrefix(QStringLiteral("库"));
        QCOMPARE(completer->currentCompletion(), QStringLiteral("库存管理"));

        page.clearDatabases();
        QCOMPARE(page.CmbDb->currentText(), QStringLiteral("typed"));
        completer->setCompletionPrefix(QStringLiteral("Sa"));
        QCOMPARE(completer->completionCount(), 0);
    }
};

QTEST_MAIN(TestDatabaseListFill)
#include "tst_database_list_fill.moc"
