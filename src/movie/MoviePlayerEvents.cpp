#include "MoviePlayer.h"
#include "MpvProperties.h"

#include <QPointer>

#include <mpv/client.h>
#include <mpv/render.h>

namespace lumorra {

// What libmpv reports, on the UI thread: its events, the observed properties and new frames.

void MoviePlayer::processEvents() {
    if (!mpv_)
        return;
    QPointer<MoviePlayer> alive(this);
    try {
        while (alive) {
            mpv_event* event = mpv_wait_event(mpv_, 0);
            if (event->event_id == MPV_EVENT_NONE)
                break;
            handleEvent(*event);
        }
    } catch (...) {
        // A slot's failure must not reach the event loop; the events left are handled on
        // the next wakeup.
    }
}

// Slots connected to the signals may load another file or unload, so nothing after an emit
// relies on the state from before it.
void MoviePlayer::handleEvent(const mpv_event& event) {
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        const auto* data = static_cast<const mpv_event_start_file*>(event.data);
        if (data && data->playlist_entry_id == entryId_ && load_ == Load::Requested)
            load_ = Load::Started;
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        // FILE_LOADED names no entry; between the current entry's START_FILE and its END_FILE
        // it can only be the current one's.
        if (load_ == Load::Started)
            handleFileLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        // Playback runs, so the frame size is known if there is one.
        if (load_ == Load::Opened || load_ == Load::Loaded)
            finishLoading(true);
        break;
    case MPV_EVENT_END_FILE:
        handleEndFile(event);
        break;
    case MPV_EVENT_PROPERTY_CHANGE:
        handlePropertyChange(event.reply_userdata,
                             *static_cast<const mpv_event_property*>(event.data));
        break;
    default:
        break;
    }
}

void MoviePlayer::handleEndFile(const mpv_event& event) {
    const auto* data = static_cast<const mpv_event_end_file*>(event.data);
    if (!data || entryId_ < 0 || data->playlist_entry_id != entryId_)
        return; // an older load, or one this player stopped itself
    const int reason = data->reason;
    const int error = data->error;
    entryId_ = -1;
    if (load_ == Load::Opened || load_ == Load::Loaded) {
        reachEnd();
    } else if (reason == MPV_END_FILE_REASON_ERROR) {
        fail(mpvError(error));
    } else if (reason == MPV_END_FILE_REASON_REDIRECT) {
        // A playlist: the player plays movies, not lists of them.
        stop();
        fail(mpvError(MPV_ERROR_UNKNOWN_FORMAT));
    } else {
        fail(mpvError(MPV_ERROR_NOTHING_TO_PLAY));
    }
}

void MoviePlayer::handlePropertyChange(uint64_t id, const mpv_event_property& prop) {
    const bool isFlag = prop.format == MPV_FORMAT_FLAG;
    const bool flag = isFlag && *static_cast<const int*>(prop.data) != 0;
    const double number =
        prop.format == MPV_FORMAT_DOUBLE ? *static_cast<const double*>(prop.data) : 0.0;
    if (id == Pause) {
        if (isFlag)
            setPausedState(flag);
        return;
    }
    // Until the current file has started, the values are still those of the previous one; once
    // it has ended, the last ones stay.
    if ((load_ != Load::Started && load_ != Load::Opened && load_ != Load::Loaded) || entryId_ < 0)
        return;
    switch (id) {
    case TimePos:
        setPosition(number);
        break;
    case Duration:
        setDuration(number);
        break;
    case VideoParams:
        if (prop.format == MPV_FORMAT_NODE) {
            const QSize size = sizeFromVideoParams(*static_cast<const mpv_node*>(prop.data));
            if (size.isValid()) {
                setNaturalSize(size);
                if (load_ == Load::Opened)
                    finishLoading(false);
            }
        }
        break;
    case EofReached:
        if (flag && (load_ == Load::Opened || load_ == Load::Loaded))
            reachEnd();
        break;
    default:
        break;
    }
}

void MoviePlayer::handleFileLoaded() {
    // FFmpeg opens single pictures too; they belong to the picture viewer, not here.
    hasVideo_ = mpvFlag(mpv_, "current-tracks/video/selected");
    if (mpvFlag(mpv_, "current-tracks/video/image") ||
        (!hasVideo_ && !mpvFlag(mpv_, "current-tracks/audio/selected"))) {
        stop();
        fail(mpvError(MPV_ERROR_UNKNOWN_FORMAT));
        return;
    }
    load_ = Load::Opened;

    // The frame size may be known already; otherwise it comes with the first decoded frame,
    // and loaded() waits for it.
    mpv_node params{};
    if (mpv_get_property(mpv_, "video-params", MPV_FORMAT_NODE, &params) >= 0) {
        const QSize size = sizeFromVideoParams(params);
        mpv_free_node_contents(&params);
        if (size.isValid())
            setNaturalSize(size);
    }
    if (const auto d = mpvDouble(mpv_, "duration"))
        setDuration(*d);
    if (naturalSize_.isValid() || !hasVideo_)
        finishLoading(false);
}

// loaded() once the frame size is known, then started() once playback runs. False when a slot
// loaded another file or deleted the player.
bool MoviePlayer::finishLoading(bool playing) {
    const QPointer<MoviePlayer> alive(this);
    const quint64 generation = generation_;
    auto current = [&] { return alive && generation == generation_; };
    if (load_ == Load::Opened) {
        load_ = Load::Loaded;
        emit loaded();
        if (!current())
            return false;
        if (frameWaiting_)
            renderFrame();
    }
    if (playing && load_ == Load::Loaded && !startedSent_) {
        startedSent_ = true;
        emit started();
    }
    return current();
}

void MoviePlayer::reachEnd() {
    if (!finishLoading(true) || atEnd_)
        return;
    atEnd_ = true;
    emit ended();
}

void MoviePlayer::renderFrame() {
    if (!render_)
        return;
    const uint64_t flags = mpv_render_context_update(render_);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !frameWaiting_)
        return;
    if ((load_ != Load::Opened && load_ != Load::Loaded) || !naturalSize_.isValid()) {
        // Kept for when the file's size is known; nothing of an unloaded file is drawn.
        frameWaiting_ = load_ == Load::Started || load_ == Load::Opened;
        return;
    }
    frameWaiting_ = false;
    if (frame_.size() != naturalSize_) {
        frame_ = QImage(naturalSize_, QImage::Format_RGBX8888);
        if (frame_.isNull())
            return; // too big to hold; the view stays black
    }
    int size[2] = {naturalSize_.width(), naturalSize_.height()};
    char format[] = "rgb0";
    size_t stride = size_t(frame_.bytesPerLine());
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},
        {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, frame_.bits()},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
    emit frameReady();
}

} // namespace lumorra
