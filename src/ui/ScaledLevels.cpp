#include "ScaledLevels.h"

#include "picture/ImageBuffer.h"

#include <QPainter>

namespace lumorra {
namespace {

// The picture scaled to `size`. A photo shrunk to no less than half is drawn with a bilinear filter
// into memory of its own, several times faster than Qt's smooth scale and as smooth at that ratio;
// a stronger shrink needs the smooth scale's averaging over all the pixels.
QImage scaledImage(const QImage& image, QSize size) {
    if (image.format() == QImage::Format_RGB32 && size.width() * 2 >= image.width() &&
        size.height() * 2 >= image.height()) {
        QImage drawn = newImage(size, QImage::Format_RGB32);
        if (!drawn.isNull()) {
            QPainter p(&drawn);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(QPoint(0, 0), size), image);
            return drawn;
        }
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

void ScaledLevels::follow(const QImage& image) {
    if (image.cacheKey() != key_) {
        clear();
        key_ = image.cacheKey();
    }
}

const QImage& ScaledLevels::levelFor(const QImage& image, QSize device) {
    follow(image);
    if (!drawn_.isNull() && drawn_.size() == device)
        return drawn_;
    // Halvings made once each, each from the one before.
    const QImage* level = &image;
    for (std::size_t i = 0;; ++i) {
        const QSize half(level->width() / 2, level->height() / 2);
        if (half.width() < device.width() || half.height() < device.height() || half.isEmpty())
            return *level;
        if (i == levels_.size()) {
            QImage next = scaledImage(*level, half);
            if (next.isNull())
                return *level;
            levels_.push_back(std::move(next));
        }
        level = &levels_[i];
    }
}

QImage ScaledLevels::drawnAt(const QImage& image, QSize device) {
    if (image.format() != QImage::Format_RGB32 || device.isEmpty() ||
        device.width() > image.width() || device.height() > image.height())
        return QImage();
    ScaledLevels levels;
    const QImage& level = levels.levelFor(image, device);
    // A paint draws a level of another size with the filter, as scaledImage() does.
    return level.size() == device ? level : scaledImage(level, device);
}

void ScaledLevels::offer(const QImage& image, const QImage& drawn) {
    follow(image);
    drawn_ = drawn;
}

void ScaledLevels::clear() {
    levels_.clear();
    drawn_ = QImage();
    key_ = 0;
}

} // namespace lumorra
