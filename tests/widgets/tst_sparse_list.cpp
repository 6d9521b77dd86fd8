// The grid's sparse cell store: checked against a plain map under random writes, removals and
// moves, and for what it allocates.
#include "HtGrids.h"
#include "TSparseList.h"

#include <QRandomGenerator>
#include <QTest>

#include <map>

class TstSparseList : public QObject {
    Q_OBJECT

private:
    using Model = std::map<int, int>;

    static void moveInModel(Model& model, int from, int to) {
        Model moved;
        for (const auto& [index, value] : model) {
            int target = index;
            if (index == from)
                target = to;
            else if (from < to && index > from && index <= to)
                target = index - 1;
            else if (from > to && index >= to && index < from)
                target = index + 1;
            moved[target] = value;
        }
        model = std::move(moved);
    }

    static void compare(const TSparseList<int>& list, const Model& model, int span) {
        QCOMPARE(list.Count(), model.empty() ? 0 : model.rbegin()->first + 1);
        for (int i = 0; i < span; ++i) {
            const auto it = model.find(i);
            const int* item = list.get(i);
            if (it == model.end())
                QVERIFY2(!item, qPrintable(QStringLiteral("index %1 should be empty").arg(i)));
            else {
                QVERIFY2(item, qPrintable(QStringLiteral("index %1 lost its item").arg(i)));
                QCOMPARE(*item, it->second);
            }
        }
        Model seen;
        list.forAll([&seen](int index, const int& value) { seen[index] = value; });
        QVERIFY(seen == model);
    }

private slots:
    void matchesAMapUnderRandomUse_data() {
        QTest::addColumn<int>("quantum");
        QTest::addColumn<int>("span");
        QTest::newRow("small sections, narrow") << int(TSPAQuantum::SPASmall) << 40;
        QTest::newRow("small sections, wide") << int(TSPAQuantum::SPASmall) << 2000;
        QTest::newRow("large sections, wide") << int(TSPAQuantum::SPALarge) << 2000;
    }
    void matchesAMapUnderRandomUse() {
        QFETCH(int, quantum);
        QFETCH(int, span);
        QRandomGenerator random(20261208u + quint32(span));
        TSparseList<int> list{TSPAQuantum(quantum)};
        Model model;
        for (int step = 0; step < 4000; ++step) {
            const int index = int(random.bounded(span));
            switch (random.bounded(5)) {
            case 0:
            case 1: {
                const int value = int(random.generate() & 0xffff);
                list.put(index, std::make_unique<int>(value));
                model[index] = value;
                break;
            }
            case 2:
                list.put(index, nullptr);
                model.erase(index);
                break;
            case 3: {
                const std::unique_ptr<int> taken = list.take(index);
                const auto it = model.find(index);
                QCOMPARE(bool(taken), it != model.end());
                if (taken) {
                    QCOMPARE(*taken, it->second);
                    model.erase(it);
                }
                break;
            }
            case 4: {
                const int to = int(random.bounded(span));
                list.Move(index, to);
                moveInModel(model, index, to);
                break;
            }
            }
            if (step % 500 == 0)
                compare(list, model, span);
        }
        compare(list, model, span);
        list.clear();
        compare(list, {}, span);
    }

    // Removing the last item lowers the count to the item before it, across empty sections.
    void countFollowsTheHighestItem() {
        TSparseList<int> list(TSPAQuantum::SPASmall);
        list.put(3, std::make_unique<int>(1));
        list.put(700, std::make_unique<int>(2));
        QCOMPARE(list.Count(), 701);
        list.put(700, nullptr);
        QCOMPARE(list.Count(), 4);
        QVERIFY(list.get(3));
        QCOMPARE(list.take(3).operator bool(), true);
        QCOMPARE(list.Count(), 0);
    }

    // A read of a section that does not exist yet must not hide it once it is written.
    void readBeforeWriteOfTheSameSection() {
        TSparseList<int> list(TSPAQuantum::SPASmall);
        list.put(100, std::make_unique<int>(7));
        QVERIFY(!list.get(5));
        list.put(6, std::make_unique<int>(8));
        QVERIFY(list.get(6));
        QCOMPARE(*list.get(6), 8);
    }

    void allocatesOnlyTheSectionsWritten() {
        TSparseList<int> small(TSPAQuantum::SPASmall);
        QCOMPARE(small.sectionSize(), 16);
        small.put(0, std::make_unique<int>(1));
        small.put(15, std::make_unique<int>(1));
        small.put(99999, std::make_unique<int>(1));
        QCOMPARE(small.sectionCount(), 2);
        TSparseList<int> large(TSPAQuantum::SPALarge);
        QCOMPARE(large.sectionSize(), 256);
        large.put(255, std::make_unique<int>(1));
        large.put(256, std::make_unique<int>(1));
        QCOMPARE(large.sectionCount(), 2);
    }

    // A row takes large sections when the grid is wider than 512 columns as it is first written.
    void rowSectionSizeFollowsTheWidthAtFirstWrite() {
        THtStringGrid grid;
        grid.setColCount(513);
        grid.setRowCount(4);
        grid.setCellText(3, 1, QStringLiteral("wide"));
        grid.setColCount(10);
        grid.setCellText(3, 2, QStringLiteral("narrow"));
        grid.setCellText(5, 1, QStringLiteral("same row"));
        QCOMPARE(grid.rowSectionSize(1), 256);
        QCOMPARE(grid.rowSectionSize(2), 16);
        QCOMPARE(grid.rowSectionSize(3), 0);
        QCOMPARE(grid.CellText(5, 1), QStringLiteral("same row"));
        grid.setCellText(3, 2, QString());
        QCOMPARE(grid.rowSectionSize(2), 0); // the emptied row is gone
    }
};

QTEST_MAIN(TstSparseList)
#include "tst_sparse_list.moc"
