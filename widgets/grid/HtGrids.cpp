#include "HtGrids.h"

#include <QLocale>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMaxDecimals = 18;
}

// ---- THtCustomDrawGrid -------------------------------------------------------------------

bool THtCustomDrawGrid::CanSelectCell(int col, int row) {
    bool canSelect = true;
    if (OnSelectCell)
        OnSelectCell(this, col, row, canSelect);
    return canSelect;
}

void THtCustomDrawGrid::WriteEditText(int col, int row, const QString& text) {
    if (OnSetEditText)
        OnSetEditText(this, col, row, text);
}

QString THtCustomDrawGrid::GetEditMask(int col, int row) {
    QString mask;
    if (OnGetEditMask)
        OnGetEditMask(this, col, row, mask);
    return mask;
}

void THtCustomDrawGrid::TopLeftChanged() {
    if (OnTopLeftChanged)
        OnTopLeftChanged(this);
}

void THtCustomDrawGrid::ColumnMoved(int from, int to) {
    if (OnColumnMoved)
        OnColumnMoved(this, from, to);
}

void THtCustomDrawGrid::RowMoved(int from, int to) {
    if (OnRowMoved)
        OnRowMoved(this, from, to);
}

// ---- THtStringGridStrings -----------------------------------------------------------------

QPoint THtStringGridStrings::cellOf(int i) const {
    return index_ > 0 ? QPoint(i, index_ - 1) : QPoint(-index_ - 1, i);
}

int THtStringGridStrings::Count() const { return index_ > 0 ? grid_->ColCount() : grid_->RowCount(); }

QString THtStringGridStrings::Get(int i) const {
    const QPoint c = cellOf(i);
    return grid_->CellText(c.x(), c.y());
}

void THtStringGridStrings::Put(int i, const QString& text) {
    const QPoint c = cellOf(i);
    grid_->setCellText(c.x(), c.y(), text);
}

void* THtStringGridStrings::GetObject(int i) const {
    const QPoint c = cellOf(i);
    return grid_->CellObject(c.x(), c.y());
}

void THtStringGridStrings::PutObject(int i, void* object) {
    const QPoint c = cellOf(i);
    grid_->setCellObject(c.x(), c.y(), object);
}

int THtStringGridStrings::Add(const QString& text) {
    for (int i = 0; i < Count(); ++i) {
        if (Get(i).isEmpty()) {
            Put(i, text.isEmpty() ? QStringLiteral(" ") : text);
            return i;
        }
    }
    return -1;
}

void THtStringGridStrings::Insert(int, const QString&) {
    throw EInvalidGridOperation(GridMessages::CannotInsertDelete);
}

void THtStringGridStrings::Delete(int) { throw EInvalidGridOperation(GridMessages::CannotInsertDelete); }

void THtStringGridStrings::Clear() {
    BeginUpdate();
    if (index_ > 0) {
        // A row clears every stored cell, also those beyond ColCount (a deleted column's cells
        // would otherwise come back when the count grows).
        for (int col : grid_->storedColumns(index_ - 1)) {
            grid_->setCellObject(col, index_ - 1, nullptr);
            grid_->setCellText(col, index_ - 1, QString());
        }
        EndUpdate();
        return;
    }
    for (int i = Count() - 1; i >= 0; --i) {
        PutObject(i, nullptr);
        Put(i, QString());
    }
    EndUpdate();
}

void THtStringGridStrings::Assign(const QStringList& source) {
    BeginUpdate();
    const int n = std::min(int(source.size()), Count());
    for (int i = 0; i < n; ++i)
        Put(i, source[i]);
    EndUpdate();
}

void THtStringGridStrings::BeginUpdate() { grid_->beginBatch(); }

void THtStringGridStrings::EndUpdate() { grid_->endBatch(); }

// ---- THtStringGrid -----------------------------------------------------------------------

THtStringGrid::THtStringGrid(QWidget* parent) : THtDrawGrid(parent) {}

void THtStringGrid::checkIndex(int col, int row) {
    if (col < 0)
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(col));
    if (row < 0)
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(row));
}

QString THtStringGrid::CellText(int col, int row) const {
    checkIndex(col, row);
    const RowCells* cells = cells_.get(row);
    const Cell* cell = cells ? cells->get(col) : nullptr;
    return cell ? cell->text : QString();
}

void* THtStringGrid::CellObject(int col, int row) const {
    checkIndex(col, row);
    const RowCells* cells = cells_.get(row);
    const Cell* cell = cells ? cells->get(col) : nullptr;
    return cell ? cell->object : nullptr;
}

QString THtStringGrid::formattedForColumn(int col, int row, const QString& value) const {
    if (row < FixedRows() || col < FixedCols() || value.isEmpty() || col >= colProperty_.size())
        return value;
    const QString& code = colProperty_[col];
    const QLocale locale;
    bool parsed = false;
    const double number = locale.toDouble(value.trimmed(), &parsed);
    if (code == QLatin1String("N") || code == QLatin1String("n")) {
        if (!parsed)
            return QStringLiteral("0");
        // The shortest general form, up to 15 significant digits, no group separators.
        QLocale plain = locale;
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        return plain.toString(number, 'g', 15);
    }
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?\\d+$"));
    if (wholeNumber.match(code).hasMatch()) {
        // A double carries no more than 17 significant digits; a larger count would only build a
        // string of zeros as long as the number asks (found by fuzzing: "444444440" ran out of memory).
        const int decimals = std::clamp(code.toInt(), 0, kMaxDecimals);
        QLocale plain = locale;
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        return plain.toString(parsed ? number : 0.0, 'f', decimals);
    }
    return value;
}

void THtStringGrid::setCellText(int col, int row, const QString& text) {
    checkIndex(col, row);
    const QString stored = formattedForColumn(col, row, text);
    RowCells& cells = rowForWrite(row);
    Cell* cell = cells.get(col);
    if (!cell)
        cell = cells.put(col, std::make_unique<Cell>());
    cell->text = stored;
    dropIfEmpty(col, row);
    cellChanged(col, row);
}

void THtStringGrid::setCellObject(int col, int row, void* object) {
    checkIndex(col, row);
    RowCells& cells = rowForWrite(row);
    Cell* cell = cells.get(col);
    if (!cell)
        cell = cells.put(col, std::make_unique<Cell>());
    cell->object = object;
    dropIfEmpty(col, row);
    cellChanged(col, row);
}

THtStringGrid::RowCells& THtStringGrid::rowForWrite(int row) {
    if (RowCells* cells = cells_.get(row))
        return *cells;
    // Wide grids take the large sections: fewer directory entries for a long row.
    const auto quantum = ColCount() > 512 ? TSPAQuantum::SPALarge : TSPAQuantum::SPASmall;
    return *cells_.put(row, std::make_unique<RowCells>(quantum));
}

// An empty cell with no object costs nothing, and neither does a row without cells.
void THtStringGrid::dropIfEmpty(int col, int row) {
    RowCells* cells = cells_.get(row);
    const Cell* cell = cells->get(col);
    if (cell && cell->text.isEmpty() && !cell->object)
        cells->put(col, nullptr);
    if (cells->Count() == 0)
        cells_.put(row, nullptr);
}

THtStringGridStrings* THtStringGrid::RowStrings(int row) {
    auto& view = rowViews_[row];
    if (!view)
        view = std::make_unique<THtStringGridStrings>(this, row + 1);
    return view.get();
}

THtStringGridStrings* THtStringGrid::ColStrings(int col) {
    auto& view = colViews_[col];
    if (!view)
        view = std::make_unique<THtStringGridStrings>(this, -(col + 1));
    return view.get();
}

void THtStringGrid::endBatch() {
    updating_ = false;
    if (repaintPending_) {
        repaintPending_ = false;
        viewport()->update();
    }
}

void THtStringGrid::ColumnMoved(int from, int to) {
    // In every stored row the cell leaves its column and the cells between shift by one.
    cells_.forAll([&](int, RowCells& cells) { cells.Move(from, to); });
    viewport()->update();
    THtDrawGrid::ColumnMoved(from, to);
}

void THtStringGrid::RowMoved(int from, int to) {
    cells_.Move(from, to);
    viewport()->update();
    THtDrawGrid::RowMoved(from, to);
}

void THtStringGrid::cellChanged(int col, int row) {
    if (updating_)
        repaintPending_ = true;
    else
        invalidateCell(col, row);
    // A write from code shows in the editor, but not the editor's own write-back.
    if (col == CurrentCol() && row == CurrentRow() && editUpdateCount_ == 0)
        reloadEditor();
}

int THtStringGrid::storedCellCount() const {
    int n = 0;
    cells_.forAll([&n](int, const RowCells& cells) { cells.forAll([&n](int, const Cell&) { ++n; }); });
    return n;
}

QList<int> THtStringGrid::storedColumns(int row) const {
    QList<int> columns;
    if (const RowCells* cells = cells_.get(row))
        cells->forAll([&columns](int col, const Cell&) { columns.append(col); });
    return columns;
}

int THtStringGrid::rowSectionSize(int row) const {
    const RowCells* cells = cells_.get(row);
    return cells ? cells->sectionSize() : 0;
}

void THtStringGrid::setHCol(const QStringList& captions) {
    hCol_ = captions;
    for (int i = 0; i < ColCount(); ++i)
        setCellText(i, 0, hCol_.value(i));
    viewport()->update();
}

void THtStringGrid::setHRow(const QStringList& captions) {
    hRow_ = captions;
    for (int i = 0; i + 1 < RowCount(); ++i)
        setCellText(0, i + 1, hRow_.value(i));
    viewport()->update();
}

void THtStringGrid::setColProperty(const QStringList& codes) {
    colProperty_ = codes;
    viewport()->update();
}

void THtStringGrid::setAlignment(TAlignment a) {
    alignment_ = a;
    viewport()->update();
}

void THtStringGrid::setGrid3D(bool on) {
    grid3D_ = on;
    viewport()->update();
}

void THtStringGrid::Loaded() {
    applyHeaders();
    placeCurrentCell(FixedCols(), FixedRows()); // without the veto
}

void THtStringGrid::applyHeaders() {
    for (int i = 0; i < ColCount(); ++i)
        setCellText(i, 0, hCol_.value(i));
    if (!hRow_.isEmpty())
        for (int i = 0; i + 1 < RowCount(); ++i)
            setCellText(0, i + 1, hRow_.value(i));
}

QString THtStringGrid::ReadEditText(int col, int row) {
    QString text = CellText(col, row);
    if (OnGetEditText)
        OnGetEditText(this, col, row, text);
    return text;
}

void THtStringGrid::WriteEditText(int col, int row, const QString& text) {
    ++editUpdateCount_;
    try {
        if (text != CellText(col, row))
            setCellText(col, row, text);
    } catch (...) {
        --editUpdateCount_;
        throw;
    }
    --editUpdateCount_;
    THtDrawGrid::WriteEditText(col, row, text);
}

void THtStringGrid::drawAlignedText(QPainter& p, int col, int row, const QRect& rect) {
    TAlignment a = alignment_;
    if (OnGetAlignment)
        OnGetAlignment(this, row, col, a);
    p.fillRect(rect, p.brush());
    // The height of "W" only changes with the font: measured once per font, not per cell.
    if (p.font() != wHeightFont_ || wHeight_ < 0) {
        wHeightFont_ = p.font();
        wHeight_ = QFontMetrics(wHeightFont_).boundingRect(QStringLiteral("W")).height();
    }
    const int h = wHeight_;
    const int top = (rect.top() + rect.top() + rect.height() - h) / 2;
    const QRect textRect(rect.left() + 2, top, rect.width() - 4, h);
    QString text = CellText(col, row).left(255);
    // A second line would lie outside the rectangle. Searched by hand: a regular expression made
    // here was compiled again for every cell of every paint.
    const auto lineBreak = std::find_if(text.cbegin(), text.cend(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    if (lineBreak != text.cend())
        text.truncate(lineBreak - text.cbegin());
    int flags = Qt::TextShowMnemonic | Qt::TextExpandTabs | Qt::TextSingleLine | Qt::AlignVCenter;
    flags |= a == taRightJustify ? Qt::AlignRight : (a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft);
    p.drawText(textRect, flags, text); // clipped to the rectangle (no Qt::TextDontClip)
}

void THtStringGrid::PaintCell(QPainter& p, int col, int row, const QRect& rect, TGridDrawState state) {
    QBrush brush = p.brush();
    QFont font = p.font();
    if (OnGetCellColor) {
        OnGetCellColor(this, row, col, state, brush, font);
        p.setBrush(brush);
        p.setFont(font);
    }
    if (DefaultDrawing())
        drawAlignedText(p, col, row, rect);
    else if (OnDrawCell)
        OnDrawCell(this, col, row, rect, state);
    const int right = rect.left() + rect.width(), bottom = rect.top() + rect.height();
    if (grid3D_ && (Options() & goVertLine) && (Options() & goHorzLine)) {
        p.setPen(resolve(clHighlightText));
        p.drawLine(rect.left(), bottom - 1, rect.left(), rect.top());
        p.drawLine(rect.left(), rect.top(), right - 1, rect.top());
    }
    // Every cell's right and bottom stroke in the line colour, on the grid line itself.
    const int width = std::max(1, GridLineWidth());
    p.fillRect(QRect(rect.left(), bottom, rect.width(), width), resolve(LineColor()));
    p.fillRect(QRect(right, rect.top(), width, rect.height()), resolve(LineColor()));
}
