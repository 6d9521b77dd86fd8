// The string grid as the restore page uses it, driven with keys and the mouse and checked on
// what it shows; plus the write rule, resizing and the sparse store.

#include "GridRestoreSetup.h"
#include "HtGrids.h"
#include "TInplaceEdit.h"

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
        row->Clear();
        QCOMPARE(grid.CellText(0, 1), QString());
        QCOMPARE(grid.CellText(2, 2), QStringLiteral("v2"));
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
