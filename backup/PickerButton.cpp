#include "PickerButton.h"

#include "TFlatButtonUnit.h"

#include <QPainter>

QImage treeGlyph() {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 64, 0)); // trunk
    p.drawRect(7, 10, 2, 5);
    p.setBrush(QColor(0, 160, 0)); // crown
    p.drawEllipse(3, 1, 10, 10);
    p.setBrush(QColor(0, 112, 0));
    p.drawEllipse(5, 3, 4, 4);
    return image;
}

void setupPickerButton(TFlatButton* button) {
    button->resize(18, 19);
    button->setColorBorder(clBtnFace);
    button->setColorShadow(clBtnFace);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::WindowText, ColorToQColor(10839636, palette));
    button->setPalette(palette);
    button->setGlyph(treeGlyph());
}
