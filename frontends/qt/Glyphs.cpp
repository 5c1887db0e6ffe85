#include "frontends/qt/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zelfin::qt {
namespace {

// A downward arrow into a bar: new firmware going into the chip.
QPixmap arrowImage(int size, const QColor& arrow, const QColor& bar) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    QPainterPath path;
    path.moveTo(6 * u, 1 * u);
    path.lineTo(10 * u, 1 * u);
    path.lineTo(10 * u, 7 * u);
    path.lineTo(13 * u, 7 * u);
    path.lineTo(8 * u, 12 * u);
    path.lineTo(3 * u, 7 * u);
    path.lineTo(6 * u, 7 * u);
    path.closeSubpath();
    p.fillPath(path, arrow);
    p.fillRect(QRectF(2 * u, 13 * u, 12 * u, 2 * u), bar);
    return image;
}

} // namespace

QIcon updateGlyph() {
    QIcon icon;
    icon.addPixmap(arrowImage(16, QColor(0, 128, 0), QColor(0, 0, 128)), QIcon::Normal);
    icon.addPixmap(arrowImage(16, QColor(160, 160, 160), QColor(160, 160, 160)), QIcon::Disabled);
    return icon;
}

QIcon programIcon() {
    QPixmap image(48, 48);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(200, 205, 215));
    p.setPen(QPen(QColor(90, 90, 110), 2));
    p.drawEllipse(QRectF(3, 3, 42, 42));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(19, 19, 10, 10));
    p.drawPixmap(18, 16, arrowImage(28, QColor(0, 128, 0), QColor(0, 0, 128)));
    return QIcon(image);
}

} // namespace zelfin::qt
