#include "TInplaceEdit.h"

#include "HtGridCore.h"

#include <QKeyEvent>

TInplaceEdit::TInplaceEdit(THtCustomGrid* grid) : QLineEdit(grid->viewport()), grid_(grid) {
    setFrame(false);
    setTextMargins(2, 0, 2, 0); // the text sits 2 pixels in from the cell's edges
    hide();
    // Every change of the text goes back into the cell at once.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { grid_->editorTextChanged(text); });
}

bool TInplaceEdit::atStart() const {
    return (cursorPosition() == 0 && !hasSelectedText()) || selectedText() == text();
}

bool TInplaceEdit::atEnd() const {
    return (cursorPosition() == text().size() && !hasSelectedText()) || selectedText() == text();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* event) {
    const bool always = grid_->Options() & goAlwaysShowEditor;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Escape:
        grid_->gridKeyDown(event);
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(event->modifiers() & Qt::AltModifier)) {
            grid_->gridKeyDown(event);
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Home:
        if (always && (ctrl || atStart())) {
            grid_->gridKeyDown(event);
            return;
        }
        break;
    case Qt::Key_Right:
    case Qt::Key_End:
        if (always && (ctrl || atEnd())) {
            grid_->gridKeyDown(event);
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (selectedText() == text())
            end(false);
        else
            selectAll();
        return;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

void TInplaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The viewport, not the grid: focus may leave while the grid is being destroyed.
    if (parentWidget())
        parentWidget()->update();
}
