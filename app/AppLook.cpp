#include "AppLook.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

class StarMaskStyle : public QProxyStyle {
public:
    // Over the style the rest of the window uses, so that the box looks like its neighbours.
    StarMaskStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QFont AppLook::font(const QString& family, int pixelHeight, bool bold, bool underline) {
    QFont f(family);
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

void AppLook::installFontSubstitutions() {
    QFont::insertSubstitutions(QStringLiteral("黑体"), {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("DejaVu Sans")});
}

void AppLook::maskWithStars(QLineEdit* edit) {
    auto* style = new StarMaskStyle; // owned by the box below; the box holds it by a guarded pointer
    style->setParent(edit);
    edit->setStyle(style);
}

QIcon AppLook::windowIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    // A database drum: three stacked discs.
    p.setPen(QColor(0, 0, 128));
    p.setBrush(QColor(0, 128, 192));
    p.drawRect(4, 8, 18, 18);
    for (int y : {6, 12, 18, 24})
        p.drawEllipse(4, y, 18, 5);
    // A green arrow: a backup going out.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(20, 14, 6, 4);
    const QPoint head[] = {QPoint(25, 10), QPoint(31, 16), QPoint(25, 22)};
    p.drawPolygon(head, 3);
    return QIcon(pixmap);
}
