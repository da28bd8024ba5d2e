#include "PictureArea.h"

#include "Error.h"
#include "ImageBuffer.h"
#include "PictureAnimation.h"
#include "Screen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace lumorra {
namespace {

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

PictureArea::PictureArea(const Screen& screen, QWidget* parent)
    : QWidget(parent), screen_(screen) {}

PictureArea::~PictureArea() {
    // Regions decoded ahead are waited for: their loaders may use what outlives the area only.
    dropRegion();
    for (std::future<QImage>& f : abandoned_)
        f.wait();
}

void PictureArea::setPicture(const QImage& image, QSize naturalSize,
                             std::function<QImage()> fullLoader, const QByteArray& bytes) {
    stopAnimation();
    image_ = image;
    setAttribute(Qt::WA_OpaquePaintEvent, !image.hasAlphaChannel());
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

QImage PictureArea::picture() const {
    if (fullLoader_ && image_.size() != natural_ && regionLoader) {
        // Drawn from regions: the full picture is the asker's, for as long as it needs it.
        QImage full;
        ignoreErrors([&] { full = fullLoader_(); });
        return full.size() == natural_ ? full : image_;
    }
    // A loader is given only for a picture not decoded in full: reduced, or a camera RAW's
    // preview, which may have the natural size.
    if (fullLoader_) {
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
    setAttribute(Qt::WA_OpaquePaintEvent, false);
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
    setAttribute(Qt::WA_OpaquePaintEvent, !frame.hasAlphaChannel());
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
    // Shown larger than the reduced image holds, or at the natural size or more: draw from the
    // full picture, unless it is drawn from regions (the reduced image then stands in where no
    // region can be had).
    if (!regionLoader && fullLoader_ &&
        (device.width() > image_.width() || device.height() > image_.height() ||
         device.width() >= natural_.width() || device.height() >= natural_.height()))
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
    QPainter p(this);
    // Without stretch the picture stands at its natural size; a bigger area shows it once at
    // the top left, as the area never is bigger than the picture then.
    const QSize target = stretch_ ? size() : natural_;
    // An opaque photo covers what it is drawn on, so the window draws no background under it
    // (a zoomed view repaints a screenful at each step); what it leaves bare is filled here.
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        QRegion bare = event->region();
        if (!image_.isNull() && !renderer && !image_.hasAlphaChannel())
            bare -= QRect(QPoint(0, 0), target);
        const QWidget* under = parentWidget() ? parentWidget() : this;
        for (const QRect& r : bare)
            p.fillRect(r, under->palette().color(under->backgroundRole()));
    }
    if (image_.isNull() || width() <= 0 || height() <= 0)
        return;
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
    if (regionLoader && image_.size() != natural_ &&
        (target.width() * ratio > image_.width() || target.height() * ratio > image_.height()) &&
        drawRegion(p, exposed, target))
        return;
    const QImage& source = levelFor(target * ratio);
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
    const auto inPicture = [&](const QRect& r) {
        return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
    };
    const QRectF wanted = inPicture(exposed);
    const QRect picture(QPoint(0, 0), natural_);
    const QRect needed = wanted.toAlignedRect() & picture;
    if (needed.isEmpty())
        return false;
    // What the screen shows of the area, of which the exposed part may be a strip a scroll
    // uncovered; a grab of a part off the screen is a view of its own.
    const QRect visible = inPicture(visibleRegion().boundingRect()).toAlignedRect() & picture;
    const QRect view = visible.intersects(needed) ? visible.united(needed) : needed;
    if (!regionRect_.contains(needed))
        takeAhead(needed);
    if (!regionRect_.contains(needed)) {
        QRect around = regionAround(view);
        // A grab of the whole area, say, is no view of a region: the reduced image serves.
        if (qint64(around.width()) * around.height() * 4 > RegionByteCap)
            around = needed;
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
    // Once this paint is on the screen: a thread started now would slow its last steps.
    const bool scheduled = aheadView_.isValid();
    aheadView_ = view;
    if (!scheduled)
        QTimer::singleShot(0, this, [this] {
            const QRect v = aheadView_;
            aheadView_ = QRect();
            if (v.isValid() && regionLoader && image_.size() != natural_)
                decodeAhead(v);
        });
    return true;
}

QRect PictureArea::regionAround(const QRect& view) const {
    // A JPEG's rows above a region are decoded to be skipped whatever its width, so more rows
    // below cost much and more columns little: a screen above and below, half a screen aside.
    const int mx = qMax(256, view.width() / 2);
    const int my = qMax(256, view.height());
    return view.adjusted(-mx, -my, mx, my) & QRect(QPoint(0, 0), natural_);
}

void PictureArea::decodeAhead(const QRect& view) {
    if (ahead_.valid())
        return;
    const QRect picture(QPoint(0, 0), natural_);
    // Near an edge of the region held, a quarter of a screen from it, where the picture goes
    // on beyond it.
    const int qx = view.width() / 4, qy = view.height() / 4;
    const QRect held = regionRect_;
    const bool near = (view.left() - held.left() < qx && held.left() > 0) ||
                      (held.right() - view.right() < qx && held.right() < picture.right()) ||
                      (view.top() - held.top() < qy && held.top() > 0) ||
                      (held.bottom() - view.bottom() < qy && held.bottom() < picture.bottom());
    if (!near)
        return;
    const QRect around = regionAround(view);
    if (qint64(around.width()) * around.height() * 4 > RegionByteCap || held.contains(around))
        return;
    aheadRect_ = around;
    ahead_ = std::async(std::launch::async, [load = regionLoader, around] {
        QImage decoded;
        ignoreErrors([&] { decoded = load(around); });
        return decoded;
    });
    // The region is taken at the next paint that needs it, or once it is there.
    QTimer* poll = new QTimer(this);
    poll->setInterval(15);
    connect(poll, &QTimer::timeout, this, [this, poll] {
        if (!ahead_.valid() ||
            ahead_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            poll->deleteLater();
            if (ahead_.valid())
                takeAhead(QRect());
        }
    });
    poll->start();
}

void PictureArea::takeAhead(const QRect& needed) {
    if (!ahead_.valid())
        return;
    if (!aheadRect_.contains(needed) &&
        ahead_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    QImage decoded = ahead_.get();
    if (decoded.size() == aheadRect_.size()) {
        region_ = std::move(decoded);
        regionRect_ = aheadRect_;
    }
}

void PictureArea::dropRegion() {
    // A new picture does not wait for the last one's region.
    std::erase_if(abandoned_, [](const std::future<QImage>& f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    if (ahead_.valid())
        abandoned_.push_back(std::move(ahead_));
    ahead_ = {};
    aheadView_ = QRect();
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
