#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace gf {

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Tile.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x8c));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // Chip body with four pins on each side.
    p.setBrush(QColor(0xd8, 0xe2, 0xee));
    for (int i = 0; i < 4; ++i) {
        const double y = 19 + i * 8;
        p.drawRect(QRectF(10, y, 6, 3));
        p.drawRect(QRectF(48, y, 6, 3));
    }
    p.setBrush(QColor(0x2b, 0x2b, 0x33));
    p.drawRoundedRect(QRectF(15, 14, 34, 36), 3, 3);

    // Lightning bolt: the flash.
    const QPolygonF bolt({QPointF(35, 17), QPointF(23, 34), QPointF(31, 34), QPointF(27, 47),
                          QPointF(41, 28), QPointF(33, 28), QPointF(37, 17)});
    p.setBrush(QColor(0xff, 0xc8, 0x1e));
    p.drawPolygon(bolt);
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(AppIconPixmap(size));
    return icon;
}

}  // namespace gf
