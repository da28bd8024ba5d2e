#pragma once

#include "MoviePlayer.h"

#include <QWidget>

namespace lumorra {

// The movie control of the main window and of the Vivo player window: a MoviePlayer shown as a
// widget. It paints the player's frames scaled to its size and passes the player's properties,
// commands and signals on as its own (see MoviePlayer for what they mean).
class MovieControl : public QWidget {
    Q_OBJECT

public:
    using Sound = MoviePlayer::Sound;

    explicit MovieControl(QWidget* parent = nullptr, Sound sound = Sound::Desktop);

    void setFileName(const QString& path) { player_->setFileName(path); }
    QString fileName() const { return player_->fileName(); }
    void setRate(double rate) { player_->setRate(rate); }
    double rate() const { return player_->rate(); }
    void play() { player_->play(); }
    void pause() { player_->pause(); }
    bool isPaused() const { return player_->isPaused(); }
    void restart() { player_->restart(); }
    double duration() const { return player_->duration(); }
    double position() const { return player_->position(); }
    QSize naturalSize() const { return player_->naturalSize(); }
    bool isLoaded() const { return player_->isLoaded(); }
    std::optional<Error> loadError() const { return player_->loadError(); }
    bool waitUntilLoaded(int timeoutMs) { return player_->waitUntilLoaded(timeoutMs); }
    QList<QPair<QString, QString>> info() const { return player_->info(); }
    const QImage& frame() const { return player_->frame(); }

    QSize sizeHint() const override;

signals:
    void loaded();
    void started();
    void failed(const lumorra::Error& error);
    void ended();
    void naturalSizeChanged(QSize size);
    void durationChanged(double seconds);
    void positionChanged(double seconds);
    void playStateChanged(bool paused);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A child of the control, so it goes with it.
    MoviePlayer* player_;
};

} // namespace lumorra
