#pragma once
// The grid core: a table of cells with per-column widths and per-row heights, leading fixed
// rows and columns, a current cell with a veto, a selection anchor, scroll bars, keyboard and
// mouse navigation and an in-place editor. It knows nothing of cell contents: the layers above
// draw cells, veto moves and supply and take the editor's text.

#include "HtGridTypes.h"
#include "TColor.h"
#include "TGridExtents.h"

#include <QAbstractScrollArea>
#include <QVector>

#include <functional>

class TInplaceEdit;

class THtCustomGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit THtCustomGrid(QWidget* parent = nullptr);
    ~THtCustomGrid() override;

    int ColCount() const { return colCount_; }
    void setColCount(int count);
    int RowCount() const { return rowCount_; }
    void setRowCount(int count);
    int FixedCols() const { return fixedCols_; }
    void setFixedCols(int count);
    int FixedRows() const { return fixedRows_; }
    void setFixedRows(int count);
    int DefaultColWidth() const { return defaultColWidth_; }
    void setDefaultColWidth(int width);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void setDefaultRowHeight(int height);
    int ColWidths(int col) const;
    void setColWidths(int col, int width);
    int RowHeights(int row) const;
    void setRowHeights(int row, int height);
    // Whether Tab and Shift+Tab stop on the column (all do until one is set individually).
    bool TabStops(int col) const { return tabStops_.value(col, true); }
    void setTabStops(int col, bool stop);
    int GridLineWidth() const { return gridLineWidth_; }
    void setGridLineWidth(int width);
    TGridOptions Options() const { return options_; }
    void setOptions(TGridOptions options);
    TColor FixedColor() const { return fixedColor_; }
    void setFixedColor(TColor c);
    TColor Color() const { return color_; }
    void setColor(TColor c);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void setScrollBars(TScrollStyle style);
    TBorderStyle BorderStyle() const { return frameShape() == QFrame::NoFrame ? bsNone : bsSingle; }
    void setBorderStyle(TBorderStyle style);
    // Whether Tab and Shift+Tab between the window's controls stop on the grid.
    bool TabStop() const { return focusPolicy() & Qt::TabFocus; }
    void setTabStop(bool on) { setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus); }
    bool DefaultDrawing() const { return defaultDrawing_; }
    void setDefaultDrawing(bool on);

    int CurrentCol() const { return curCol_; }
    void setCurrentCol(int col);
    int CurrentRow() const { return curRow_; }
    void setCurrentRow(int row);
    int FirstVisibleCol() const { return leftCol_; }
    int FirstVisibleRow() const { return topRow_; }
    int HorzPixelOffset() const { return pixelOffset_; } // 0 unless the table has one column
    TGridRect SelectedRange() const;
    bool EditorActive() const { return editorActive_; }
    TInplaceEdit* InplaceEditor() const { return editor_; }

    // Geometry in viewport coordinates.
    QRect cellRect(int col, int row) const;
    QPoint mouseToCell(const QPoint& pos) const; // (-1, -1) parts when outside the cells
    int VisibleColCount() const;
    int VisibleRowCount() const;

    void showEditor();
    void hideEditor();
    void invalidateCell(int col, int row);

    // Moves the current cell through the veto, then raises OnClick; raises "Grid index out of
    // range" outside the table.
    void focusCell(int col, int row, bool moveAnchor);

    // Key handling of the grid, also reached by keys the editor passes on.
    void gridKeyDown(QKeyEvent* event, bool raiseKeyDown = true);
    // Raises OnKeyDown; true when the handler consumed the key.
    bool keyDownConsumed(QKeyEvent* event);

    // Called by the editor after every change of its text.
    void editorTextChanged(const QString& text);

    // Move a column or row to a new position, its size, tab stop and contents with it.
    void moveColumn(int from, int to);
    void moveRow(int from, int to);
    // Move the column or row to the end, then drop the last one.
    void DeleteColumn(int col);
    void DeleteRow(int row);

    // Ordinary control events. OnKeyDown sees every key before the grid or its editor acts on
    // it; setting Key to 0 consumes the key.
    std::function<void(QObject* Sender)> OnClick;
    std::function<void(QObject* Sender)> OnDblClick;
    std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)> OnKeyDown;

    // What the mouse is doing.
    enum TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };
    TGridState GridState() const { return gridState_; }
    // The sizing zone under a point, as the state a press there would start (gsNormal when none).
    TGridState sizingZoneAt(const QPoint& pos, int* index) const;

protected:
    // Steps the layers above override.
    virtual void PaintCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    virtual bool CanSelectCell(int col, int row);
    virtual QString ReadEditText(int col, int row);
    virtual void WriteEditText(int col, int row, const QString& text);
    virtual void TopLeftChanged() {}
    virtual void ColumnMoved(int, int) {}
    virtual void RowMoved(int, int) {}
    // The editor's input mask for a cell, in the edit-mask format (see TInplaceEdit::inputMaskFor).
    virtual QString GetEditMask(int, int) { return {}; }
    // Longest text the editor takes: 0 no limit, -1 the text may not be changed at all.
    virtual int GetEditLimit() { return 0; }
    // Asked before every change the user makes in the editor.
    virtual bool CanEditModify() { return true; }
    virtual void Click();
    virtual void DblClick();

    // The editor re-reads its cell (after a write from code).
    void reloadEditor();
    // Places the current cell without asking the veto (after loading).
    void placeCurrentCell(int col, int row);
    QColor resolve(TColor c) const { return ColorToQColor(c, palette()); }

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int, int) override {}

    TColor lineColor_ = clGreen;
    TColor reverseLineColor_ = clRed;
    TColor highLightBackColor_ = clWindow;
    TColor highLightTextColor_ = clWindowText;

private:
    friend class TInplaceEdit; // asks CanEditModify and raises DblClick

    struct AxisCell {
        int index;
        int start;
        int size;
    };
    QVector<AxisCell> visibleCells(bool columns) const;
    int lineWidth(bool columns) const;
    int fixedBoundary(bool columns) const;
    int maxFirst(bool columns) const;
    void moveCurrent(int col, int row, bool moveAnchor, bool show);
    void setTopLeft(int col, int row);
    void scrollIntoView(int col, int row);
    void changeSize(int newCols, int newRows);
    // The cell nearest (col, row) that the veto accepts, (-1, -1) when it accepts none.
    QPoint nearestSelectable(int col, int row);
    void updateScrollBars();
    void fitToViewportLater();
    void onScrollAction(bool vertical, int action);
    // A table of one column scrolls sideways by pixels rather than by whole columns.
    bool scrollsByPixels() const { return colCount_ == 1; }
    int maxPixelOffset() const;
    void setPixelOffset(int offset);
    int pixelTarget(int action) const;
    void updateEditor();
    void loadEditor();
    void writeEditorBack(); // the loaded cell takes the editor's text
    // After a move the editor's cell holds other contents: keep the edit, then load afresh.
    void writeBackAndForgetEditor();
    bool editorWanted() const;
    void paintLines(QPainter& p, const QVector<AxisCell>& cols, const QVector<AxisCell>& rows, bool fixedCols,
                    bool fixedRows);

    int colCount_ = 5;
    int rowCount_ = 5;
    int fixedCols_ = 1;
    int fixedRows_ = 1;
    int defaultColWidth_ = 64;
    int defaultRowHeight_ = 24;
    TGridExtents<int> colWidths_; // absent until a width is set individually
    TGridExtents<int> rowHeights_;
    TGridExtents<bool> tabStops_;
    int gridLineWidth_ = 1;
    TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    TColor fixedColor_ = clBtnFace;
    TColor color_ = clWindow;
    TScrollStyle scrollBars_ = ssBoth;
    bool defaultDrawing_ = true;

    int curCol_ = 1;
    int curRow_ = 1;
    int anchorCol_ = 1;
    int anchorRow_ = 1;
    int leftCol_ = 1;
    int topRow_ = 1;
    int pixelOffset_ = 0; // sideways scroll of a one-column table
    bool editorActive_ = false;
    TInplaceEdit* editor_ = nullptr; // child of the viewport
    int editCol_ = -1;
    int editRow_ = -1;
    bool writingBack_ = false;

    TGridState gridState_ = gsNormal;
    int sizingIndex_ = -1;   // column or row being sized or moved
    int sizingStart_ = 0;    // its start in the viewport
    int selectTimer_ = 0;    // 60 ms auto-scroll while selecting
    QPoint lastMouse_;
};
