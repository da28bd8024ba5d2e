#include "PictureArea.h"

#include "Error.h"
#include "ImageBuffer.h"
#include "PictureAnimation.h"
#include "Screen.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace lumorra {
namespace {

// A region is decoded with this many pixels more on each side than are exposed, so that a
// scroll draws from what was decoded. Wide: a JPEG's rows above a region are decoded to be
// skipped, whatever its width, so more columns cost little and more rows much.
constexpr int RegionMarginX = 2048;
constexpr int RegionMarginY = 256;
// The largest region decoded: a few screens' worth.
constexpr qint64 RegionByteCap = qint64(128) << 20;

int toPixels(double twips, double twipsPerPixel) {
    if (!std::isfinite(twips) || twips > 1e9 || twips < -1e9)
        throw Error::program(errc::Overflow);
    return qMax(0, static_cast<int>(std::lround(twips / twipsPerPixel)));
}

// The picture scaled to `size`. A photo shrunk to no less than half is drawn with a bilinear
// filter into memory of its own, several times faster than Qt's smooth scale and as smooth at
// that ratio; a stronger shrink needs the smooth scale's averaging over all the pixels.
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

PictureArea::PictureArea(const Screen& screen, QWidget* parent) : QWidget(parent), screen_(screen) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

PictureArea::~PictureArea() = default;

void PictureArea::setPicture(const QImage& image, QSize naturalSize,
                             std::function<QImage()> fullLoader, const QByteArray& bytes) {
    stopAnimation();
    image_ = image;
    fullLoader_ = std::move(fullLoader);
    bytes_ = bytes;
    natural_ = naturalSize.isValid() ? naturalSize : image.size();
    cache_ = QPixmap();
    levels_.clear();
    dropRegion();
    if (!stretch_)
        resize(natural_);
    update();
}

const QImage& PictureArea::picture() const {
    if (fullLoader_ && image_.size() != natural_) {
        const std::function<QImage()> load = std::move(fullLoader_);
        fullLoader_ = {};
        QImage full;
        ignoreErrors([&] { full = load(); });
        // The loader decodes the bytes that were shown; a picture it cannot have in full (no
        // memory for it) stays as it is.
        if (full.size() == natural_) {
            image_ = full;
            cache_ = QPixmap();
            levels_.clear();
        }
    }
    return image_;
}

void PictureArea::clearPicture() {
    stopAnimation();
    image_ = QImage();
    fullLoader_ = {};
    bytes_.clear();
    natural_ = QSize();
    cache_ = QPixmap();
    levels_.clear();
    dropRegion();
    update();
}

void PictureArea::playAnimation(const QByteArray& bytes, const QByteArray& format) {
    stopAnimation();
    if (image_.isNull())
        return;
    animation_ = std::make_unique<PictureAnimation>(bytes, format);
    connect(animation_.get(), &PictureAnimation::frameReady, this, &PictureArea::showFrame);
    if (!animation_->shownFrame().isNull())
        showFrame(animation_->shownFrame());
    if (isVisible())
        animation_->resume();
}

void PictureArea::stopAnimation() {
    animation_.reset();
}

void PictureArea::showFrame(const QImage& frame) {
    image_ = frame;
    cache_ = QPixmap();
    levels_.clear();
    dropRegion();
    update();
    emit frameShown(frame);
}

void PictureArea::setStretch(bool on) {
    stretch_ = on;
    if (!on && natural_.isValid())
        resize(natural_);
    update();
}

double PictureArea::widthTwips() const {
    return width() * screen_.twipsPerPixelX();
}
double PictureArea::heightTwips() const {
    return height() * screen_.twipsPerPixelY();
}

void PictureArea::setWidthTwips(double twips) {
    resize(toPixels(twips, screen_.twipsPerPixelX()), height());
}

void PictureArea::setHeightTwips(double twips) {
    resize(width(), toPixels(twips, screen_.twipsPerPixelY()));
}

const QPixmap& PictureArea::drawnFor(QSize size) {
    if (cache_.size() != size) {
        QImage drawn;
        ignoreErrors([&] { drawn = renderer(size); });
        cache_ = QPixmap::fromImage(drawn);
    }
    return cache_;
}

const QImage& PictureArea::levelFor(QSize device) {
    // Shown larger than the reduced image holds: draw from the full picture.
    if (device.width() > image_.width() || device.height() > image_.height())
        picture();
    // Halvings of the picture, made once each: a shrink draws from the smallest that still has
    // at least the pixels shown, so that the filter never skips pixels.
    const QImage* level = &image_;
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

void PictureArea::paintEvent(QPaintEvent* event) {
    if (image_.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter p(this);
    // Without stretch the picture stands at its natural size; a bigger area shows it once at
    // the top left, as the area never is bigger than the picture then.
    const QSize target = stretch_ ? size() : natural_;
    // Only what is exposed is drawn, however large the zoomed picture: its place in a scroll
    // area or on the screen decides how much of it is painted.
    const QRect exposed = event->rect() & QRect(QPoint(0, 0), target);
    if (exposed.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    if (renderer) {
        // Drawn at the screen's own resolution, which a scaled desktop makes finer than the
        // area's size says.
        const QPixmap& drawn = drawnFor((QSizeF(target) * ratio).toSize());
        if (!drawn.isNull()) {
            p.drawPixmap(QRectF(exposed), drawn,
                         QRectF(exposed.x() * ratio, exposed.y() * ratio, exposed.width() * ratio,
                                exposed.height() * ratio));
            return;
        }
    }
    const QImage& source = levelFor(target * ratio);
    if (regionLoader && source.size() != natural_ &&
        (target.width() * ratio > source.width() || target.height() * ratio > source.height()) &&
        drawRegion(p, exposed, target))
        return;
    const double sx = double(source.width()) / target.width();
    const double sy = double(source.height()) / target.height();
    if (source.size() == target * ratio) {
        p.drawImage(exposed, source,
                    QRectF(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                           exposed.height() * sy));
        return;
    }
    // Enlarged four times or more the pixels are shown as blocks, as a user zooming in on
    // detail wants to see them; less than that is filtered.
    const bool blocks = target.width() * ratio >= 4.0 * source.width();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !blocks);
    p.drawImage(
        QRectF(exposed), source,
        QRectF(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx, exposed.height() * sy));
}

bool PictureArea::drawRegion(QPainter& p, const QRect& exposed, QSize target) {
    const double sx = double(natural_.width()) / target.width();
    const double sy = double(natural_.height()) / target.height();
    const QRectF wanted(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                        exposed.height() * sy);
    const QRect picture(QPoint(0, 0), natural_);
    const QRect needed = wanted.toAlignedRect() & picture;
    if (needed.isEmpty())
        return false;
    if (!regionRect_.contains(needed)) {
        const QRect around =
            needed.adjusted(-RegionMarginX, -RegionMarginY, RegionMarginX, RegionMarginY) & picture;
        // A grab of the whole area, say, is no view of a region: the reduced image serves.
        if (qint64(around.width()) * around.height() * 4 > RegionByteCap)
            return false;
        QImage decoded;
        ignoreErrors([&] { decoded = regionLoader(around); });
        if (decoded.size() != around.size())
            return false;
        region_ = decoded;
        regionRect_ = around;
    }
    // Pixels enlarged four times or more are shown as blocks, as from the full picture.
    const bool blocks = target.width() * devicePixelRatioF() >= 4.0 * natural_.width();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !blocks);
    p.drawImage(QRectF(exposed), region_, wanted.translated(-regionRect_.topLeft()));
    return true;
}

void PictureArea::dropRegion() {
    region_ = QImage();
    regionRect_ = QRect();
}

// A hidden area, or one in a hidden window, keeps no timer running.
void PictureArea::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (animation_)
        animation_->resume();
}

void PictureArea::hideEvent(QHideEvent* event) {
    if (animation_)
        animation_->pause();
    QWidget::hideEvent(event);
}

void PictureArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

} // namespace lumorra
