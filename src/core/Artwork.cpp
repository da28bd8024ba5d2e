#include "Artwork.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace lumorra {

QImage productArtworkImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF frame(s * 0.06, s * 0.12, s * 0.88, s * 0.76);

    QLinearGradient sky(frame.topLeft(), frame.bottomLeft());
    sky.setColorAt(0, QColor(0x2a, 0x5d, 0xb0));
    sky.setColorAt(1, QColor(0xa8, 0xd8, 0xf0));
    QPainterPath clip;
    clip.addRoundedRect(frame, s * 0.06, s * 0.06);
    p.setClipPath(clip);
    p.fillRect(frame, sky);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x4a));
    p.drawEllipse(QPointF(frame.left() + frame.width() * 0.72, frame.top() + frame.height() * 0.3),
                  s * 0.09, s * 0.09);

    QPainterPath hills;
    hills.moveTo(frame.bottomLeft());
    hills.lineTo(frame.left(), frame.top() + frame.height() * 0.75);
    hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.42);
    hills.lineTo(frame.left() + frame.width() * 0.6, frame.top() + frame.height() * 0.7);
    hills.lineTo(frame.left() + frame.width() * 0.78, frame.top() + frame.height() * 0.55);
    hills.lineTo(frame.right(), frame.top() + frame.height() * 0.8);
    hills.lineTo(frame.bottomRight());
    hills.closeSubpath();
    QLinearGradient green(frame.topLeft(), frame.bottomLeft());
    green.setColorAt(0.4, QColor(0x4c, 0xa6, 0x4c));
    green.setColorAt(1, QColor(0x1e, 0x5e, 0x2a));
    p.setBrush(green);
    p.drawPath(hills);

    // Film strip along the bottom edge: the viewer plays animations too.
    const QRectF strip(frame.left(), frame.bottom() - s * 0.14, frame.width(), s * 0.14);
    p.setBrush(QColor(0x20, 0x20, 0x28, 230));
    p.drawRect(strip);
    p.setBrush(QColor(0xee, 0xee, 0xee));
    const int holes = 7;
    for (int i = 0; i < holes; ++i) {
        const qreal x = strip.left() + (i + 0.5) * strip.width() / holes - s * 0.025;
        p.drawRoundedRect(QRectF(x, strip.top() + s * 0.045, s * 0.05, s * 0.05), s * 0.01,
                          s * 0.01);
    }
    p.setClipping(false);
    p.setPen(QPen(QColor(0x30, 0x30, 0x40), qMax<qreal>(1.0, s * 0.02)));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, s * 0.06, s * 0.06);
    return image;
}

QPixmap productArtwork(int size) {
    return QPixmap::fromImage(productArtworkImage(size));
}

QLabel* titleLabel(const char* name, const QString& text, int pointSize, bool bold,
                   QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = l->font();
    f.setPointSize(pointSize);
    f.setBold(bold);
    l->setFont(f);
    return l;
}

QLabel* pictureLabel(const char* name, int size, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setPixmap(productArtwork(size));
    l->setFixedSize(size, size);
    return l;
}

std::vector<QImage> programIconImages() {
    std::vector<QImage> images;
    for (int size : {16, 22, 32, 48, 64, 128})
        images.push_back(productArtworkImage(size));
    return images;
}

QIcon programIcon(const std::vector<QImage>& images) {
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

} // namespace lumorra
