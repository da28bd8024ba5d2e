#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>

struct mpv_handle;
struct mpv_render_context;
struct mpv_event;
struct mpv_event_property;

namespace lumorra {

// Plays a movie file (anything FFmpeg knows, Vivo included) with libmpv, without a widget: its
// software renderer draws each frame into a QImage that a view shows as it is.
//
// Everything happens on the UI thread: libmpv's callbacks only post queued calls to it.
//
// A load is asynchronous: setFileName() returns at once, and then either loaded() and started()
// follow, or failed() exactly once, never from inside setFileName(). Events of a file that was
// replaced by a later setFileName() are never reported. Files of a single picture fail like
// files of no known format. At the end the last frame stays and ended() is sent.
class MoviePlayer : public QObject {
    Q_OBJECT

public:
    // Sound goes to the desktop's audio output; Off plays silently (also chosen by the
    // environment variable LUMORRA_AUDIO=null).
    enum class Sound { Desktop, Off };

    explicit MoviePlayer(Sound sound = Sound::Desktop, QObject* parent = nullptr);
    ~MoviePlayer() override;

    // Loads the file and starts playing it; "" unloads the current file and lets go of it.
    void setFileName(const QString& path);
    QString fileName() const { return fileName_; }

    // Playback rate, 1.0 is normal speed. Throws Error InvalidProperty outside 0.01 .. 100.
    void setRate(double rate);
    double rate() const { return rate_; }

    // play() at the end plays the file again from its start.
    void play();
    void pause();
    bool isPaused() const { return paused_; }
    // Plays the current file again from its start by loading it again (seeking does not work
    // in every format).
    void restart();

    // In seconds; 0 while unknown.
    double duration() const { return duration_; }
    double position() const { return position_; }
    // The size of the video frames; QSize() until known and for files without video.
    QSize naturalSize() const { return naturalSize_; }

    bool isLoaded() const { return load_ == Load::Loaded; }
    // The failure of the current file's load, if it failed.
    std::optional<Error> loadError() const { return loadError_; }
    // Runs the event loop until the current load succeeded (true) or failed or the time ran
    // out (false).
    bool waitUntilLoaded(int timeoutMs);

    // What is known about the current movie, as (label, value) pairs for an information dialog.
    QList<QPair<QString, QString>> info() const;

    // The last frame drawn; null while no frame of the current file has arrived. The next frame
    // is drawn into the same image.
    const QImage& frame() const { return frame_; }

signals:
    // The file is open; its duration and, for a video, its natural size are known.
    void loaded();
    // Playback of the current file began (after loaded(); again after restart()).
    void started();
    // The load failed: a file-system error (2 "No such file or directory", 21 "Is a
    // directory", ...) or libmpv's (17 "Unrecognized file format", 13 "Loading failed").
    void failed(const lumorra::Error& error);
    void ended();
    // frame() holds a new frame, or is null again because the file was let go of.
    void frameReady();
    void naturalSizeChanged(QSize size);
    void durationChanged(double seconds);
    void positionChanged(double seconds);
    void playStateChanged(bool paused);

private:
    // Requested: loadfile sent; Started: mpv began the file; Opened: the file is open, its frame
    // size still unknown; Loaded: loaded() was sent.
    enum class Load { None, Requested, Started, Opened, Loaded, Failed };
    // Reply ids of the observed properties.
    enum Observed : uint64_t { TimePos = 1, Duration, Pause, VideoParams, EofReached };

    static void onWakeup(void* self);
    static void onUpdate(void* self);
    void postOnce(std::atomic<bool>& queued, void (MoviePlayer::*handler)());

    // Creates the player on first use.
    void start();
    bool createRenderContext();
    void processEvents();
    void handleEvent(const mpv_event& event);
    void handleEndFile(const mpv_event& event);
    void handlePropertyChange(uint64_t id, const mpv_event_property& property);
    void handleFileLoaded();
    bool finishLoading(bool playing);
    void reachEnd();
    bool isLoading() const;
    void renderFrame();
    void loadCurrent();
    void unload();
    void resetFileState();
    void fail(const Error& error);
    void setPausedState(bool paused);
    void setNaturalSize(QSize size);
    void setPosition(double seconds);
    void setDuration(double seconds);
    void command(const char** args);
    void stop();
    void setFlag(const char* name, bool value);

    mpv_handle* mpv_ = nullptr;
    mpv_render_context* render_ = nullptr;
    std::optional<Error> initError_;
    Sound sound_;
    bool started_ = false;

    // Set by a callback on libmpv's threads, cleared on the UI thread, so that at most one
    // queued call of each kind is pending.
    std::atomic<bool> wakeupQueued_{false};
    std::atomic<bool> updateQueued_{false};

    QString fileName_;
    // The playlist entry of the current load; events of other entries belong to older loads.
    int64_t entryId_ = -1;
    // Counts loads, so that a queued failure of an older load is dropped.
    quint64 generation_ = 0;
    Load load_ = Load::None;
    bool hasVideo_ = false;
    bool startedSent_ = false;
    bool atEnd_ = false;
    bool frameWaiting_ = false;
    std::optional<Error> loadError_;

    double rate_ = 1.0;
    bool paused_ = false;
    double duration_ = 0.0;
    double position_ = 0.0;
    QSize naturalSize_;
    QImage frame_;
};

} // namespace lumorra
