#pragma once
// The grid's in-place editor: a borderless line edit on the current cell that writes every
// change back and hands navigation keys to the grid.

#include <QLineEdit>

class THtCustomGrid;

class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(THtCustomGrid* grid);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool atStart() const;
    bool atEnd() const;

    THtCustomGrid* grid_;
};
