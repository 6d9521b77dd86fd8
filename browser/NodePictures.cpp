#include "NodePictures.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap canvas() {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return p;
}

QPixmap folder(bool open) {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(255, 220, 80));
    p.drawRect(1, 3, 6, 2); // tab
    if (open) {
        p.drawRect(1, 5, 12, 8);
        p.setBrush(QColor(255, 240, 150));
        const QPoint flap[] = {QPoint(3, 8), QPoint(15, 8), QPoint(13, 13), QPoint(1, 13)};
        p.drawPolygon(flap, 4);
    } else {
        p.drawRect(1, 5, 13, 8);
    }
    return pixmap;
}

QPixmap sheet() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setPen(QColor(96, 96, 96));
    p.setBrush(Qt::white);
    p.drawRect(3, 1, 10, 14);
    p.setPen(QColor(0, 192, 192));
    for (int y = 4; y <= 12; y += 2)
        p.drawLine(5, y, 11, y);
    return pixmap;
}

QPixmap openBook() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(0, 3, 16, 11);
    p.setBrush(Qt::white);
    p.drawRect(1, 4, 6, 8);
    p.drawRect(9, 4, 6, 8);
    return pixmap;
}

} // namespace

QIcon NodePictures::icon(int index) {
    switch (index) {
    case ClosedFolder: return QIcon(folder(false));
    case OpenFolder: return QIcon(folder(true));
    case Sheet: return QIcon(sheet());
    default: return QIcon(openBook());
    }
}

int NodePictures::selected(int index) {
    switch (index) {
    case ClosedFolder: return OpenFolder;
    case Sheet: return OpenBook;
    default: return index;
    }
}
