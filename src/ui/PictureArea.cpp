#include "PictureArea.h"

#include "PictureAnimation.h"
#include "picture/ShownPicture.h"
#include "platform/Error.h"
#include "platform/Screen.h"
#include "platform/StartupProfile.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>

#include <cmath>

namespace lumorra {
namespace {

int toPixels(double twips, double twipsPerPixel) {
    if (!std::isfinite(twips) || twips > 1e9 || twips < -1e9)
        throw Error::program(errc::Overflow);
    return qMax(0, static_cast<int>(std::lround(twips / twipsPerPixel)));
}

} // namespace

PictureArea::PictureArea(const Screen& screen, QWidget* parent)
    : QWidget(parent), screen_(screen) {}

// The region cache waits for the regions still being decoded: their loaders may use what
// outlives the area only.
PictureArea::~PictureArea() = default;

PictureArea::Source PictureArea::sourceOf(const std::shared_ptr<const ShownPicture>& picture) {
    Source source;
    if (!picture)
        return source;
    if (picture->isDrawn())
        source.renderer = [picture](QSize size) { return picture->drawn(size); };
    if (picture->hasFull())
        source.fullLoader = [picture] { return picture->full(); };
    if (picture->hasRegions())
        source.regionLoader = [picture](QRect region) { return picture->region(region); };
    return source;
}

void PictureArea::setPicture(std::shared_ptr<const ShownPicture> picture) {
    if (!picture) {
        clearPicture();
        return;
    }
    setPicture(picture->image(), picture->naturalSize(), sourceOf(picture));
    shown_ = std::move(picture);
}

void PictureArea::setPicture(const QImage& image, QSize naturalSize, Source source) {
    stopAnimation();
    shown_.reset();
    image_ = image;
    setAttribute(Qt::WA_OpaquePaintEvent, !image.hasAlphaChannel());
    renderer = std::move(source.renderer);
    fullLoader_ = std::move(source.fullLoader);
    natural_ = naturalSize.isValid() ? naturalSize : image.size();
    forgetDrawn();
    regions_.setPicture(natural_, std::move(source.regionLoader));
    if (!stretch_)
        resize(natural_);
    update();
}

QImage PictureArea::picture() const {
    // Drawn from regions: the full picture is the asker's, for as long as it needs it.
    if (fullLoader_ && image_.size() != natural_ && regions_.loader())
        return fullPicture();
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

void PictureArea::offerDrawing(const QImage& drawn) {
    if (!drawn.isNull() && !image_.isNull())
        levels_.offer(image_, drawn);
}

QImage PictureArea::fullPicture() const {
    if (!fullLoader_)
        return image_;
    QImage full;
    ignoreErrors([&] { full = fullLoader_(); });
    return full.size() == natural_ ? full : image_;
}

void PictureArea::clearPicture() {
    stopAnimation();
    image_ = QImage();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    renderer = {};
    fullLoader_ = {};
    shown_.reset();
    natural_ = QSize();
    forgetDrawn();
    regions_.setPicture(QSize(), {});
    update();
}

void PictureArea::playAnimation(picture::DecoderPool& pool, const QByteArray& bytes,
                                const QByteArray& format, const ColourTransforms* colour) {
    if (image_.isNull())
        return stopAnimation();
    startAnimation(std::make_unique<PictureAnimation>(pool, bytes, format, colour));
}

void PictureArea::playAnimation(const PictureAnimation& from) {
    if (image_.isNull())
        return stopAnimation();
    // A copy of what `from` holds: it may end before this one.
    const QByteArray bytes = from.bytes();
    startAnimation(std::make_unique<PictureAnimation>(
        from.pool(), bytes, from.format(), from.colour(), from.shownIndex(), from.repeats()));
}

void PictureArea::startAnimation(std::unique_ptr<PictureAnimation> animation) {
    stopAnimation();
    if (image_.isNull())
        return;
    animation_ = std::move(animation);
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
    forgetDrawn();
    regions_.dropRegions();
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
    if (!regions_.loader() && fullLoader_ &&
        (device.width() > image_.width() || device.height() > image_.height() ||
         device.width() >= natural_.width() || device.height() >= natural_.height()))
        picture();
    return levels_.levelFor(image_, device);
}

void PictureArea::paintEvent(QPaintEvent* event) {
    if (!image_.isNull())
        profile::markOnce("picture paint");
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
    if (regions_.loader() && image_.size() != natural_ &&
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
    const QImage* region = regions_.regionFor(needed, view);
    if (!region)
        return false;
    // Pixels enlarged four times or more are shown as blocks, as from the full picture.
    const bool blocks = target.width() * devicePixelRatioF() >= 4.0 * natural_.width();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !blocks);
    p.drawImage(QRectF(exposed), *region, wanted.translated(-regions_.heldRect().topLeft()));
    // Once this paint is on the screen: a thread started now would slow its last steps.
    const bool scheduled = aheadView_.isValid();
    aheadView_ = view;
    if (!scheduled)
        QTimer::singleShot(0, this, [this] {
            const QRect v = aheadView_;
            aheadView_ = QRect();
            if (v.isValid() && regions_.loader() && image_.size() != natural_)
                regions_.decodeAhead(v);
        });
    return true;
}

void PictureArea::forgetDrawn() {
    cache_ = QPixmap();
    levels_.clear();
    aheadView_ = QRect();
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
