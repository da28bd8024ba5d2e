#include "PictureAnimation.h"

#include "picture/ImageBuffer.h"
#include "platform/Error.h"

#include <QImageReader>
#include <QPointer>

namespace lumorra {
namespace {

int frameDelay(int delay) {
    return delay < PictureAnimation::MinimumDelay ? PictureAnimation::DefaultDelay : delay;
}

} // namespace

PictureAnimation::PictureAnimation(const QByteArray& bytes, const QByteArray& format,
                                   QObject* parent)
    : QObject(parent), bytes_(bytes), format_(format) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PictureAnimation::advance);
    buffer_.setData(bytes_);
    openReader();
    // Qt's reader gives the loop count as QMovie counts it: further passes after the first, -1
    // for ever, 0 for a single pass.
    loops_ = reader_->loopCount();
    decodeNext();
    shown_ = next_;
    shownDelay_ = nextDelay_;
    decodeNext();
}

PictureAnimation::~PictureAnimation() = default;

void PictureAnimation::openReader() {
    reader_.reset();
    buffer_.close();
    buffer_.open(QIODevice::ReadOnly);
    reader_ = std::make_unique<QImageReader>(&buffer_, format_);
    reader_->setAutoDetectImageFormat(false); // only the format's own plugin is loaded
    reader_->setAutoTransform(true);
    framesInPass_ = 0;
}

void PictureAnimation::decodeNext() {
    next_ = QImage();
    ignoreErrors([&] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            QImage image;
            if (reader_->canRead() && reader_->read(&image) && !image.isNull()) {
                next_ = toDisplayFormat(image);
                nextDelay_ = frameDelay(reader_->nextImageDelay());
                ++framesInPass_;
                return;
            }
            // The end of a pass, or a frame too damaged to show: the frames before it are
            // played again when another pass is due. A pass of one frame has nothing to play.
            if (framesInPass_ < 2 || (loops_ >= 0 && repeats_ >= loops_))
                return;
            ++repeats_;
            openReader();
        }
    });
}

void PictureAnimation::resume() {
    resumed_ = true;
    if (timer_.isActive() || next_.isNull())
        return;
    timer_.start(pendingDelay_ >= 0 ? pendingDelay_ : shownDelay_);
    pendingDelay_ = -1;
}

void PictureAnimation::pause() {
    resumed_ = false;
    if (!timer_.isActive())
        return;
    pendingDelay_ = qMax(0, timer_.remainingTime());
    timer_.stop();
}

void PictureAnimation::advance() {
    shown_ = next_;
    shownDelay_ = nextDelay_;
    next_ = QImage();
    // The view lets go of the frame before this one: two frames at most, the next decoded
    // after the one shown.
    const QPointer<PictureAnimation> alive(this);
    emit frameReady(shown_);
    if (!alive)
        return;
    // The frame's delay runs from its showing; the decode takes part of it.
    if (resumed_)
        timer_.start(shownDelay_);
    decodeNext();
    if (next_.isNull())
        timer_.stop();
}

} // namespace lumorra
