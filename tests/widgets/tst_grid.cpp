// The string grid as the restore page uses it, driven with keys and the mouse and checked on
// what it shows; plus the write rule, resizing and the sparse store.

#include "RestoreGrid.h"
#include "HtGrids.h"
#include "TInplaceEdit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QPushButton>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSet>
#include <QScrollBar>
#include <QtTest>

namespace {

// The restore page's grid with its veto: only column 1 of the data rows.
struct RestoreGrid {
    QWidget window;
    THtStringGrid* grid;
    RestoreGrid() : grid(new THtStringGrid(&window)) {
        window.resize(430, 120);
        grid->setGeometry(8, 8, 413, 73);
        grid->OnSelectCell = [](QObject*, int col, int row, bool& can) { can = col != 0 && row != 0; };
        setupRestoreGrid(grid);
        window.show();
    }
    void load(const QStringList& logical, const QStringList& physical) {
        grid->setRowCount(int(logical.size()) + 1);
        for (int i = 0; i < logical.size(); ++i) {
            grid->setCellText(0, i + 1, logical[i]);
            grid->setCellText(1, i + 1, physical[i]);
        }
    }
    QColor pixel(const QPoint& p) { return grid->viewport()->grab().toImage().pixelColor(p); }
};

// A 5 x 5 string grid (one fixed row and column) whose editor is always open and whose length
// limit a test chooses; the limit has no property of its own, a grid class decides it.
class LimitedGrid : public THtStringGrid {
public:
    int limit = 0;

protected:
    int GetEditLimit() override { return limit; }
};

// A shown, focused grid with the editor open on (1, 1).
template <typename Grid>
TInplaceEdit* openEditor(Grid& grid) {
    grid.setOptions(grid.Options() | goEditing | goAlwaysShowEditor | goTabs);
    grid.resize(400, 200);
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid))
        return nullptr;
    grid.setFocus();
    TInplaceEdit* editor = grid.InplaceEditor();
    return editor && QTest::qWaitFor([&] { return editor->hasFocus(); }) ? editor : nullptr;
}

QPoint cellOf(const THtCustomGrid& grid) { return {grid.CurrentCol(), grid.CurrentRow()}; }

// The process's peak resident memory (VmHWM) in KiB, -1 where /proc does not tell.
qint64 peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
private slots:
    void restoreGridStartsWithItsHeaderAndCurrentCell() {
        RestoreGrid g;
        QVERIFY(QTest::qWaitForWindowExposed(&g.window));
        QCOMPARE(g.grid->ColCount(), 2);
        QCOMPARE(g.grid->RowCount(), 2);
        QCOMPARE(g.grid->CellText(0, 0), QStringLiteral("逻辑文件名"));
        QCOMPARE(g.grid->CellText(1, 0), QStringLiteral("移至物理文件名"));
        QCOMPARE(g.grid->ColWidths(0), 154);
        QCOMPARE(g.grid->ColWidths(1), 235);
        QCOMPARE(g.grid->RowHeights(1), 18);
        // Placed without the veto, which would refuse column 0.
        QCOMPARE(g.grid->CurrentCol(), 0);
        QCOMPARE(g.grid->CurrentRow(), 1);
        // Everything fits: no scroll bar.
        QTRY_VERIFY(!g.grid->horizontalScrollBar()->isVisible());
        QVERIFY(!g.grid->verticalScrollBar()->isVisible());
    }

    void vetoKeepsTheCurrentCellOffColumnZero() {
        RestoreGrid g;
        g.load({"a", "b", "c"}, {"C:\\a.mdf", "C:\\b.ldf", "C:\\c.ndf"});
        QVERIFY(QTest::qWaitForWindowExposed(&g.window));
        g.grid->setCurrentCol(1);
        QCOMPARE(g.grid->CurrentCol(), 1);
        g.grid->setFocus();
        QTest::keyClick(g.grid, Qt::Key_Left, Qt::ControlModifier); // through the editor or the grid
        QTest::keyClick(g.grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g.grid->CurrentCol(), 1);
        QCOMPARE(g.grid->CurrentRow(), 1);
        QTest::keyClick(g.grid, Qt::Key_Down);
        QCOMPARE(g.grid->CurrentRow(), 2);
        // Clicks on column 0 and on the header do not move it.
        QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, g.grid->cellRect(0, 3).center());
        QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, g.grid->cellRect(1, 0).center());
        QCOMPARE(g.grid->CurrentCol(), 1);
        QCOMPARE(g.grid->CurrentRow(), 2);
        QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, g.grid->cellRect(1, 3).center());
        QCOMPARE(g.grid->CurrentRow(), 3);
    }

    void settingRowWhileOnColumnZeroDoesNothing() {
        RestoreGrid g;
        g.load({"a", "b"}, {"x", "y"});
        QCOMPARE(g.grid->CurrentCol(), 0);
        g.grid->setCurrentRow(2);
        QCOMPARE(g.grid->CurrentRow(), 1);
        g.grid->setCurrentCol(1);
        g.grid->setCurrentRow(2);
        QCOMPARE(g.grid->CurrentRow(), 2);
    }

    void editorWritesEveryKeystrokeBack() {
        RestoreGrid g;
        g.load({"data"}, {"C:\\old.mdf"});
        QVERIFY(QTest::qWaitForWindowExposed(&g.window));
        g.grid->setCurrentCol(1);
        g.grid->setFocus();
        TInplaceEdit* editor = g.grid->InplaceEditor();
        QVERIFY(editor);
        QTRY_VERIFY(editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("C:\\old.mdf"));
        QCOMPARE(editor->selectedText(), editor->text()); // loaded with all text selected
        QTest::keyClicks(editor, "D:\\n");
        QCOMPARE(g.grid->CellText(1, 1), QStringLiteral("D:\\n"));
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(g.grid->CellText(1, 1), QStringLiteral("D:\\"));
        // A write from code reloads the editor.
        g.grid->setCellText(1, 1, "E:\\new.mdf");
        QCOMPARE(editor->text(), QStringLiteral("E:\\new.mdf"));
    }

    void rightAtTheEndMovesToTheNextCell() {
        THtStringGrid grid;
        grid.setColCount(3);
        grid.setRowCount(3);
        grid.setOptions(grid.Options() | goEditing | goAlwaysShowEditor);
        grid.setCellText(1, 1, "ab");
        grid.setCellText(2, 1, "next");
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        TInplaceEdit* editor = grid.InplaceEditor();
        QTRY_VERIFY(editor && editor->isVisible());
        editor->end(false);
        QTest::keyClick(editor, Qt::Key_Right);
        QCOMPARE(grid.CurrentCol(), 2);
        QCOMPARE(editor->text(), QStringLiteral("next"));
        QCOMPARE(editor->selectedText(), QStringLiteral("next"));
    }

    void formatCodesNormaliseNumbers_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("stored");
        QTest::newRow("N trims zeros") << "N" << "1.50" << "1.5";
        QTest::newRow("N non-number") << "N" << "x" << "0";
        QTest::newRow("n same as N") << "n" << "2.250" << "2.25";
        QTest::newRow("N empty stays empty") << "N" << "" << "";
        QTest::newRow("two decimals") << "2" << "3.14159" << "3.14";
        QTest::newRow("two decimals pads") << "2" << "7" << "7.00";
        QTest::newRow("two decimals non-number") << "2" << "abc" << "0.00";
        QTest::newRow("zero decimals rounds") << "0" << "2.6" << "3";
        QTest::newRow("other code verbatim") << "X" << "1.50" << "1.50";
        QTest::newRow("decimal count capped") << "444444440" << "1.5" << "1.500000000000000000";
    }
    void formatCodesNormaliseNumbers() {
        QFETCH(QString, code);
        QFETCH(QString, written);
        QFETCH(QString, stored);
        QLocale::setDefault(QLocale::c());
        THtStringGrid grid;
        grid.setColProperty({"", code});
        grid.setCellText(1, 1, written);
        QCOMPARE(grid.CellText(1, 1), stored);
        grid.setCellText(0, 1, written); // no code for column 0
        QCOMPARE(grid.CellText(0, 1), written);
        grid.setCellText(1, 0, written); // fixed row: verbatim
        QCOMPARE(grid.CellText(1, 0), written);
    }

    void shrinkingKeepsTextsAndClampsTheCurrentCell() {
        RestoreGrid g;
        g.load({"a", "b", "c", "d"}, {"1", "2", "3", "4"});
        g.grid->setCurrentCol(1);
        g.grid->setCurrentRow(4);
        g.grid->setRowCount(3);
        QCOMPARE(g.grid->CurrentRow(), 2);
        QCOMPARE(g.grid->CurrentCol(), 1);
        QCOMPARE(g.grid->SelectedRange(), (TGridRect{1, 2, 1, 2}));
        g.grid->setRowCount(5);
        QCOMPARE(g.grid->CellText(1, 4), QStringLiteral("4")); // shown again
    }

    void clampedCellRefusedByTheVetoMovesToTheNearestAllowed() {
        // Regression: the current cell used to stay outside the table after a shrink.
        THtStringGrid grid;
        grid.setColCount(3);
        grid.setRowCount(6);
        grid.setCurrentCol(2);
        grid.setCurrentRow(5);
        grid.OnSelectCell = [](QObject*, int col, int, bool& can) { can = col != 2; };
        grid.setColCount(3);
        grid.setRowCount(3);
        QVERIFY(grid.CurrentRow() < grid.RowCount());
        QCOMPARE(grid.CurrentRow(), 2);
        QCOMPARE(grid.CurrentCol(), 1);
        // When the veto accepts nothing the clamped cell is taken anyway.
        grid.OnSelectCell = [](QObject*, int, int, bool& can) { can = false; };
        grid.setRowCount(2);
        QCOMPARE(grid.CurrentRow(), 1);
    }

    // A shrink asks the veto about the clamped cell once; only when it refuses are the nearest
    // cells asked, nearest first, rows above before rows below, left before right.
    void shrinkAsksTheVetoOnceForAnAllowedCell() {
        THtStringGrid grid;
        grid.setColCount(4);
        grid.setRowCount(200000);
        grid.focusCell(3, 199999, true);
        int asked = 0;
        grid.OnSelectCell = [&](QObject*, int, int, bool&) { ++asked; };
        grid.setRowCount(100000);
        QCOMPARE(asked, 1);
        QCOMPARE(cellOf(grid), QPoint(3, 99999));
    }

    void shrinkFindsTheNearestAllowedCell() {
        QRandomGenerator random(20261208);
        for (int round = 0; round < 300; ++round) {
            const int cols = 2 + random.bounded(6), rows = 2 + random.bounded(6);
            const int fixedCols = random.bounded(cols), fixedRows = random.bounded(rows);
            QSet<int> allowed; // col * 100 + row
            const int density = random.bounded(1, 60);
            for (int c = 0; c < cols; ++c)
                for (int r = 0; r < rows + 3; ++r)
                    if (random.bounded(100) < density)
                        allowed.insert(c * 100 + r);
            THtStringGrid grid;
            grid.setColCount(cols);
            grid.setRowCount(rows + 3);
            grid.setFixedCols(fixedCols);
            grid.setFixedRows(fixedRows);
            const int startCol = fixedCols + random.bounded(cols - fixedCols);
            grid.focusCell(startCol, rows + 2, true);
            grid.OnSelectCell = [&](QObject*, int c, int r, bool& can) { can = allowed.contains(c * 100 + r); };
            grid.setRowCount(rows);

            QPoint expected(startCol, rows - 1);
            if (!allowed.contains(startCol * 100 + rows - 1)) {
                int best = INT_MAX;
                for (int r = fixedRows; r < rows; ++r)
                    for (int c = fixedCols; c < cols; ++c) {
                        const int distance = std::abs(c - startCol) + std::abs(r - (rows - 1));
                        if (allowed.contains(c * 100 + r) && distance < best)
                            best = distance, expected = QPoint(c, r);
                    }
            }
            QVERIFY2(cellOf(grid) == expected, qPrintable(QStringLiteral("round %1: got (%2, %3), want (%4, %5)")
                                                              .arg(round)
                                                              .arg(grid.CurrentCol())
                                                              .arg(grid.CurrentRow())
                                                              .arg(expected.x())
                                                              .arg(expected.y())));
        }
    }

    void fixedCountsAndErrors() {
        THtStringGrid grid;
        QCOMPARE(grid.ColCount(), 5);
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.setFixedRows(5));
        try {
            grid.setFixedRows(5);
        } catch (const EInvalidGridOperation& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Fixed row count must be less than row count"));
        }
        grid.setRowCount(1); // lowers FixedRows first
        QCOMPARE(grid.FixedRows(), 0);
        grid.setRowCount(0);
        QCOMPARE(grid.RowCount(), 1);
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.focusCell(9, 0, true));
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.CellText(-1, 0));
    }

    void storeGrowsWithWrittenCellsNotTheTable() {
        THtStringGrid grid;
        grid.setColCount(100);
        grid.setRowCount(100000);
        QCOMPARE(grid.storedCellCount(), 0);
        for (int i = 0; i < 1000; ++i)
            grid.setCellText(1 + i % 99, 1 + i * 97, "x");
        QCOMPARE(grid.storedCellCount(), 1000);
        grid.setCellText(1, 1, ""); // an emptied cell without object is dropped
        QCOMPARE(grid.storedCellCount(), 999);
        QCOMPARE(grid.CellText(50, 50000), QString());
    }

    void headerAndLinesLookRight() {
        RestoreGrid g;
        g.load({"data"}, {"path"});
        QVERIFY(QTest::qWaitForWindowExposed(&g.window));
        const QRect header = g.grid->cellRect(0, 0);
        const QImage img = g.grid->viewport()->grab().toImage();
        const QPalette pal = g.grid->palette();
        // Raised edge: light on top, the right/bottom strokes in the line colour.
        QCOMPARE(img.pixelColor(header.left() + 20, header.top()).rgb(), ColorToQColor(clBtnHighlight, pal).rgb());
        const QRect data = g.grid->cellRect(1, 1);
        QCOMPARE(img.pixelColor(data.left() + 5, data.bottom() + 1).rgb(), ColorToQColor(clScrollBar, pal).rgb());
        // Selected cells keep the white field (highlight background is the window colour).
        QCOMPARE(img.pixelColor(g.grid->cellRect(0, 1).left() + 100, g.grid->cellRect(0, 1).top() + 1).rgb(),
                 ColorToQColor(clWindow, pal).rgb());
    }

    void columnSizedByDraggingItsHeaderLine() {
        THtStringGrid grid;
        grid.setOptions(grid.Options() | goColSizing);
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QRect header = grid.cellRect(1, 0);
        const QPoint line(header.right() + 1, header.center().y());
        int index = -1;
        QCOMPARE(grid.sizingZoneAt(line, &index), THtCustomGrid::gsColSizing);
        QCOMPARE(index, 1);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, line);
        QCOMPARE(grid.GridState(), THtCustomGrid::gsColSizing);
        QTest::mouseMove(grid.viewport(), line + QPoint(30, 0));
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, line + QPoint(30, 0));
        QCOMPARE(grid.ColWidths(1), 64 + 30);
        // Dragged to one pixel or less: the width stays.
        const QPoint again(grid.cellRect(1, 0).right() + 1, header.center().y());
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, again);
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, QPoint(grid.cellRect(1, 0).left() + 1, again.y()));
        QCOMPARE(grid.ColWidths(1), 94);
        // No sizing over a data cell.
        QCOMPARE(grid.sizingZoneAt(QPoint(line.x(), grid.cellRect(1, 2).center().y()), &index), THtCustomGrid::gsNormal);
    }

    void rowMovedByItsFixedCellCarriesItsTexts() {
        THtStringGrid grid;
        grid.setOptions(grid.Options() | goRowMoving);
        grid.resize(400, 200);
        for (int r = 1; r < 5; ++r)
            grid.setCellText(1, r, QStringLiteral("row%1").arg(r));
        int from = -1, to = -1;
        grid.OnRowMoved = [&](QObject*, int f, int t) { from = f, to = t; };
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(0, 1).center());
        QTest::mouseMove(grid.viewport(), grid.cellRect(0, 3).center());
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(0, 3).center());
        QCOMPARE(from, 1);
        QCOMPARE(to, 3);
        QCOMPARE(grid.CellText(1, 3), QStringLiteral("row1"));
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("row2"));
        QCOMPARE(grid.CellText(1, 4), QStringLiteral("row4"));
    }

    void draggingSelectsARange() {
        THtStringGrid grid; // no editing: a drag selects
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(1, 1).center());
        QCOMPARE(grid.GridState(), THtCustomGrid::gsSelecting);
        QTest::mouseMove(grid.viewport(), grid.cellRect(3, 2).center());
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(3, 2).center());
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 1, 3, 2}));
        QCOMPARE(grid.GridState(), THtCustomGrid::gsNormal);
        // Shift and a key extend from the anchor.
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 1, 3, 3}));
    }

    void rowAndColumnViews() {
        THtStringGrid grid;
        grid.setColCount(3);
        grid.setRowCount(3);
        THtStringGridStrings* row = grid.RowStrings(1);
        QCOMPARE(row->Count(), 3);
        QCOMPARE(row->Add("a"), 0);
        QCOMPARE(row->Add(""), 1); // an empty text is stored as one blank
        QCOMPARE(grid.CellText(1, 1), QStringLiteral(" "));
        QCOMPARE(row->Add("c"), 2);
        QCOMPARE(row->Add("d"), -1); // full
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, row->Insert(0, "x"));
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, row->Delete(0));
        THtStringGridStrings* col = grid.ColStrings(2);
        col->Assign({"h", "v1", "v2", "ignored"});
        QCOMPARE(grid.CellText(2, 2), QStringLiteral("v2"));
        QCOMPARE(col->Get(1), QStringLiteral("v1"));
        int object = 0;
        grid.setCellObject(1, 1, &object);
        grid.setCellText(5, 1, "beyond the count");
        row->Clear();
        QCOMPARE(grid.CellText(0, 1), QString());
        QCOMPARE(grid.CellObject(1, 1), nullptr);
        QCOMPARE(grid.CellText(2, 2), QStringLiteral("v2"));
        grid.setColCount(6);
        QCOMPARE(grid.CellText(5, 1), QString()); // cleared too, not brought back
        QCOMPARE(grid.storedColumns(1), QList<int>{});
    }

    // Typed on the grid, a character opens the editor and replaces the selected text; Backspace
    // deletes it rather than entering a control character.
    void typingOnTheGridOpensTheEditor_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("character") << int(Qt::Key_K) << "k";
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "";
    }
    void typingOnTheGridOpensTheEditor() {
        QFETCH(int, key);
        QFETCH(QString, expected);
        THtStringGrid grid;
        grid.setOptions(grid.Options() | goEditing);
        grid.setCellText(1, 1, "abc");
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        QVERIFY(!grid.EditorActive());
        QTest::keyClick(&grid, Qt::Key(key));
        QVERIFY(grid.EditorActive());
        QCOMPARE(grid.InplaceEditor()->text(), expected);
        QCOMPARE(grid.CellText(1, 1), expected);
    }

    void backgroundEqualToLineColourUsesTheReverseColour() {
        THtStringGrid grid;
        grid.setColor(0xFFFFFF);
        grid.setLineColor(0xFFFFFF);
        grid.setReverseLineColor(clRed);
        grid.setCellText(1, 1, "x");
        grid.resize(200, 100);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QRect cell = grid.cellRect(2, 2);
        const QImage img = grid.viewport()->grab().toImage();
        // Every cell strokes its right and bottom edge in the line colour; the grid lines of the
        // scrolling area show where two strokes meet.
        QCOMPARE(img.pixelColor(cell.left() - 1, cell.top() - 1), QColor(Qt::red));
        QCOMPARE(img.pixelColor(cell.left() - 1, cell.top() + 5), QColor(Qt::white));
    }

    // Tab walks forward through the columns that have a tab stop, wrapping to the next row and
    // from the last row to the first; Shift+Tab takes one step back, and any further steps past
    // columns without a tab stop go forward, so it may end where it started.
    void tabSkipsColumnsWithoutATabStop_data() {
        QTest::addColumn<QList<int>>("noStop");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<bool>("back");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("next column") << QList<int>{} << QPoint(1, 1) << false << QPoint(2, 1);
        QTest::newRow("skips one") << QList<int>{2} << QPoint(1, 1) << false << QPoint(3, 1);
        QTest::newRow("skips two") << QList<int>{2, 3} << QPoint(1, 1) << false << QPoint(4, 1);
        QTest::newRow("wraps to next row") << QList<int>{1} << QPoint(4, 1) << false << QPoint(2, 2);
        QTest::newRow("last row wraps to first") << QList<int>{} << QPoint(4, 4) << false << QPoint(1, 1);
        QTest::newRow("no stop anywhere: start column, next row") << QList<int>{1, 2, 3, 4} << QPoint(2, 1) << false
                                                                  << QPoint(2, 2);
        QTest::newRow("back one") << QList<int>{} << QPoint(3, 1) << true << QPoint(2, 1);
        QTest::newRow("back wraps to previous row") << QList<int>{} << QPoint(1, 2) << true << QPoint(4, 1);
        QTest::newRow("back from first row wraps to last") << QList<int>{} << QPoint(1, 1) << true << QPoint(4, 4);
        QTest::newRow("back onto no stop then forward") << QList<int>{2} << QPoint(3, 1) << true << QPoint(3, 1);
        QTest::newRow("back onto no stop, forward skips") << QList<int>{3} << QPoint(4, 1) << true << QPoint(4, 1);
        QTest::newRow("back over the row edge then forward") << QList<int>{4} << QPoint(1, 2) << true
                                                             << QPoint(1, 2);
    }
    void tabSkipsColumnsWithoutATabStop() {
        QFETCH(QList<int>, noStop);
        QFETCH(QPoint, start);
        QFETCH(bool, back);
        QFETCH(QPoint, expected);
        THtStringGrid grid;
        grid.setOptions(grid.Options() | goTabs);
        grid.resize(400, 200);
        for (int col : noStop)
            grid.setTabStops(col, false);
        grid.focusCell(start.x(), start.y(), true);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier); // a range the Tab must collapse
        grid.focusCell(start.x(), start.y(), false);
        QTest::keyClick(&grid, back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(cellOf(grid), expected);
        const TGridRect range = grid.SelectedRange();
        QCOMPARE(QPoint(range.Left, range.Top), expected);
        QCOMPARE(QPoint(range.Right, range.Bottom), expected);
    }

    void tabStopsFollowMovesAndTheColumnCount() {
        THtStringGrid grid;
        QVERIFY(grid.TabStops(3));
        QVERIFY(grid.TabStops(1000)); // no array yet: every column stops
        grid.setTabStops(2, false);
        QVERIFY(!grid.TabStops(2));
        grid.moveColumn(2, 4);
        QVERIFY(grid.TabStops(2));
        QVERIFY(!grid.TabStops(4));
        grid.moveColumn(4, 1);
        QVERIFY(!grid.TabStops(1));
        grid.setColCount(7);
        QVERIFY(grid.TabStops(6)); // new columns stop
        QVERIFY(!grid.TabStops(1));
        grid.setColCount(1);
        grid.setColCount(3);
        QVERIFY(grid.TabStops(1)); // dropped with its column
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.setTabStops(3, false));
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.setTabStops(-1, false));
    }

    // The editor loaded on a cell whose contents a move replaced used to keep the old text and
    // write it, with the next keystroke, over the cell that moved in.
    void editorReloadsAfterItsCellMoved() {
        THtStringGrid grid;
        for (int col = 1; col < 5; ++col)
            grid.setCellText(col, 1, QStringLiteral("c%1").arg(col));
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        grid.setCurrentCol(2);
        QCOMPARE(editor->text(), QStringLiteral("c2"));
        QTest::keyClicks(editor, "x");
        QCOMPARE(grid.CellText(2, 1), QStringLiteral("x"));
        grid.moveColumn(1, 3); // c3 moves into column 2, the edited cell to column 1
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("x"));
        QCOMPARE(editor->text(), QStringLiteral("c3"));
        editor->end(false);
        QTest::keyClicks(editor, "!");
        QCOMPARE(grid.CellText(2, 1), QStringLiteral("c3!"));
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("x"));
        QCOMPARE(grid.CellText(3, 1), QStringLiteral("c1"));
        grid.moveRow(1, 2);
        QCOMPARE(editor->text(), QString());
        QCOMPARE(grid.CellText(2, 2), QStringLiteral("c3!"));
    }

    // Delete moves the column or row to the end and drops the last one: texts, sizes and tab
    // stops of the others close up, and the dropped texts stay in the store beyond the count.
    void deleteColumnClosesUp() {
        THtStringGrid grid;
        for (int col = 0; col < 5; ++col) {
            grid.setCellText(col, 1, QStringLiteral("c%1").arg(col));
            grid.setColWidths(col, 10 + col);
        }
        grid.setTabStops(3, false);
        QList<QPoint> moves;
        grid.OnColumnMoved = [&](QObject*, int from, int to) { moves.append({from, to}); };
        grid.DeleteColumn(1);
        QCOMPARE(grid.ColCount(), 4);
        QCOMPARE(moves, QList<QPoint>{QPoint(1, 4)});
        const QStringList texts{grid.CellText(0, 1), grid.CellText(1, 1), grid.CellText(2, 1), grid.CellText(3, 1)};
        QCOMPARE(texts, (QStringList{"c0", "c2", "c3", "c4"}));
        QCOMPARE(grid.ColWidths(1), 12);
        QCOMPARE(grid.ColWidths(3), 14);
        QVERIFY(!grid.TabStops(2));
        QCOMPARE(grid.CellText(4, 1), QStringLiteral("c1"));
        grid.DeleteColumn(3); // the last one: nothing moves
        QCOMPARE(grid.ColCount(), 3);
        QCOMPARE(moves.size(), 1);
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation, grid.DeleteColumn(3));
        QCOMPARE(grid.ColCount(), 3);
    }

    void deleteRowClampsTheCurrentCell() {
        RestoreGrid g;
        g.load({"a", "b", "c"}, {"1", "2", "3"});
        g.grid->setCurrentCol(1);
        g.grid->setCurrentRow(3);
        g.grid->setRowHeights(2, 30);
        g.grid->DeleteRow(2);
        QCOMPARE(g.grid->RowCount(), 3);
        QCOMPARE(g.grid->CellText(0, 2), QStringLiteral("c"));
        QCOMPARE(g.grid->CellText(1, 2), QStringLiteral("3"));
        QCOMPARE(g.grid->RowHeights(2), 18);
        QCOMPARE(cellOf(*g.grid), QPoint(1, 2));
        g.grid->DeleteRow(1);
        g.grid->DeleteRow(1);
        QCOMPARE(g.grid->RowCount(), 1);
        QCOMPARE(g.grid->FixedRows(), 0); // lowered with the count
        g.grid->DeleteRow(0); // never below one row
        QCOMPARE(g.grid->RowCount(), 1);
    }

    void sizeArrayChanges_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("index");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<QString>("error");
        const qint64 max = TGridExtents<int>::MaxEntries;
        QTest::newRow("append") << qint64(5) << qint64(5) << qint64(3) << QString();
        QTest::newRow("insert inside") << qint64(5) << qint64(2) << qint64(3) << QString();
        QTest::newRow("remove the tail") << qint64(5) << qint64(2) << qint64(-3) << QString();
        QTest::newRow("index beyond the end") << qint64(5) << qint64(6) << qint64(1) << GridMessages::IndexOutOfRange;
        QTest::newRow("negative index") << qint64(5) << qint64(-1) << qint64(1) << GridMessages::IndexOutOfRange;
        QTest::newRow("more removed than follow") << qint64(5) << qint64(3) << qint64(-3)
                                                  << GridMessages::TooManyDeleted;
        QTest::newRow("below zero") << qint64(5) << qint64(0) << qint64(-6) << GridMessages::TooManyDeleted;
        QTest::newRow("largest allowed") << max - 1 << max - 1 << qint64(1) << QString();
        QTest::newRow("one too many") << max << max << qint64(1) << GridMessages::TooLarge;
        QTest::newRow("from nothing, too many") << qint64(0) << qint64(0) << max + 1 << GridMessages::TooLarge;
    }
    void sizeArrayChanges() {
        QFETCH(qint64, length);
        QFETCH(qint64, index);
        QFETCH(qint64, amount);
        QFETCH(QString, error);
        QString raised;
        try {
            TGridExtents<int>::checkChange(length, index, amount);
        } catch (const EInvalidGridOperation& e) {
            raised = QString::fromUtf8(e.what());
        }
        QCOMPARE(raised, error);
        if (error.isEmpty() && length + amount < 100) { // and the real array agrees
            TGridExtents<int> extents;
            extents.set(0, 7, int(length), 1);
            extents.modify(index, amount, 1);
            QCOMPARE(extents.size(), length + amount);
            QCOMPARE(extents.value(0, -1), index == 0 && amount < 0 ? 1 : 7);
        }
    }

    // A table too large for its size array fails before anything is allocated or changed.
    void tableTooLargeForItsSizesLeavesTheCounts_data() {
        QTest::addColumn<bool>("columns");
        QTest::newRow("columns") << true;
        QTest::newRow("rows") << false;
    }
    void tableTooLargeForItsSizesLeavesTheCounts() {
        QFETCH(bool, columns);
        const int huge = int(TGridExtents<int>::MaxEntries) + 1;
        const qint64 peakBefore = peakResidentKiB();
        THtStringGrid grid;
        columns ? grid.setColWidths(2, 40) : grid.setRowHeights(2, 40);
        try {
            columns ? grid.setColCount(huge) : grid.setRowCount(huge);
            QFAIL("no error");
        } catch (const EInvalidGridOperation& e) {
            QCOMPARE(QString::fromUtf8(e.what()), GridMessages::TooLarge);
        }
        QCOMPARE(grid.ColCount(), 5);
        QCOMPARE(grid.RowCount(), 5);
        QCOMPARE(columns ? grid.ColWidths(2) : grid.RowHeights(2), 40);
        columns ? grid.setColCount(7) : grid.setRowCount(7); // still sound
        QCOMPARE(columns ? grid.ColWidths(6) : grid.RowHeights(6), columns ? 64 : 24);

        // Without individual sizes the counts alone cost nothing, but the first individual size
        // would need the whole array.
        THtStringGrid plain;
        columns ? plain.setColCount(huge) : plain.setRowCount(huge);
        QCOMPARE(columns ? plain.ColCount() : plain.RowCount(), huge);
        QVERIFY_THROWS_EXCEPTION(EInvalidGridOperation,
                                 columns ? plain.setColWidths(1, 30) : plain.setRowHeights(1, 30));
        QCOMPARE(columns ? plain.ColWidths(1) : plain.RowHeights(1), columns ? 64 : 24);
        // Refused before allocating: an array of that length would have taken over 500 MB.
        if (peakBefore > 0)
            QVERIFY2(peakResidentKiB() - peakBefore < 100 * 1024, "the array was allocated before the check");
    }

    void editMaskMapsOntoQtInputMask_data() {
        QTest::addColumn<QString>("editMask");
        QTest::addColumn<QString>("inputMask");
        QTest::newRow("none") << "" << "";
        QTest::newRow("date, literals, blank") << "!99/99/0000;1;_" << "00/00/9999;_";
        QTest::newRow("letters") << "LLll" << "AAaa;_";
        QTest::newRow("alphanumeric and any") << "AaCc" << "NnXx;_";
        QTest::newRow("case switches") << ">L<l<>L" << ">A<a!A;_";
        QTest::newRow("sign digit") << "#99" << "#00;_";
        QTest::newRow("escaped mask characters") << "\\L\\0" << "L\\0;_"; // a literal 0 stays literal
        QTest::newRow("Qt specials as literals") << "Hh:Nn 0" << "\\H\\h:\\N\\n 9;_";
        QTest::newRow("blank character field") << "000;0;*" << "999;*";
        QTest::newRow("underscore is a space") << "00_00" << "99 99;_";
        QTest::newRow("escaped semicolon") << "0\\;0" << "9\\;9;_";
    }
    void editMaskMapsOntoQtInputMask() {
        QFETCH(QString, editMask);
        QFETCH(QString, inputMask);
        QCOMPARE(TInplaceEdit::inputMaskFor(editMask), inputMask);
    }

    void editorTakesTheCellsEditMask() {
        THtStringGrid grid;
        QList<QPoint> asked;
        grid.OnGetEditMask = [&](QObject* sender, int col, int row, QString& mask) {
            QCOMPARE(sender, &grid);
            asked.append({col, row});
            if (col == 2)
                mask = QStringLiteral("00-00;1;_");
        };
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QCOMPARE(editor->inputMask(), QString());
        QCOMPARE(asked.last(), QPoint(1, 1));
        QTest::keyClick(editor, Qt::Key_Tab); // to (2, 1)
        QCOMPARE(cellOf(grid), QPoint(2, 1));
        QCOMPARE(editor->inputMask(), QStringLiteral("99-99;_"));
        QTest::keyClicks(editor, "1a2b34");
        QCOMPARE(editor->text(), QStringLiteral("12-34"));
        QCOMPARE(grid.CellText(2, 1), QStringLiteral("12-34"));
        QTest::keyClick(editor, Qt::Key_Tab); // an unmasked cell again
        QCOMPARE(editor->inputMask(), QString());
        QTest::keyClicks(editor, "1a");
        QCOMPARE(grid.CellText(3, 1), QStringLiteral("1a"));

        // Passing through a masked cell whose text the mask does not fit leaves the text alone.
        grid.setCellText(2, 2, "not a number");
        QTest::keyClick(editor, Qt::Key_Down);
        QTest::keyClick(editor, Qt::Key_Tab, Qt::ShiftModifier); // onto (2, 2)
        QCOMPARE(cellOf(grid), QPoint(2, 2));
        QVERIFY(editor->text() != QStringLiteral("not a number"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(grid.CellText(2, 2), QStringLiteral("not a number"));
    }

    // Texts longer than QLineEdit's default limit load whole and are not cut on the way out.
    void longTextSurvivesTheEditor() {
        THtStringGrid grid;
        const QString text(40000, QLatin1Char('x'));
        grid.setCellText(1, 1, text);
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QCOMPARE(editor->text().size(), 40000);
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(grid.CellText(1, 1), text);
    }

    // Limit n cuts typing at n characters; -1 refuses every change while keys still navigate.
    void editorLengthLimit_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("expected");
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        QTest::newRow("no limit: typing") << 0 << int(Qt::Key_Z) << none << "z";
        QTest::newRow("no limit: delete") << 0 << int(Qt::Key_Delete) << none << "";
        QTest::newRow("no limit: shift+insert") << 0 << int(Qt::Key_Insert) << shift << "pasted";
        QTest::newRow("no limit: ctrl+v") << 0 << int(Qt::Key_V) << ctrl << "pasted";
        QTest::newRow("no limit: ctrl+x") << 0 << int(Qt::Key_X) << ctrl << "";
        QTest::newRow("fixed: typing") << -1 << int(Qt::Key_Z) << none << "abc";
        QTest::newRow("fixed: delete") << -1 << int(Qt::Key_Delete) << none << "abc";
        QTest::newRow("fixed: backspace") << -1 << int(Qt::Key_Backspace) << none << "abc";
        QTest::newRow("fixed: shift+insert") << -1 << int(Qt::Key_Insert) << shift << "abc";
        QTest::newRow("fixed: ctrl+v") << -1 << int(Qt::Key_V) << ctrl << "abc";
        QTest::newRow("fixed: ctrl+x") << -1 << int(Qt::Key_X) << ctrl << "abc";
        QTest::newRow("limit 4: pasting is cut") << 4 << int(Qt::Key_V) << ctrl << "past";
        // "below" in the next row is longer than 4: it loads whole and is not cut on the way out.
    }
    void editorLengthLimit() {
        QFETCH(int, limit);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, expected);
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("pasted"));
        LimitedGrid grid;
        grid.limit = limit;
        grid.setCellText(1, 1, "abc");
        grid.setCellText(1, 2, "below");
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QCOMPARE(editor->selectedText(), QStringLiteral("abc"));
        QTest::keyClick(editor, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(editor->text(), expected);
        QCOMPARE(grid.CellText(1, 1), expected);
        QCOMPARE(cellOf(grid), QPoint(1, 1));
        QTest::keyClick(editor, Qt::Key_Down); // navigation is never refused
        QCOMPARE(cellOf(grid), QPoint(1, 2));
        QCOMPARE(editor->text(), QStringLiteral("below"));
        QTest::keyClick(editor, Qt::Key_Up);
        QCOMPARE(grid.CellText(1, 2), QStringLiteral("below"));
    }

    void typingIntoALimitedCellCutsAtTheLimit() {
        LimitedGrid grid;
        grid.limit = 3;
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QTest::keyClicks(editor, "abcdef");
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("abc"));
        // Typed on the grid itself, the character is refused too when the text is fixed.
        grid.limit = -1;
        grid.setCurrentCol(2);
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Q);
        QCOMPARE(grid.CellText(2, 1), QString());
    }

    void editTextEventsSeeWhatTheEditorLoadsAndWrites() {
        THtStringGrid grid;
        grid.setCellText(1, 1, "stored");
        grid.OnGetEditText = [](QObject*, int col, int row, QString& value) {
            value = QStringLiteral("%1@%2,%3").arg(value).arg(col).arg(row);
        };
        QStringList written;
        grid.OnSetEditText = [&](QObject*, int col, int row, const QString& value) {
            written.append(QStringLiteral("%1,%2=%3").arg(col).arg(row).arg(value));
        };
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("stored@1,1"));
        QTest::keyClicks(editor, "ab");
        QCOMPARE(written.mid(0, 2), (QStringList{"1,1=a", "1,1=ab"}));
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("ab"));
    }

    void topLeftChangedWhenTheViewScrolls() {
        THtStringGrid grid;
        grid.setRowCount(50);
        grid.setColCount(30);
        grid.resize(300, 150);
        int raised = 0;
        grid.OnTopLeftChanged = [&](QObject* sender) {
            QCOMPARE(sender, &grid);
            ++raised;
        };
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(grid.FirstVisibleRow(), 2);
        QCOMPARE(raised, 1);
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(raised, 2);
        QVERIFY(grid.FirstVisibleCol() > 1);
        QTest::keyClick(&grid, Qt::Key_Left); // still in view: no scroll
        QCOMPARE(raised, 2);
        grid.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(grid.FirstVisibleRow(), 1);
        QCOMPARE(raised, 3);
    }

    void scrollBarsShowOnlyWhereAllowed_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::newRow("none") << int(ssNone) << false << false;
        QTest::newRow("horizontal") << int(ssHorizontal) << true << false;
        QTest::newRow("vertical") << int(ssVertical) << false << true;
        QTest::newRow("both") << int(ssBoth) << true << true;
    }
    void scrollBarsShowOnlyWhereAllowed() {
        QFETCH(int, style);
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        THtStringGrid grid;
        grid.setColCount(20);
        grid.setRowCount(40);
        grid.setScrollBars(TScrollStyle(style));
        grid.resize(300, 150);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTRY_COMPARE(grid.horizontalScrollBar()->isVisible(), horizontal);
        QTRY_COMPARE(grid.verticalScrollBar()->isVisible(), vertical);
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier); // keys scroll without bars
        QVERIFY(grid.FirstVisibleRow() > 1);
    }

    void rowSelectSelectsWholeRows() {
        THtStringGrid grid;
        grid.resize(400, 200);
        grid.focusCell(3, 2, true);
        grid.setOptions(grid.Options() | goRowSelect | goAlwaysShowEditor | goEditing);
        QVERIFY(!(grid.Options() & goAlwaysShowEditor));
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 2, 4, 2}));
        QCOMPARE(grid.CurrentCol(), 1);
        QTest::keyClick(&grid, Qt::Key_Right); // a row, not a column
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 3, 4, 3}));
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 3, 4, 4}));
        QTest::keyClick(&grid, Qt::Key_Left, Qt::ControlModifier); // no page of columns to turn
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 3, 4, 4}));
        grid.setRowCount(3);
        QCOMPARE(grid.SelectedRange(), (TGridRect{1, 2, 4, 2}));
    }

    void clickEvents() {
        THtStringGrid grid;
        grid.resize(400, 200);
        int clicks = 0, doubleClicks = 0;
        grid.OnClick = [&](QObject*) { ++clicks; };
        grid.OnDblClick = [&](QObject*) { ++doubleClicks; };
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setCurrentRow(3); // moving the current cell from code counts as a click
        QCOMPARE(clicks, 1);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(2, 2).center());
        QCOMPARE(clicks, 2);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.cellRect(2, 2).center());
        QCOMPARE(doubleClicks, 1);
    }

    // Without goTabs, Tab in the open editor leaves the grid for the next control of the window,
    // Shift+Tab for the one before: the editor is no stop of its own in the tab order.
    void tabFromTheEditorLeavesTheGridInTabOrder() {
        QWidget window;
        auto* before = new QLineEdit(&window);
        auto* grid = new THtStringGrid(&window);
        auto* after = new QCheckBox(&window);
        before->setGeometry(0, 0, 100, 20);
        grid->setGeometry(0, 30, 300, 120);
        after->setGeometry(0, 160, 100, 20);
        QWidget::setTabOrder(before, grid);
        QWidget::setTabOrder(grid, after);
        grid->setOptions(grid->Options() | goEditing | goAlwaysShowEditor);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        grid->setFocus();
        QTRY_VERIFY(grid->InplaceEditor() && grid->InplaceEditor()->hasFocus());
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Tab);
        QTRY_VERIFY(after->hasFocus());
        QTest::keyClick(after, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(grid->InplaceEditor()->hasFocus()); // back into the grid, through its editor
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(before->hasFocus());
        QTest::keyClick(before, Qt::Key_Tab);
        QTRY_VERIFY(grid->InplaceEditor()->hasFocus());
        // A grid without a tab stop is passed over both ways, but still takes a click.
        grid->setTabStop(false);
        after->setFocus();
        QTest::keyClick(after, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(before->hasFocus());
        QTest::keyClick(before, Qt::Key_Tab);
        QTRY_VERIFY(after->hasFocus());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->cellRect(2, 2).center());
        QTRY_VERIFY(grid->InplaceEditor()->hasFocus());
    }

    void borderStyleNoneGivesTheCellsTheWholeArea() {
        THtStringGrid grid;
        grid.resize(200, 100);
        QVERIFY(grid.frameWidth() > 0);
        grid.setBorderStyle(bsNone);
        QCOMPARE(grid.BorderStyle(), bsNone);
        QCOMPARE(grid.frameWidth(), 0);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.viewport()->geometry().topLeft(), QPoint(0, 0));
        grid.setBorderStyle(bsSingle);
        QVERIFY(grid.frameWidth() > 0);
    }

    // Enter reaches the dialog's default button unless the grid edits; Esc always reaches the
    // dialog, from the grid or from its open editor.
    void enterAndEscapeReachTheDialog_data() {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("enter, not editing") << false << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("enter, editing") << true << int(Qt::Key_Return) << -1;
        QTest::newRow("esc, not editing") << false << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("esc in the editor") << true << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }
    void enterAndEscapeReachTheDialog() {
        QFETCH(bool, editing);
        QFETCH(int, key);
        QFETCH(int, result);
        QDialog dialog;
        auto* grid = new THtStringGrid(&dialog);
        grid->setGeometry(0, 0, 300, 120);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setGeometry(0, 130, 80, 24);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        if (editing)
            grid->setOptions(grid->Options() | goEditing | goAlwaysShowEditor);
        int finished = -1;
        QObject::connect(&dialog, &QDialog::finished, &dialog, [&](int r) { finished = r; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        grid->setFocus();
        QWidget* target = grid;
        if (editing) {
            QTRY_VERIFY(grid->InplaceEditor() && grid->InplaceEditor()->hasFocus());
            target = grid->InplaceEditor();
        }
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(finished, result);
    }

    // OnKeyDown sees each key once, on the grid or in its editor, and a handler that sets Key to
    // 0 keeps the grid and the editor from acting on it.
    void keyDownSeesEveryKeyOnceAndMayConsumeIt() {
        THtStringGrid grid;
        grid.setCellText(1, 1, "abc");
        QList<int> seen;
        QSet<int> consume;
        grid.OnKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers) {
            QCOMPARE(sender, &grid);
            seen.append(key);
            if (consume.contains(key))
                key = 0;
        };
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.CurrentRow(), 2);
        consume.insert(Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.CurrentRow(), 2);
        QCOMPARE(seen, (QList<int>{Qt::Key_Down, Qt::Key_Down}));

        grid.setCurrentRow(1);
        TInplaceEdit* editor = openEditor(grid);
        QVERIFY(editor);
        seen.clear();
        QTest::keyClick(editor, Qt::Key_X); // typed into the editor after the event
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("x"));
        QTest::keyClick(editor, Qt::Key_F5); // nothing uses it: still seen only once
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(seen, (QList<int>{Qt::Key_X, Qt::Key_F5, Qt::Key_Escape}));
        consume.insert(Qt::Key_Y);
        QTest::keyClick(editor, Qt::Key_Y);
        QCOMPARE(grid.CellText(1, 1), QStringLiteral("x"));
        QTest::keyClick(editor, Qt::Key_Down); // passed to the grid, consumed there
        QCOMPARE(grid.CurrentRow(), 1);
    }

    // A cell shows its text up to the first line break only, whichever break it is.
    void textStopsAtTheFirstLineBreak_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("line feed") << QStringLiteral("AB\nCD");
        QTest::newRow("carriage return") << QStringLiteral("AB\rCD");
        QTest::newRow("both") << QStringLiteral("AB\r\nCD\nEF");
    }
    void textStopsAtTheFirstLineBreak() {
        QFETCH(QString, text);
        THtStringGrid grid;
        grid.resize(200, 100);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setCellText(1, 1, QStringLiteral("AB"));
        const QImage firstLineOnly = grid.viewport()->grab().toImage();
        grid.setCellText(1, 1, QStringLiteral("ABCD"));
        QVERIFY(grid.viewport()->grab().toImage() != firstLineOnly); // the picture does show the text
        grid.setCellText(1, 1, text);
        QCOMPARE(grid.viewport()->grab().toImage(), firstLineOnly);
    }

    // A one-column table scrolls sideways by pixels: a "0" a step, the visible width a page,
    // up to the column's hidden part; the picture moves with it.
    void oneColumnScrollsByPixels() {
        QWidget window;
        auto* grid = new THtStringGrid(&window);
        grid->setColCount(1);
        grid->setFixedRows(0);
        grid->setRowCount(3);
        grid->setColWidths(0, 600);
        grid->setGeometry(0, 0, 220, 90);
        for (int row = 0; row < 3; ++row)
            grid->setCellText(0, row, QStringLiteral("%1 abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJ").arg(row));
        window.resize(240, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QScrollBar* bar = grid->horizontalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        const int visible = grid->viewport()->width();
        QCOMPARE(bar->maximum(), 600 - visible);
        QCOMPARE(bar->pageStep(), visible);

        const QImage before = grid->viewport()->grab().toImage();
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        const int step = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        QCOMPARE(grid->HorzPixelOffset(), step);
        QCOMPARE(grid->cellRect(0, 1).left(), -step);
        QCOMPARE(grid->mouseToCell(QPoint(0, 30)).x(), 0);
        QTRY_COMPARE(bar->value(), step);
        const QImage after = grid->viewport()->grab().toImage();
        // Rows away from the focus rectangle (its dots follow the screen, not the cell).
        const int top = grid->cellRect(0, 1).top(), h = grid->cellRect(0, 2).bottom() - top;
        QCOMPARE(after.copy(0, top, visible - step, h), before.copy(step, top, visible - step, h));
        QVERIFY(after != before);

        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(grid->HorzPixelOffset(), step + visible);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(grid->HorzPixelOffset(), 600 - visible);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(grid->HorzPixelOffset(), 600 - visible);

        // Narrowing the column re-evaluates the range and pulls the view back.
        grid->setColWidths(0, visible + 10);
        QCOMPARE(grid->HorzPixelOffset(), 10);
        QTRY_COMPARE(bar->maximum(), 10);
        grid->setColWidths(0, 100);
        QCOMPARE(grid->HorzPixelOffset(), 0);
        QTRY_VERIFY(!bar->isVisible());

        // With a second column the bar steps by columns again.
        grid->setColWidths(0, 600);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QVERIFY(grid->HorzPixelOffset() > 0);
        grid->setColCount(2);
        QCOMPARE(grid->HorzPixelOffset(), 0);
        QCOMPARE(grid->cellRect(0, 1).left(), 0);
        QTRY_COMPARE(bar->maximum(), 127);
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
