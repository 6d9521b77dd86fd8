#include "TInplaceEdit.h"

#include "HtGridCore.h"

#include <QKeyEvent>

#include <algorithm>

TInplaceEdit::TInplaceEdit(THtCustomGrid* grid) : QLineEdit(grid->viewport()), grid_(grid) {
    setFrame(false);
    setFocusPolicy(Qt::ClickFocus); // no stop of its own in the window's tab order
    setTextMargins(2, 0, 2, 0); // the text sits 2 pixels in from the cell's edges
    hide();
    // Every change of the text goes back into the cell at once.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { grid_->editorTextChanged(text); });
}

void TInplaceEdit::load(const QString& editMask, const QString& text, int limit) {
    clear();
    setInputMask(inputMaskFor(editMask));
    // The limit holds the user's typing only: a longer stored text loads whole, since QLineEdit
    // would cut it and the cut text would go back into the cell when the editor leaves it.
    // 32767 is QLineEdit's own "no limit", raised likewise for a longer text.
    setMaxLength(std::max(limit > 0 ? limit : 32767, int(text.size())));
    setText(text);
    canModify_ = limit != -1;
    // Read-only also refuses paste, cut, undo and drops from the context menu and the mouse.
    setReadOnly(!canModify_);
    selectAll();
}

bool TInplaceEdit::mayModify() const { return canModify_ && grid_->CanEditModify(); }

// Edit masks follow the familiar "mask;saveLiterals;blank" form. Their mask characters map onto
// Qt's as follows: L/l letter (Qt A/a), A/a letter or digit (N/n), C/c any character (X/x),
// 0/9 digit required/optional (Qt 9/0), # digit or sign (#), > upper case, < lower case, <> no
// case change (!), \x the literal x, _ a blank. The time and date separators : and / stay
// literal, as in the C locale. A leading "!" (optional characters shown as leading blanks) has no
// Qt counterpart and is dropped, and so is the saveLiterals field: Qt's text always keeps the
// literals. The blank field becomes Qt's blank character, "_" when not given. Any other character
// is a literal, escaped where Qt would read it as a mask character.
QString TInplaceEdit::inputMaskFor(const QString& editMask) {
    // Split off the fields at unescaped semicolons.
    QStringList fields{QString()};
    for (qsizetype i = 0; i < editMask.size(); ++i) {
        const QChar c = editMask[i];
        if (c == QLatin1Char('\\') && i + 1 < editMask.size()) {
            fields.last() += c;
            fields.last() += editMask[++i];
        } else if (c == QLatin1Char(';')) {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    const QString& mask = fields[0];
    if (mask.isEmpty())
        return {};
    static const QString qtSpecial = QStringLiteral("AaNnXx90DdHhBb#<>!{}[]\\;");
    auto literal = [](QChar c) {
        return qtSpecial.contains(c) ? QStringLiteral("\\") + c : QString(c);
    };
    QString out;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        switch (c.unicode()) {
        case 'L': out += QLatin1Char('A'); break;
        case 'l': out += QLatin1Char('a'); break;
        case 'A': out += QLatin1Char('N'); break;
        case 'a': out += QLatin1Char('n'); break;
        case 'C': out += QLatin1Char('X'); break;
        case 'c': out += QLatin1Char('x'); break;
        case '0': out += QLatin1Char('9'); break;
        case '9': out += QLatin1Char('0'); break;
        case '#': out += QLatin1Char('#'); break;
        case '>': out += QLatin1Char('>'); break;
        case '<':
            if (i + 1 < mask.size() && mask[i + 1] == QLatin1Char('>')) {
                out += QLatin1Char('!');
                ++i;
            } else {
                out += QLatin1Char('<');
            }
            break;
        case '!': break;
        case '_': out += QLatin1Char(' '); break;
        case '\\':
            if (i + 1 < mask.size())
                out += literal(mask[++i]);
            break;
        default: out += literal(c); break;
        }
    }
    const QString blank = fields.size() > 2 && !fields[2].isEmpty() ? fields[2].left(1) : QStringLiteral("_");
    return out + QLatin1Char(';') + blank;
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
    case Qt::Key_Insert:
        if (!(event->modifiers() & Qt::ShiftModifier)) {
            grid_->gridKeyDown(event);
            return;
        }
        break;
    case Qt::Key_Delete:
        if (ctrl) {
            grid_->gridKeyDown(event);
            return;
        }
        break;
    case Qt::Key_F2:
        if (!grid_->keyDownConsumed(event))
            end(false);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (grid_->keyDownConsumed(event))
            return;
        if (selectedText() == text())
            end(false);
        else
            selectAll();
        return;
    default:
        break;
    }
    if (grid_->keyDownConsumed(event))
        return;
    if (changesText(event) && !mayModify()) {
        event->accept(); // refused here, not passed on for the grid to type into the editor
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool TInplaceEdit::changesText(const QKeyEvent* event) const {
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace ||
        (event->key() == Qt::Key_Insert && (event->modifiers() & Qt::ShiftModifier)))
        return true;
    for (const auto key : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                           QKeySequence::DeleteEndOfLine, QKeySequence::DeleteEndOfWord,
                           QKeySequence::DeleteStartOfWord, QKeySequence::DeleteCompleteLine})
        if (event->matches(key))
            return true;
    const QString text = event->text();
    return !text.isEmpty() && text.front() >= QChar(32) && text.front() != QChar(127);
}

void TInplaceEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    grid_->DblClick();
}

void TInplaceEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The viewport, not the grid: focus may leave while the grid is being destroyed.
    if (parentWidget())
        parentWidget()->update();
}
