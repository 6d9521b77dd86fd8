#pragma once
// The grid's in-place editor: a borderless line edit on the current cell that writes every
// change back and hands navigation keys to the grid.

#include <QLineEdit>

class THtCustomGrid;

class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(THtCustomGrid* grid);

    // Takes a cell: its edit mask, its text (all selected) and its length limit (0 none, -1 the
    // text may not be changed).
    void load(const QString& editMask, const QString& text, int limit);
    // Whether the user may change the text now (the loaded limit and the grid's hook).
    bool mayModify() const;

    // The Qt input mask for an edit mask "mask;saveLiterals;blank" (see the .cpp for the mapping).
    static QString inputMaskFor(const QString& editMask);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool atStart() const;
    bool atEnd() const;
    bool changesText(const QKeyEvent* event) const;

    THtCustomGrid* grid_;
    bool canModify_ = true;
};
