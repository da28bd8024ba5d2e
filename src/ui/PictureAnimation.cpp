#include "PictureAnimation.h"

#include "picture/FrameDecoder.h"

#include <QPointer>

namespace lumorra {
namespace {

int frameDelay(int delay) {
    return delay < PictureAnimation::MinimumDelay ? PictureAnimation::DefaultDelay : delay;
}

} // namespace

PictureAnimation::PictureAnimation(picture::DecoderPool& pool, const QByteArray& bytes,
                                   const QByteArray& format, const ColourTransforms* colour,
                                   int first, int repeats, QObject* parent)
    : QObject(parent), pool_(pool), bytes_(bytes), format_(format), colour_(colour),
      frames_(std::make_unique<FrameDecoder>(pool, bytes_, colour, first, repeats)),
      nextRepeats_(qMax(0, repeats)), nextIndex_(qMax(0, first) - 1) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PictureAnimation::advance);
    decodeNext();
    shown_ = next_;
    shownDelay_ = nextDelay_;
    repeats_ = nextRepeats_;
    shownIndex_ = qMax(0, nextIndex_);
    decodeNext();
}

PictureAnimation::~PictureAnimation() = default;

void PictureAnimation::decodeNext() {
    const AnimationFrame frame = frames_->next();
    next_ = frame.image;
    if (next_.isNull())
        return;
    nextDelay_ = frameDelay(frame.delay);
    if (frame.repeats != nextRepeats_) {
        nextRepeats_ = frame.repeats;
        nextIndex_ = 0;
    } else {
        ++nextIndex_;
    }
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
    repeats_ = nextRepeats_;
    shownIndex_ = nextIndex_;
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
