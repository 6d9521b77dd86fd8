#include "CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kNarrowest = 75; // per cent of the normal width

int advance(const QWidget* control, const QString& text) {
    return control->fontMetrics().horizontalAdvance(text);
}

// A caption's width and the room it has; of the width, only the text narrows with the stretch.
struct Measure {
    int text = 0;
    int needed = 0;
    int room = 0;
};

Measure measure(const QWidget* control) {
    if (auto* l = qobject_cast<const QLabel*>(control)) {
        if (l->textFormat() == Qt::RichText)
            return {};
        const int text = advance(l, l->text());
        return {text, text, l->contentsRect().width()};
    }
    // A check or radio box's size hint is its indicator, the spacing and its text.
    if (auto* b = qobject_cast<const QAbstractButton*>(control);
        b && (qobject_cast<const QCheckBox*>(b) || qobject_cast<const QRadioButton*>(b)))
        return {advance(b, b->text()), b->sizeHint().width(), b->width()};
    if (auto* b = qobject_cast<const QPushButton*>(control)) {
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        const int text = advance(b, QString(b->text()).remove(QLatin1Char('&')));
        return {text, text, b->width() - 2 * margin};
    }
    if (auto* g = qobject_cast<const QGroupBox*>(control)) {
        const int text = advance(g, QString(g->title()).remove(QLatin1Char('&')));
        return {text, text, g->width()};
    }
    return {};
}

} // namespace

bool CaptionFit::fits(const QWidget* control) {
    const Measure m = measure(control);
    return m.needed <= m.room;
}

void CaptionFit::fitCaption(QWidget* control) {
    const Measure normal = measure(control);
    if (normal.needed <= normal.room)
        return;
    // Every stretch tried loads a font of its own (over a million instructions each), so the
    // search starts where the text's share of the width says the caption fits, and walks from
    // there to the widest stretch that fits: a caption only narrows as its stretch does.
    QFont font = control->font();
    const auto tryStretch = [&](int stretch) {
        font.setStretch(stretch);
        control->setFont(font);
        return fits(control);
    };
    const int overflow = normal.needed - normal.room;
    const int guess = normal.text > 0 ? 100 - (100 * overflow + normal.text - 1) / normal.text : kNarrowest;
    int stretch = std::clamp(guess, kNarrowest, 99);
    if (tryStretch(stretch)) {
        while (stretch < 99 && tryStretch(stretch + 1))
            ++stretch;
    } else {
        while (stretch > kNarrowest && !tryStretch(--stretch)) {
        }
    }
    if (font.stretch() != stretch)
        tryStretch(stretch);
}

void CaptionFit::fitCaptions(QWidget* root) {
    fitCaption(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        fitCaption(child);
}
