#include "CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace {

constexpr int kNarrowest = 75; // per cent of the normal width

int advance(const QWidget* control, const QString& text) {
    return control->fontMetrics().horizontalAdvance(text);
}

} // namespace

bool CaptionFit::fits(const QWidget* control) {
    if (auto* l = qobject_cast<const QLabel*>(control))
        return l->textFormat() == Qt::RichText || advance(l, l->text()) <= l->contentsRect().width();
    // A check or radio box's size hint is its indicator, the spacing and its text.
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control))
        return control->sizeHint().width() <= control->width();
    if (auto* b = qobject_cast<const QPushButton*>(control)) {
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        return advance(b, QString(b->text()).remove(QLatin1Char('&'))) <= b->width() - 2 * margin;
    }
    if (auto* g = qobject_cast<const QGroupBox*>(control))
        return advance(g, QString(g->title()).remove(QLatin1Char('&'))) <= g->width();
    return true;
}

void CaptionFit::fitCaption(QWidget* control) {
    if (fits(control))
        return;
    QFont font = control->font();
    for (int stretch = 99; stretch >= kNarrowest; --stretch) {
        font.setStretch(stretch);
        control->setFont(font);
        if (fits(control))
            return;
    }
}

void CaptionFit::fitCaptions(QWidget* root) {
    fitCaption(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        fitCaption(child);
}
