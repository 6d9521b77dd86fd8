#include "HtGridCore.h"

#include "TInplaceEdit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kScrollRange = 127;
}

THtCustomGrid::THtCustomGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setRange(0, kScrollRange);
    horizontalScrollBar()->setRange(0, kScrollRange);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int a) { onScrollAction(true, a); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, [this](int a) { onScrollAction(false, a); });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] {
        const int last = maxFirst(false);
        setTopLeft(leftCol_, fixedRows_ + verticalScrollBar()->sliderPosition() * (last - fixedRows_) / kScrollRange);
    });
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] {
        if (scrollsByPixels()) {
            setPixelOffset(horizontalScrollBar()->sliderPosition());
            return;
        }
        const int last = maxFirst(true);
        setTopLeft(fixedCols_ + horizontalScrollBar()->sliderPosition() * (last - fixedCols_) / kScrollRange, topRow_);
    });
    resize(colCount_ * defaultColWidth_, rowCount_ * defaultRowHeight_);
}

THtCustomGrid::~THtCustomGrid() = default;

// ---- sizes -------------------------------------------------------------------------------

int THtCustomGrid::ColWidths(int col) const { return colWidths_.value(col, defaultColWidth_); }

void THtCustomGrid::setColWidths(int col, int width) {
    colWidths_.set(col, width, colCount_, defaultColWidth_);
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

int THtCustomGrid::RowHeights(int row) const { return rowHeights_.value(row, defaultRowHeight_); }

void THtCustomGrid::setRowHeights(int row, int height) {
    rowHeights_.set(row, height, rowCount_, defaultRowHeight_);
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::setTabStops(int col, bool stop) { tabStops_.set(col, stop, colCount_, true); }

void THtCustomGrid::setDefaultColWidth(int width) {
    defaultColWidth_ = width;
    colWidths_.clear(); // individual widths are discarded
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::setDefaultRowHeight(int height) {
    defaultRowHeight_ = height;
    rowHeights_.clear();
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::setGridLineWidth(int width) {
    gridLineWidth_ = std::max(width, 0);
    updateScrollBars();
    viewport()->update();
}

void THtCustomGrid::setFixedColor(TColor c) {
    fixedColor_ = c;
    viewport()->update();
}

void THtCustomGrid::setColor(TColor c) {
    color_ = c;
    viewport()->update();
}

void THtCustomGrid::setScrollBars(TScrollStyle style) {
    scrollBars_ = style;
    updateScrollBars();
}

void THtCustomGrid::setBorderStyle(TBorderStyle style) {
    setFrameStyle(style == bsNone ? QFrame::NoFrame : QFrame::StyledPanel | QFrame::Sunken);
    updateScrollBars();
}

void THtCustomGrid::setDefaultDrawing(bool on) {
    defaultDrawing_ = on;
    viewport()->update();
}

void THtCustomGrid::setOptions(TGridOptions options) {
    if (options & goRowSelect)
        options &= ~TGridOptions(goAlwaysShowEditor);
    options_ = options;
    if (!editorActive_ && (options_ & goAlwaysShowEditor))
        showEditor();
    else if (!(options_ & goAlwaysShowEditor))
        hideEditor();
    if (options_ & goRowSelect)
        moveCurrent(curCol_, curRow_, true, false); // the selection becomes the current row
    updateScrollBars();
    viewport()->update();
}

// ---- table size --------------------------------------------------------------------------

void THtCustomGrid::setColCount(int count) { changeSize(std::max(count, 1), rowCount_); }

void THtCustomGrid::setRowCount(int count) { changeSize(colCount_, std::max(count, 1)); }

void THtCustomGrid::changeSize(int newCols, int newRows) {
    // Arrays too long fail here, before the table or any array changes.
    colWidths_.checkResize(newCols);
    tabStops_.checkResize(newCols);
    rowHeights_.checkResize(newRows);

    const int oldCols = colCount_, oldRows = rowCount_;
    const int oldFixedCols = fixedCols_, oldFixedRows = fixedRows_;
    int newCurCol = curCol_, newCurRow = curRow_;
    try {
        if (fixedCols_ >= newCols)
            fixedCols_ = newCols - 1;
        if (fixedRows_ >= newRows)
            fixedRows_ = newRows - 1;
        colCount_ = newCols;
        rowCount_ = newRows;

        const int col = std::min(curCol_, newCols - 1);
        const int row = std::min(curRow_, newRows - 1);
        if (col != curCol_ || row != curRow_) {
            // Keep the current cell inside the table: the clamped cell when the veto allows it,
            // else the nearest cell it allows, else the clamped cell without asking.
            const QPoint allowed = nearestSelectable(col, row);
            newCurCol = allowed.x() >= 0 ? allowed.x() : col;
            newCurRow = allowed.x() >= 0 ? allowed.y() : row;
        }
    } catch (...) {
        colCount_ = oldCols;
        rowCount_ = oldRows;
        fixedCols_ = oldFixedCols;
        fixedRows_ = oldFixedRows;
        throw;
    }
    colWidths_.resize(newCols, defaultColWidth_);
    tabStops_.resize(newCols, true);
    rowHeights_.resize(newRows, defaultRowHeight_);
    curCol_ = newCurCol;
    curRow_ = newCurRow;
    anchorCol_ = (options_ & goRowSelect) ? colCount_ - 1 : curCol_;
    anchorRow_ = curRow_;
    leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, maxFirst(true)));
    topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, maxFirst(false)));
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

// Asks the veto about the cell itself first, then about the scrolling cells in rings of growing
// distance (rows above before rows below, left before right), so that the usual case costs one
// question rather than one per row of the table.
QPoint THtCustomGrid::nearestSelectable(int col, int row) {
    if (CanSelectCell(col, row))
        return {col, row};
    const int left = fixedCols_, right = colCount_ - 1, top = fixedRows_, bottom = rowCount_ - 1;
    const qint64 maxDc = std::max(std::abs(col - left), std::abs(right - col));
    const qint64 maxDr = std::max(std::abs(row - top), std::abs(bottom - row));
    QPoint found(-1, -1);
    // The cells at distance d in row offset dr: one or two columns.
    auto tryRow = [&](qint64 d, qint64 dr) {
        const qint64 dc = d - std::abs(dr);
        for (const qint64 c : {col - dc, col + dc}) {
            if (c >= left && c <= right && CanSelectCell(int(c), int(row + dr))) {
                found = QPoint(int(c), int(row + dr));
                return true;
            }
            if (dc == 0)
                break;
        }
        return false;
    };
    for (qint64 d = 1; d <= maxDc + maxDr; ++d) {
        const qint64 from = std::max(-d, qint64(top) - row), to = std::min(d, qint64(bottom) - row);
        // Row offsets nearer than d - maxDc would need a column beyond the table's width.
        const qint64 nearest = d - maxDc;
        if (nearest <= 0) {
            for (qint64 dr = from; dr <= to; ++dr)
                if (tryRow(d, dr))
                    return found;
        } else {
            for (qint64 dr = from; dr <= std::min(to, -nearest); ++dr)
                if (tryRow(d, dr))
                    return found;
            for (qint64 dr = std::max(from, nearest); dr <= to; ++dr)
                if (tryRow(d, dr))
                    return found;
        }
    }
    return {-1, -1};
}

void THtCustomGrid::setFixedCols(int count) {
    if (count < 0)
        throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
    if (count >= colCount_)
        throw EInvalidGridOperation(GridMessages::FixedColTooBig);
    fixedCols_ = count;
    curCol_ = anchorCol_ = leftCol_ = fixedCols_;
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::setFixedRows(int count) {
    if (count < 0)
        throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
    if (count >= rowCount_)
        throw EInvalidGridOperation(GridMessages::FixedRowTooBig);
    fixedRows_ = count;
    curRow_ = anchorRow_ = topRow_ = fixedRows_;
    updateScrollBars();
    updateEditor();
    viewport()->update();
}

// ---- geometry ----------------------------------------------------------------------------

int THtCustomGrid::lineWidth(bool columns) const {
    const bool lines = columns ? (options_ & (goFixedVertLine | goVertLine)) : (options_ & (goFixedHorzLine | goHorzLine));
    return lines ? gridLineWidth_ : 0;
}

int THtCustomGrid::fixedBoundary(bool columns) const {
    const int fixed = columns ? fixedCols_ : fixedRows_;
    int sum = 0;
    for (int i = 0; i < fixed; ++i)
        sum += (columns ? ColWidths(i) : RowHeights(i)) + lineWidth(columns);
    return sum;
}

QVector<THtCustomGrid::AxisCell> THtCustomGrid::visibleCells(bool columns) const {
    QVector<AxisCell> cells;
    const int extent = columns ? viewport()->width() : viewport()->height();
    const int fixed = columns ? fixedCols_ : fixedRows_;
    const int count = columns ? colCount_ : rowCount_;
    const int lw = lineWidth(columns);
    int pos = 0;
    for (int i = 0; i < fixed && pos < extent; ++i) {
        const int size = columns ? ColWidths(i) : RowHeights(i);
        cells.append({i, pos, size});
        pos += size + lw;
    }
    if (columns && scrollsByPixels())
        pos -= pixelOffset_;
    for (int i = columns ? leftCol_ : topRow_; i < count && pos < extent; ++i) {
        const int size = columns ? ColWidths(i) : RowHeights(i);
        cells.append({i, pos, size});
        pos += size + lw;
    }
    return cells;
}

int THtCustomGrid::maxFirst(bool columns) const {
    // The largest first scrolling cell that still fills the view from the end of the table.
    const int extent = (columns ? viewport()->width() : viewport()->height()) - fixedBoundary(columns);
    const int count = columns ? colCount_ : rowCount_;
    const int fixed = columns ? fixedCols_ : fixedRows_;
    int used = 0;
    int first = count;
    while (first > fixed) {
        const int size = (columns ? ColWidths(first - 1) : RowHeights(first - 1)) + lineWidth(columns);
        if (used + size > extent)
            break;
        used += size;
        --first;
    }
    return std::clamp(first, fixed, std::max(fixed, count - 1));
}

QRect THtCustomGrid::cellRect(int col, int row) const {
    QRect r;
    for (const AxisCell& c : visibleCells(true))
        if (c.index == col)
            r.setLeft(c.start), r.setWidth(c.size);
    if (r.width() <= 0)
        return {};
    for (const AxisCell& c : visibleCells(false))
        if (c.index == row)
            return QRect(r.left(), c.start, r.width(), c.size);
    return {};
}

QPoint THtCustomGrid::mouseToCell(const QPoint& pos) const {
    QPoint cell(-1, -1);
    const int lwc = lineWidth(true), lwr = lineWidth(false);
    for (const AxisCell& c : visibleCells(true))
        if (pos.x() >= c.start && pos.x() < c.start + c.size + lwc)
            cell.setX(c.index);
    for (const AxisCell& c : visibleCells(false))
        if (pos.y() >= c.start && pos.y() < c.start + c.size + lwr)
            cell.setY(c.index);
    return cell;
}

int THtCustomGrid::VisibleColCount() const {
    int n = 0;
    for (const AxisCell& c : visibleCells(true))
        if (c.index >= fixedCols_ && c.start + c.size <= viewport()->width())
            ++n;
    return n;
}

int THtCustomGrid::VisibleRowCount() const {
    int n = 0;
    for (const AxisCell& c : visibleCells(false))
        if (c.index >= fixedRows_ && c.start + c.size <= viewport()->height())
            ++n;
    return n;
}

TGridRect THtCustomGrid::SelectedRange() const {
    return {std::min(curCol_, anchorCol_), std::min(curRow_, anchorRow_), std::max(curCol_, anchorCol_),
            std::max(curRow_, anchorRow_)};
}

// ---- current cell ------------------------------------------------------------------------

void THtCustomGrid::setCurrentCol(int col) {
    if (col != curCol_)
        focusCell(col, curRow_, true);
}

void THtCustomGrid::setCurrentRow(int row) {
    if (row != curRow_)
        focusCell(curCol_, row, true);
}

void THtCustomGrid::focusCell(int col, int row, bool moveAnchor) {
    moveCurrent(col, row, moveAnchor, true);
    updateEditor();
    Click();
}

void THtCustomGrid::Click() {
    if (OnClick)
        OnClick(this);
}

void THtCustomGrid::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

void THtCustomGrid::placeCurrentCell(int col, int row) {
    curCol_ = anchorCol_ = col;
    curRow_ = anchorRow_ = row;
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::moveCurrent(int col, int row, bool moveAnchor, bool show) {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_)
        throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
    if (!CanSelectCell(col, row))
        return;
    curCol_ = col;
    curRow_ = row;
    if (!(options_ & goAlwaysShowEditor))
        hideEditor();
    if (moveAnchor || !(options_ & goRangeSelect)) {
        anchorCol_ = col;
        anchorRow_ = row;
        if (options_ & goRowSelect)
            anchorCol_ = colCount_ - 1;
    }
    if (options_ & goRowSelect)
        curCol_ = fixedCols_; // whole rows: the selection spans every scrolling column
    if (show)
        scrollIntoView(curCol_, row);
    viewport()->update();
}

void THtCustomGrid::scrollIntoView(int col, int row) {
    int left = leftCol_, top = topRow_;
    if (col >= fixedCols_) {
        if (col < leftCol_)
            left = col;
        else if (cellRect(col, topRow_ >= 0 ? std::max(row, topRow_) : row).isEmpty() ||
                 cellRect(col, std::max(row, topRow_)).right() >= viewport()->width()) {
            // Largest first column for which col is still fully visible.
            int used = viewport()->width() - fixedBoundary(true);
            left = col;
            while (left > fixedCols_ && used - ColWidths(left) - lineWidth(true) >= ColWidths(left - 1))
                used -= ColWidths(left) + lineWidth(true), --left;
        }
    }
    if (row >= fixedRows_) {
        if (row < topRow_) {
            top = row;
        } else {
            int bottom = fixedBoundary(false);
            for (int r = topRow_; r <= row; ++r)
                bottom += RowHeights(r) + lineWidth(false);
            if (bottom - lineWidth(false) > viewport()->height()) {
                int used = viewport()->height() - fixedBoundary(false) - RowHeights(row) - lineWidth(false);
                top = row;
                while (top > fixedRows_ && used >= RowHeights(top - 1) + lineWidth(false))
                    used -= RowHeights(top - 1) + lineWidth(false), --top;
            }
        }
    }
    setTopLeft(left, top);
}

void THtCustomGrid::setTopLeft(int col, int row) {
    col = std::clamp(col, fixedCols_, std::max(fixedCols_, maxFirst(true)));
    row = std::clamp(row, fixedRows_, std::max(fixedRows_, maxFirst(false)));
    if (col == leftCol_ && row == topRow_)
        return;
    leftCol_ = col;
    topRow_ = row;
    updateScrollBars();
    updateEditor();
    viewport()->update();
    TopLeftChanged();
}

// ---- scroll bars -------------------------------------------------------------------------

void THtCustomGrid::updateScrollBars() {
    const int maxLeft = maxFirst(true), maxTop = maxFirst(false);
    const QSignalBlocker hb(horizontalScrollBar()), vb(verticalScrollBar());
    const bool horizontalAllowed = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const bool verticalAllowed = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    if (scrollsByPixels()) {
        const int maxOffset = maxPixelOffset();
        if (pixelOffset_ > maxOffset) // a wider view or a narrower column
            setPixelOffset(maxOffset);
        setHorizontalScrollBarPolicy(maxOffset > 0 && horizontalAllowed ? Qt::ScrollBarAlwaysOn
                                                                         : Qt::ScrollBarAlwaysOff);
        horizontalScrollBar()->setRange(0, maxOffset);
        horizontalScrollBar()->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('0')));
        horizontalScrollBar()->setPageStep(std::max(1, viewport()->width() - fixedBoundary(true)));
        horizontalScrollBar()->setValue(pixelOffset_);
    } else {
        pixelOffset_ = 0;
        setHorizontalScrollBarPolicy(maxLeft > fixedCols_ && horizontalAllowed ? Qt::ScrollBarAlwaysOn
                                                                               : Qt::ScrollBarAlwaysOff);
        horizontalScrollBar()->setRange(0, kScrollRange);
        horizontalScrollBar()->setSingleStep(1);
        horizontalScrollBar()->setPageStep(10);
    }
    setVerticalScrollBarPolicy(maxTop > fixedRows_ && verticalAllowed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    if (!scrollsByPixels() && maxLeft > fixedCols_)
        horizontalScrollBar()->setValue((leftCol_ - fixedCols_) * kScrollRange / (maxLeft - fixedCols_));
    if (maxTop > fixedRows_)
        verticalScrollBar()->setValue((topRow_ - fixedRows_) * kScrollRange / (maxTop - fixedRows_));
}

int THtCustomGrid::maxPixelOffset() const {
    const int visible = viewport()->width() - fixedBoundary(true);
    return std::max(0, ColWidths(fixedCols_) - visible);
}

// Moves what is on screen and repaints only the strip that comes into view.
void THtCustomGrid::setPixelOffset(int offset) {
    offset = std::clamp(offset, 0, maxPixelOffset());
    if (offset == pixelOffset_)
        return;
    const int dx = pixelOffset_ - offset;
    pixelOffset_ = offset;
    const int fixed = fixedBoundary(true);
    viewport()->scroll(dx, 0, QRect(fixed, 0, viewport()->width() - fixed, viewport()->height()));
    updateEditor();
}

int THtCustomGrid::pixelTarget(int action) const {
    const QScrollBar* bar = horizontalScrollBar();
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return pixelOffset_ + bar->singleStep();
    case QAbstractSlider::SliderSingleStepSub: return pixelOffset_ - bar->singleStep();
    case QAbstractSlider::SliderPageStepAdd: return pixelOffset_ + bar->pageStep();
    case QAbstractSlider::SliderPageStepSub: return pixelOffset_ - bar->pageStep();
    case QAbstractSlider::SliderToMinimum: return 0;
    case QAbstractSlider::SliderToMaximum: return maxPixelOffset();
    case QAbstractSlider::SliderMove:
        return (options_ & goThumbTracking) ? bar->sliderPosition() : pixelOffset_;
    default: return pixelOffset_;
    }
}

void THtCustomGrid::onScrollAction(bool vertical, int action) {
    if (!vertical && scrollsByPixels()) {
        setPixelOffset(pixelTarget(action));
        QMetaObject::invokeMethod(this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
        return;
    }
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    const int fixed = vertical ? fixedRows_ : fixedCols_;
    const int first = vertical ? topRow_ : leftCol_;
    const int last = maxFirst(!vertical);
    const int page = std::max(1, vertical ? VisibleRowCount() : VisibleColCount());
    int target = first;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: target = first + 1; break;
    case QAbstractSlider::SliderSingleStepSub: target = first - 1; break;
    case QAbstractSlider::SliderPageStepAdd: target = first + page; break;
    case QAbstractSlider::SliderPageStepSub: target = first - page; break;
    case QAbstractSlider::SliderToMinimum: target = fixed; break;
    case QAbstractSlider::SliderToMaximum: target = last; break;
    case QAbstractSlider::SliderMove:
        // Without thumb tracking the table follows only when the thumb is let go.
        if (!(options_ & goThumbTracking))
            return;
        target = fixed + bar->sliderPosition() * (last - fixed) / kScrollRange;
        break;
    default: return;
    }
    if (vertical)
        setTopLeft(leftCol_, target);
    else
        setTopLeft(target, topRow_);
    // The bar shows the grid's position, not the raw slider step.
    QMetaObject::invokeMethod(this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
}

void THtCustomGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    updateEditor();
}

// A scroll-bar policy set while the grid is hidden (its page not shown yet) does not lay the bars
// out: Qt does that only for a visible area, so a bar turned off then stayed on screen. The bars
// are judged again once the grid shows.
void THtCustomGrid::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    fitToViewportLater();
}

bool THtCustomGrid::viewportEvent(QEvent* event) {
    // Showing or hiding a scroll bar resizes the viewport: the bars are re-evaluated then too.
    if (event->type() == QEvent::Resize)
        fitToViewportLater();
    return QAbstractScrollArea::viewportEvent(event);
}

// Once the current event is done: by then the scroll area has laid out its bars and viewport.
void THtCustomGrid::fitToViewportLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateScrollBars();
            updateEditor();
        },
        Qt::QueuedConnection);
}

// ---- editor ------------------------------------------------------------------------------

bool THtCustomGrid::editorWanted() const {
    return (options_ & goEditing) && !(options_ & goRowSelect) && editorActive_ &&
           ((options_ & goAlwaysShowEditor) || hasFocus() || (editor_ && editor_->hasFocus()));
}

void THtCustomGrid::showEditor() {
    editorActive_ = true;
    updateEditor();
}

void THtCustomGrid::hideEditor() {
    if (editor_ && editCol_ >= 0) {
        writeEditorBack();
        const bool hadFocus = editor_->hasFocus();
        editCol_ = editRow_ = -1;
        editor_->hide();
        if (hadFocus)
            setFocus();
    }
    editorActive_ = false;
}

void THtCustomGrid::updateEditor() {
    if ((options_ & goAlwaysShowEditor) && (options_ & goEditing) && !(options_ & goRowSelect))
        editorActive_ = true;
    if (!editorWanted()) {
        if (editor_ && editor_->isVisible() && !(options_ & goAlwaysShowEditor))
            editor_->hide();
        return;
    }
    if (!editor_)
        editor_ = new TInplaceEdit(this); // a child of the viewport, freed with it
    if (editCol_ != curCol_ || editRow_ != curRow_) {
        if (editCol_ >= 0)
            writeEditorBack();
        loadEditor();
    }
    const QRect r = cellRect(curCol_, curRow_);
    if (r.isEmpty()) {
        editor_->hide();
        return;
    }
    editor_->setGeometry(r);
    editor_->show();
    if (hasFocus()) {
        editor_->setFocus();
        editor_->selectAll(); // the editor opens with its whole text selected
    }
}

void THtCustomGrid::reloadEditor() {
    if (!editor_ || writingBack_)
        return;
    editCol_ = editRow_ = -1;
    if (editorWanted())
        loadEditor();
}

void THtCustomGrid::loadEditor() {
    editCol_ = curCol_;
    editRow_ = curRow_;
    writingBack_ = true; // loading is not an edit
    try {
        editor_->load(GetEditMask(curCol_, curRow_), ReadEditText(curCol_, curRow_), GetEditLimit());
    } catch (...) {
        writingBack_ = false;
        throw;
    }
    writingBack_ = false;
}

void THtCustomGrid::writeEditorBack() {
    // A masked editor shows the cell's text filtered through the mask; unless the user changed
    // it, writing that back would replace the cell's text merely because the editor passed by.
    if (editor_->isModified() || editor_->inputMask().isEmpty())
        WriteEditText(editCol_, editRow_, editor_->text());
}

void THtCustomGrid::writeBackAndForgetEditor() {
    if (!editor_ || editCol_ < 0)
        return;
    writeEditorBack();
    editCol_ = editRow_ = -1;
}

void THtCustomGrid::editorTextChanged(const QString& text) {
    if (writingBack_ || editCol_ < 0)
        return;
    writingBack_ = true;
    try {
        WriteEditText(editCol_, editRow_, text);
    } catch (...) {
        writingBack_ = false;
        throw;
    }
    writingBack_ = false;
}

void THtCustomGrid::invalidateCell(int col, int row) {
    const QRect r = cellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r.adjusted(0, 0, lineWidth(true), lineWidth(false)));
}

// ---- steps -------------------------------------------------------------------------------

void THtCustomGrid::PaintCell(QPainter&, int, int, const QRect&, TGridDrawState) {}

bool THtCustomGrid::CanSelectCell(int, int) { return true; }

QString THtCustomGrid::ReadEditText(int, int) { return {}; }

void THtCustomGrid::WriteEditText(int, int, const QString&) {}

// ---- painting ----------------------------------------------------------------------------

void THtCustomGrid::paintLines(QPainter& p, const QVector<AxisCell>& cols, const QVector<AxisCell>& rows,
                               bool fixedColsArea, bool fixedRowsArea) {
    if (cols.isEmpty() || rows.isEmpty())
        return;
    const bool fixedArea = fixedColsArea || fixedRowsArea;
    const int lwc = lineWidth(true), lwr = lineWidth(false);
    const bool vertOption = fixedArea ? bool(options_ & goFixedVertLine) : bool(options_ & goVertLine);
    const bool horzOption = fixedArea ? bool(options_ & goFixedHorzLine) : bool(options_ & goHorzLine);
    auto colourFor = [&](bool option) {
        if (fixedArea)
            return option ? QColor(Qt::black) : resolve(fixedColor_);
        if (!option)
            return resolve(color_);
        // A background equal to the stored line colour would hide the lines.
        const bool clash = !isSystemColor(lineColor_) && QColorToTColor(resolve(color_)) == lineColor_;
        return resolve(clash ? reverseLineColor_ : lineColor_);
    };
    const int top = rows.first().start, bottom = rows.last().start + rows.last().size + lwr;
    const int left = cols.first().start, right = cols.last().start + cols.last().size + lwc;
    auto vertical = [&] {
        if (lwc > 0)
            for (const AxisCell& c : cols)
                p.fillRect(QRect(c.start + c.size, top, lwc, bottom - top), colourFor(vertOption));
    };
    auto horizontal = [&] {
        if (lwr > 0)
            for (const AxisCell& r : rows)
                p.fillRect(QRect(left, r.start + r.size, right - left, lwr), colourFor(horzOption));
    };
    if (horzOption) {
        vertical();
        horizontal();
    } else {
        horizontal();
        vertical();
    }
}

void THtCustomGrid::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    p.setClipRect(event->rect());
    const QVector<AxisCell> cols = visibleCells(true);
    const QVector<AxisCell> rows = visibleCells(false);
    auto split = [](const QVector<AxisCell>& cells, int fixed, bool wantFixed) {
        QVector<AxisCell> part;
        for (const AxisCell& c : cells)
            if ((c.index < fixed) == wantFixed)
                part.append(c);
        return part;
    };
    const QVector<AxisCell> fc = split(cols, fixedCols_, true), sc = split(cols, fixedCols_, false);
    const QVector<AxisCell> fr = split(rows, fixedRows_, true), sr = split(rows, fixedRows_, false);

    paintLines(p, fc, fr, true, true);
    paintLines(p, sc, fr, false, true);
    paintLines(p, fc, sr, true, false);
    paintLines(p, sc, sr, false, false);

    const TGridRect selection = SelectedRange();
    const bool active = hasFocus() || (editor_ && editor_->hasFocus());
    auto paintArea = [&](const QVector<AxisCell>& cs, const QVector<AxisCell>& rs, bool fixed) {
        for (const AxisCell& r : rs) {
            for (const AxisCell& c : cs) {
                const QRect rect(c.start, r.start, c.size, r.size);
                if (c.size <= 0 || !rect.intersects(event->rect()))
                    continue;
                TGridDrawState state;
                if (!fixed && selection.contains(c.index, r.index))
                    state |= gdSelected;
                if (c.index == curCol_ && r.index == curRow_ && active)
                    state |= gdFocused;
                if (fixed)
                    state |= gdFixed;
                // The editor covers the focused cell.
                if ((state & gdFocused) && (options_ & goEditing) && editorActive_)
                    continue;
                if (defaultDrawing_) {
                    p.setFont(font());
                    QColor fill = resolve(fixed ? fixedColor_ : color_);
                    QColor text = palette().color(QPalette::Text);
                    if ((state & gdSelected) &&
                        (!(state & gdFocused) || (options_ & (goDrawFocusSelected | goRowSelect)))) {
                        fill = resolve(highLightBackColor_);
                        text = resolve(highLightTextColor_);
                    }
                    p.setBrush(fill);
                    p.setPen(text);
                    p.fillRect(rect, fill);
                }
                PaintCell(p, c.index, r.index, rect, state);
                if (defaultDrawing_ && fixed && (options_ & (goFixedVertLine | goFixedHorzLine))) {
                    // Raised inner edge: light left and top, shadow right and bottom.
                    QRect edge = rect;
                    if (!(options_ & goFixedVertLine))
                        edge.adjust(0, 0, lineWidth(true), 0);
                    else if (!(options_ & goFixedHorzLine))
                        edge.adjust(0, 0, 0, lineWidth(false));
                    const QColor light = resolve(clBtnHighlight), shadow = resolve(clBtnShadow);
                    if (options_ & goFixedVertLine) {
                        p.fillRect(QRect(edge.left(), edge.top(), 1, edge.height()), light);
                        p.fillRect(QRect(edge.right(), edge.top(), 1, edge.height()), shadow);
                    }
                    if (options_ & goFixedHorzLine) {
                        p.fillRect(QRect(edge.left(), edge.top(), edge.width(), 1), light);
                        p.fillRect(QRect(edge.left(), edge.bottom(), edge.width(), 1), shadow);
                    }
                }
                if (defaultDrawing_ && (state & gdFocused) &&
                    !((options_ & goEditing) && (options_ & goAlwaysShowEditor)) && !(options_ & goRowSelect)) {
                    QPen dotted(palette().color(QPalette::Text), 1, Qt::DotLine);
                    p.setPen(dotted);
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(rect.adjusted(0, 0, -1, -1));
                }
            }
        }
    };
    paintArea(fc, fr, true);
    paintArea(sc, fr, true);
    paintArea(fc, sr, true);
    paintArea(sc, sr, false);

    // The area beyond the last column and row.
    const int right = cols.isEmpty() ? 0 : cols.last().start + cols.last().size + lineWidth(true);
    const int bottom = rows.isEmpty() ? 0 : rows.last().start + rows.last().size + lineWidth(false);
    p.fillRect(QRect(right, 0, viewport()->width() - right, viewport()->height()), resolve(color_));
    p.fillRect(QRect(0, bottom, right, viewport()->height() - bottom), resolve(color_));

    if (gridState_ == gsColSizing || gridState_ == gsRowSizing) {
        p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
        if (gridState_ == gsColSizing)
            p.drawLine(lastMouse_.x(), 0, lastMouse_.x(), viewport()->height());
        else
            p.drawLine(0, lastMouse_.y(), viewport()->width(), lastMouse_.y());
    }
}

// ---- keyboard and mouse -------------------------------------------------------------------

void THtCustomGrid::keyPressEvent(QKeyEvent* event) {
    // While the editor has the focus, a key arriving here is one the editor left unhandled; it
    // raised OnKeyDown already.
    gridKeyDown(event, !(editor_ && editor_->hasFocus()));
}

bool THtCustomGrid::focusNextPrevChild(bool next) {
    if (options_ & goTabs)
        return false;
    // The tab order runs through the grid, never its editor: step on from the grid itself, or
    // Shift+Tab from the editor would land on the grid and the grid hand the focus straight back.
    for (QWidget* w = next ? nextInFocusChain() : previousInFocusChain(); w != this;
         w = next ? w->nextInFocusChain() : w->previousInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->window() == window() &&
            w->isVisibleTo(window()) && !isAncestorOf(w)) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

bool THtCustomGrid::keyDownConsumed(QKeyEvent* event) {
    int key = event->key();
    if (OnKeyDown)
        OnKeyDown(this, key, event->modifiers());
    return key == 0;
}

void THtCustomGrid::gridKeyDown(QKeyEvent* event, bool raiseKeyDown) {
    if (raiseKeyDown && keyDownConsumed(event))
        return;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool rowSelect = options_ & goRowSelect;
    int col = curCol_, row = curRow_;
    int left = leftCol_, top = topRow_;
    bool tabbed = false; // Tab moves the anchor with the current cell, Shift or not
    const int pageRows = std::max(1, VisibleRowCount() - 1);
    const int pageCols = std::max(1, VisibleColCount() - 1);
    switch (event->key()) {
    case Qt::Key_Up:
        if (ctrl)
            --top;
        else
            --row;
        break;
    case Qt::Key_Down:
        if (ctrl)
            ++top;
        else
            ++row;
        break;
    case Qt::Key_Left:
        if (ctrl) {
            if (!rowSelect) // whole rows have no page of columns to turn
                col -= pageCols, left -= pageCols;
        } else if (rowSelect) {
            --row;
        } else {
            --col;
        }
        break;
    case Qt::Key_Right:
        if (ctrl) {
            if (!rowSelect) // whole rows have no page of columns to turn
                col += pageCols, left += pageCols;
        } else if (rowSelect) {
            ++row;
        } else {
            ++col;
        }
        break;
    case Qt::Key_PageUp:
        if (ctrl)
            row = topRow_;
        else
            row -= pageRows, top -= pageRows;
        break;
    case Qt::Key_PageDown:
        if (ctrl)
            row = topRow_ + std::max(0, VisibleRowCount() - 1);
        else
            row += pageRows, top += pageRows;
        break;
    case Qt::Key_Home:
        if (ctrl)
            col = fixedCols_, row = fixedRows_;
        else if (rowSelect)
            row = fixedRows_;
        else
            col = fixedCols_;
        break;
    case Qt::Key_End:
        if (ctrl)
            col = colCount_ - 1, row = rowCount_ - 1;
        else if (rowSelect)
            row = rowCount_ - 1;
        else
            col = colCount_ - 1;
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (event->modifiers() & Qt::AltModifier) {
            event->ignore();
            return;
        }
        // Shift+Tab takes one step back; any further steps past columns without a tab stop go
        // forward. The search ends at a tab stop or back at the starting column.
        bool back = event->key() == Qt::Key_Backtab || shift;
        int steps = colCount_ - fixedCols_ + 1; // a full round, even from outside the scrolling columns
        do {
            if (back) {
                if (--col < fixedCols_) {
                    col = colCount_ - 1;
                    if (--row < fixedRows_)
                        row = rowCount_ - 1;
                }
                back = false;
            } else if (++col >= colCount_) {
                col = fixedCols_;
                if (++row >= rowCount_)
                    row = fixedRows_;
            }
        } while (!TabStops(col) && col != curCol_ && --steps > 0);
        tabbed = true;
        break;
    }
    case Qt::Key_F2:
        showEditor();
        if (editor_)
            editor_->end(false);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!(options_ & goEditing)) {
            event->ignore(); // only an editing grid keeps Enter from the window's default button
            return;
        }
        if (!(options_ & goAlwaysShowEditor)) {
            if (editorActive_)
                hideEditor();
            else
                showEditor();
        }
        return;
    default:
        if ((options_ & goEditing) && !event->text().isEmpty() &&
            (event->text().front() == QChar(8) || event->text().front() >= QChar(32))) {
            showEditor();
            if (editor_ && editor_->isVisible()) {
                editor_->setFocus();
                if (!editor_->mayModify())
                    return;
                if (event->text().front() == QChar(8))
                    editor_->backspace(); // the key's action, not a control character in the text
                else
                    editor_->insert(event->text());
            }
            return;
        }
        event->ignore(); // Esc and anything else the grid has no use for go on to the window
        return;
    }
    setTopLeft(left, top);
    col = std::clamp(col, fixedCols_, colCount_ - 1);
    row = std::clamp(row, fixedRows_, rowCount_ - 1);
    if (col != curCol_ || row != curRow_)
        focusCell(col, row, tabbed || !shift || !(options_ & goRangeSelect));
}

THtCustomGrid::TGridState THtCustomGrid::sizingZoneAt(const QPoint& pos, int* index) const {
    // A zone 7 pixels wide (or the line width when wider) around the line after each cell.
    auto near = [](int line, int p, int lw) {
        const int zone = std::max(7, lw);
        const int from = line - (7 - lw) / 2;
        return p >= from && p < from + zone;
    };
    const int lwc = lineWidth(true), lwr = lineWidth(false);
    if ((options_ & goColSizing) && pos.y() < fixedBoundary(false)) {
        for (const AxisCell& c : visibleCells(true)) {
            if (c.index >= fixedCols_ && near(c.start + c.size, pos.x(), lwc)) {
                *index = c.index;
                return gsColSizing;
            }
        }
    }
    if ((options_ & goRowSizing) && pos.x() < fixedBoundary(true)) {
        for (const AxisCell& r : visibleCells(false)) {
            if (r.index >= fixedRows_ && near(r.start + r.size, pos.y(), lwr)) {
                *index = r.index;
                return gsRowSizing;
            }
        }
    }
    return gsNormal;
}

void THtCustomGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (editor_ && editCol_ >= 0)
        writeEditorBack();
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    lastMouse_ = pos;
    int index = -1;
    const TGridState zone = sizingZoneAt(pos, &index);
    if (zone != gsNormal) {
        gridState_ = zone;
        sizingIndex_ = index;
        const QRect r = zone == gsColSizing ? cellRect(index, 0) : cellRect(0, index);
        sizingStart_ = zone == gsColSizing ? r.left() : r.top();
        return;
    }
    const QPoint cell = mouseToCell(pos);
    if (cell.x() < 0 || cell.y() < 0)
        return;
    if (cell.y() < fixedRows_ || cell.x() < fixedCols_) {
        // A fixed cell of a scrolling column or row: the start of a move.
        if (cell.y() < fixedRows_ && cell.x() >= fixedCols_ && (options_ & goColMoving)) {
            gridState_ = gsColMoving;
            sizingIndex_ = cell.x();
        } else if (cell.x() < fixedCols_ && cell.y() >= fixedRows_ && (options_ & goRowMoving)) {
            gridState_ = gsRowMoving;
            sizingIndex_ = cell.y();
        }
        return;
    }
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && (options_ & goRangeSelect);
    if (options_ & goEditing) {
        if (cell.x() != curCol_ || cell.y() != curRow_)
            moveCurrent(cell.x(), cell.y(), true, true);
        showEditor();
        updateEditor();
        Click();
        return;
    }
    gridState_ = gsSelecting;
    selectTimer_ = startTimer(60);
    if (extend)
        moveCurrent(cell.x(), cell.y(), false, true);
    else if (cell.x() != curCol_ || cell.y() != curRow_)
        moveCurrent(cell.x(), cell.y(), true, true);
}

void THtCustomGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    lastMouse_ = pos;
    if (gridState_ == gsSelecting) {
        const QPoint cell = mouseToCell(pos);
        if (cell.x() >= fixedCols_ && cell.y() >= fixedRows_ && (cell.x() != curCol_ || cell.y() != curRow_))
            moveCurrent(cell.x(), cell.y(), false, true);
    } else if (gridState_ == gsColSizing || gridState_ == gsRowSizing) {
        viewport()->update(); // the sizing line follows the pointer
    } else if (gridState_ == gsNormal) {
        int index = -1;
        const TGridState zone = sizingZoneAt(pos, &index);
        viewport()->setCursor(zone == gsColSizing   ? Qt::SplitHCursor
                              : zone == gsRowSizing ? Qt::SplitVCursor
                                                    : Qt::ArrowCursor);
    }
}

void THtCustomGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const TGridState state = gridState_;
    gridState_ = gsNormal;
    if (selectTimer_) {
        killTimer(selectTimer_);
        selectTimer_ = 0;
    }
    switch (state) {
    case gsColSizing: {
        const int width = pos.x() - sizingStart_;
        if (width > 1) // a column dragged to 1 pixel or less keeps its width
            setColWidths(sizingIndex_, width);
        break;
    }
    case gsRowSizing: {
        const int height = pos.y() - sizingStart_;
        if (height > 1)
            setRowHeights(sizingIndex_, height);
        break;
    }
    case gsColMoving: {
        const int to = mouseToCell(pos).x();
        if (to >= fixedCols_ && to != sizingIndex_)
            moveColumn(sizingIndex_, to);
        break;
    }
    case gsRowMoving: {
        const int to = mouseToCell(pos).y();
        if (to >= fixedRows_ && to != sizingIndex_)
            moveRow(sizingIndex_, to);
        break;
    }
    case gsSelecting:
        updateEditor();
        Click();
        break;
    default:
        break;
    }
    viewport()->update();
}

void THtCustomGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        DblClick();
}

void THtCustomGrid::timerEvent(QTimerEvent* event) {
    if (event->timerId() != selectTimer_ || gridState_ != gsSelecting) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    // A pointer beyond the scrolling area scrolls one cell that way and extends the selection.
    int col = curCol_, row = curRow_;
    if (lastMouse_.x() < fixedBoundary(true))
        col = std::max(fixedCols_, std::min(col, leftCol_) - 1);
    else if (lastMouse_.x() >= viewport()->width())
        col = std::min(colCount_ - 1, col + 1);
    if (lastMouse_.y() < fixedBoundary(false))
        row = std::max(fixedRows_, std::min(row, topRow_) - 1);
    else if (lastMouse_.y() >= viewport()->height())
        row = std::min(rowCount_ - 1, row + 1);
    if (col != curCol_ || row != curRow_)
        moveCurrent(col, row, false, true);
}

void THtCustomGrid::moveColumn(int from, int to) {
    if (from < 0 || to < 0 || from >= colCount_ || to >= colCount_)
        throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
    if (from == to)
        return;
    writeBackAndForgetEditor();
    colWidths_.move(from, to);
    tabStops_.move(from, to);
    ColumnMoved(from, to);
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::moveRow(int from, int to) {
    if (from < 0 || to < 0 || from >= rowCount_ || to >= rowCount_)
        throw EInvalidGridOperation(GridMessages::IndexOutOfRange);
    if (from == to)
        return;
    writeBackAndForgetEditor();
    rowHeights_.move(from, to);
    RowMoved(from, to);
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::DeleteColumn(int col) {
    moveColumn(col, colCount_ - 1);
    setColCount(colCount_ - 1);
}

void THtCustomGrid::DeleteRow(int row) {
    moveRow(row, rowCount_ - 1);
    setRowCount(rowCount_ - 1);
}

void THtCustomGrid::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta < 0 && curRow_ < rowCount_ - 1)
        focusCell(curCol_, curRow_ + 1, true);
    else if (delta > 0 && curRow_ > fixedRows_)
        focusCell(curCol_, curRow_ - 1, true);
    event->accept();
}

void THtCustomGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    updateEditor();
    viewport()->update();
}

void THtCustomGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
