#pragma once
// Building a window from its layout table: each control is created in its parent at a fixed
// place, named as the table names it, so tests and screen readers find it by that name.

#include <QLabel>
#include <QString>
#include <QWidget>

template <typename W> W* place(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* w = new W(parent); // owned by its parent
    w->setObjectName(QLatin1String(name));
    w->setGeometry(left, top, width, height);
    return w;
}

inline QLabel* placeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                          int height) {
    QLabel* l = place<QLabel>(parent, name, left, top, width, height);
    l->setText(text);
    return l;
}

// An input announced by the caption of the label that stands for it.
inline void announceAs(QWidget* input, const QLabel* label) {
    input->setAccessibleName(label->text());
}
