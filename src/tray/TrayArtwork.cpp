#include "TrayArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace lumorra::tray {
namespace {

// The closed outline through these points, in their order.
QPainterPath closedPath(std::initializer_list<QPointF> points) {
    QPainterPath path;
    for (const QPointF& point : points) {
        if (path.elementCount() == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

} // namespace

QPixmap drawTrayPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64 x 64 grid and scaled to the wanted size.
    p.scale(size / 64.0, size / 64.0);

    // Frame
    p.setPen(QPen(QColor(0x1d, 0x2f, 0x57), 3));
    p.setBrush(QColor(0xf4, 0xf1, 0xe8));
    p.drawRoundedRect(QRectF(4, 8, 56, 48), 6, 6);

    // Sky
    const QRectF picture(10, 14, 44, 36);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0, QColor(0x5d, 0xa9, 0xe9));
    sky.setColorAt(1, QColor(0xc6, 0xe6, 0xfb));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(picture);

    // Sun
    p.setBrush(QColor(0xff, 0xc8, 0x2e));
    p.drawEllipse(QPointF(42, 23), 5, 5);

    // Hills
    const QPainterPath hills =
        closedPath({{10, 50}, {10, 40}, {22, 28}, {32, 38}, {38, 33}, {54, 46}, {54, 50}});
    p.setBrush(QColor(0x3c, 0x8d, 0x4a));
    p.drawPath(hills);

    // Play mark for the animations, on a round badge at the lower right
    p.setPen(QPen(Qt::white, 2.5));
    p.setBrush(QColor(0xd2, 0x3c, 0x2a));
    p.drawEllipse(QPointF(48, 48), 12, 12);
    const QPainterPath play = closedPath({{44, 41.5}, {55, 48}, {44, 54.5}});
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(play);
    return pixmap;
}

QIcon makeTrayIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(drawTrayPixmap(size));
    return icon;
}

} // namespace lumorra::tray
