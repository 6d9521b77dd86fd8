#pragma once
// The grid family above the core: THtCustomDrawGrid turns the core's steps into events and
// carries the four drawing colours, THtDrawGrid publishes them, THtStringGrid keeps a text and
// an object reference per cell in a sparse store and draws them with its own scheme.

#include "HtGridCore.h"
#include "TSparseList.h"

#include <QBrush>
#include <QFont>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class THtCustomDrawGrid : public THtCustomGrid {
    Q_OBJECT
public:
    using THtCustomGrid::THtCustomGrid;

    TColor LineColor() const { return lineColor_; }
    void setLineColor(TColor c) { lineColor_ = c; }
    TColor ReverseLineColor() const { return reverseLineColor_; }
    void setReverseLineColor(TColor c) { reverseLineColor_ = c; }
    TColor HighLightBackColor() const { return highLightBackColor_; }
    void setHighLightBackColor(TColor c) { highLightBackColor_ = c; }
    TColor HighLightTextColor() const { return highLightTextColor_; }
    void setHighLightTextColor(TColor c) { highLightTextColor_ = c; }

    std::function<void(QObject* Sender, int ACol, int ARow, bool& CanSelect)> OnSelectCell;
    std::function<void(QObject* Sender, int ACol, int ARow, const QRect& Rect, TGridDrawState State)> OnDrawCell;
    std::function<void(QObject* Sender, int ACol, int ARow, QString& Value)> OnGetEditMask;
    std::function<void(QObject* Sender, int ACol, int ARow, QString& Value)> OnGetEditText;
    std::function<void(QObject* Sender, int ACol, int ARow, const QString& Value)> OnSetEditText;
    std::function<void(QObject* Sender)> OnTopLeftChanged;
    std::function<void(QObject* Sender, int FromIndex, int ToIndex)> OnColumnMoved;
    std::function<void(QObject* Sender, int FromIndex, int ToIndex)> OnRowMoved;

protected:
    bool CanSelectCell(int col, int row) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;
    void WriteEditText(int col, int row, const QString& text) override;
    QString GetEditMask(int col, int row) override;
    void TopLeftChanged() override;
};

class THtDrawGrid : public THtCustomDrawGrid {
    Q_OBJECT
public:
    using THtCustomDrawGrid::THtCustomDrawGrid;
};

class THtStringGrid;

// A row or a column of a string grid seen as a list of strings; writes go through CellText.
class THtStringGridStrings {
public:
    // Index code: row r is r + 1, column c is -(c + 1).
    THtStringGridStrings(THtStringGrid* grid, int indexCode) : grid_(grid), index_(indexCode) {}

    int Count() const;
    QString Get(int i) const;
    void Put(int i, const QString& text);
    void* GetObject(int i) const;
    void PutObject(int i, void* object);
    // Stores text (a single blank when empty) in the first empty item; -1 when none is empty.
    int Add(const QString& text);
    [[noreturn]] void Insert(int, const QString&);
    [[noreturn]] void Delete(int);
    void Clear();
    void Assign(const QStringList& source);
    void BeginUpdate();
    void EndUpdate();

private:
    QPoint cellOf(int i) const;

    THtStringGrid* grid_;
    int index_;
};

class THtStringGrid : public THtDrawGrid {
    Q_OBJECT
public:
    explicit THtStringGrid(QWidget* parent = nullptr);

    QString CellText(int col, int row) const;
    void setCellText(int col, int row, const QString& text);
    void* CellObject(int col, int row) const;
    void setCellObject(int col, int row, void* object);

    QStringList HCol() const { return hCol_; }
    void setHCol(const QStringList& captions);
    QStringList HRow() const { return hRow_; }
    void setHRow(const QStringList& captions);
    QStringList ColProperty() const { return colProperty_; }
    void setColProperty(const QStringList& codes);
    TAlignment Alignment() const { return alignment_; }
    void setAlignment(TAlignment a);
    bool Grid3D() const { return grid3D_; }
    void setGrid3D(bool on);
    int EditUpdateCount() const { return editUpdateCount_; }

    THtStringGridStrings* RowStrings(int row);
    THtStringGridStrings* ColStrings(int col);

    // Whole-view changes repaint once, at the end of the batch.
    void beginBatch() { updating_ = true; }
    void endBatch();

    // The text a write stores, after the column's format code ("N", "n", a decimal count).
    QString formattedForColumn(int col, int row, const QString& value) const;
    // Number of cells the store holds (memory grows with these, not with the table).
    int storedCellCount() const;
    // Columns of the row that hold a text or an object, in order.
    QList<int> storedColumns(int row) const;
    // Slots a section of the row's cell list holds (16 or 256), 0 when the row has no cells.
    int rowSectionSize(int row) const;

    // Writes the header captions; called once after the grid's settings are applied.
    void Loaded();

    std::function<void(QObject* Sender, int ARow, int ACol, TGridDrawState AState, QBrush& ABrush, QFont& AFont)>
        OnGetCellColor;
    std::function<void(QObject* Sender, int ARow, int ACol, TAlignment& AAlignment)> OnGetAlignment;

protected:
    void PaintCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) override;
    QString ReadEditText(int col, int row) override;
    void WriteEditText(int col, int row, const QString& text) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;

private:
    struct Cell {
        QString text;
        void* object = nullptr;
    };
    void applyHeaders();
    void drawAlignedText(QPainter& p, int col, int row, const QRect& rect);
    void cellChanged(int col, int row);
    static void checkIndex(int col, int row);

    using RowCells = TSparseList<Cell>;
    // A row's cells, created with the section size that suits the grid's width at the time.
    RowCells& rowForWrite(int row);
    void dropIfEmpty(int col, int row);

    TSparseList<RowCells> cells_{TSPAQuantum::SPASmall}; // row -> column -> cell; only written cells exist
    QStringList hCol_;
    QStringList hRow_;
    QStringList colProperty_;
    TAlignment alignment_ = taLeftJustify;
    bool grid3D_ = false;
    int editUpdateCount_ = 0;
    std::map<int, std::unique_ptr<THtStringGridStrings>> rowViews_;
    std::map<int, std::unique_ptr<THtStringGridStrings>> colViews_;
    bool updating_ = false;
    bool repaintPending_ = false;
    QFont wHeightFont_;
    int wHeight_ = -1;
};
