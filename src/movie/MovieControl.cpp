#include "MovieControl.h"

#include <QPaintEvent>
#include <QPainter>

namespace lumorra {

MovieControl::MovieControl(QWidget* parent, Sound sound)
    : QWidget(parent), player_(new MoviePlayer(sound, this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    MoviePlayer* p = player_;
    connect(p, &MoviePlayer::frameReady, this, qOverload<>(&QWidget::update));
    connect(p, &MoviePlayer::naturalSizeChanged, this, [this](QSize size) {
        // The layout asks for the new size before anyone hears of it.
        updateGeometry();
        emit naturalSizeChanged(size);
    });
    connect(p, &MoviePlayer::loaded, this, &MovieControl::loaded);
    connect(p, &MoviePlayer::started, this, &MovieControl::started);
    connect(p, &MoviePlayer::failed, this, &MovieControl::failed);
    connect(p, &MoviePlayer::ended, this, &MovieControl::ended);
    connect(p, &MoviePlayer::durationChanged, this, &MovieControl::durationChanged);
    connect(p, &MoviePlayer::positionChanged, this, &MovieControl::positionChanged);
    connect(p, &MoviePlayer::playStateChanged, this, &MovieControl::playStateChanged);
}

// The player's own image, drawn as it is: no copy of a frame is made to show it.
void MovieControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& frame = player_->frame();
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), frame);
}

QSize MovieControl::sizeHint() const {
    const QSize natural = player_->naturalSize();
    return natural.isValid() ? natural : QWidget::sizeHint();
}

} // namespace lumorra
