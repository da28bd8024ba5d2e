#include "MovieControl.h"

#include "MpvLibrary.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mpv/client.h>
#include <mpv/render.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumorra {

namespace {

// Reply ids of the observed properties.
enum Observed : uint64_t { TimePos = 1, Duration, Pause, VideoParams, EofReached };

// mpv's error texts are lower-case phrases ("unrecognized file format"); the program shows them
// as sentences.
Error mpvError(int code) {
    QString text = QString::fromUtf8(mpv_error_string(code));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return Error{std::abs(code), text};
}

// The file must be a readable regular file; mpv would open a directory as a playlist and block
// on a FIFO.
std::optional<Error> checkPlayable(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Error::fromErrno(errno);
    struct stat st {};
    const int statResult = ::fstat(fd, &st);
    const int statErrno = errno;
    ::close(fd);
    if (statResult != 0)
        return Error::fromErrno(statErrno);
    if (S_ISDIR(st.st_mode))
        return Error::fromErrno(EISDIR);
    if (!S_ISREG(st.st_mode))
        return Error::program(errc::PathAccess);
    return std::nullopt;
}

bool audioForcedOff() {
    return qEnvironmentVariable("LUMORRA_AUDIO") == QLatin1String("null");
}

QString mpvString(mpv_handle* mpv, const char* name) {
    char* value = mpv_get_property_string(mpv, name);
    if (!value)
        return {};
    QString result = QString::fromUtf8(value);
    mpv_free(value);
    return result;
}

std::optional<double> mpvDouble(mpv_handle* mpv, const char* name) {
    double value = 0;
    if (mpv_get_property(mpv, name, MPV_FORMAT_DOUBLE, &value) < 0)
        return std::nullopt;
    return value;
}

bool mpvFlag(mpv_handle* mpv, const char* name) {
    int value = 0;
    return mpv_get_property(mpv, name, MPV_FORMAT_FLAG, &value) >= 0 && value != 0;
}

// The frame size in a "video-params" node; QSize() when the node has none.
QSize sizeFromVideoParams(const mpv_node& node) {
    if (node.format != MPV_FORMAT_NODE_MAP || !node.u.list)
        return {};
    int64_t w = 0;
    int64_t h = 0;
    for (int i = 0; i < node.u.list->num; ++i) {
        const char* key = node.u.list->keys[i];
        const mpv_node& value = node.u.list->values[i];
        if (value.format != MPV_FORMAT_INT64)
            continue;
        if (std::strcmp(key, "w") == 0)
            w = value.u.int64;
        else if (std::strcmp(key, "h") == 0)
            h = value.u.int64;
    }
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        return {};
    return QSize(int(w), int(h));
}

const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list)
        return nullptr;
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::strcmp(map.u.list->keys[i], key) == 0)
            return &map.u.list->values[i];
    }
    return nullptr;
}

QString nodeString(const mpv_node* node) {
    return node && node->format == MPV_FORMAT_STRING ? QString::fromUtf8(node->u.string)
                                                     : QString();
}

// What the track list says about the file's first video and audio track, the selected ones
// first. Unlike the current-track properties, it still names a sound track that plays nowhere
// because there is no sound device.
struct TrackInfo {
    QString videoCodec;
    QString audioCodec;
    double audioBitRate = 0;
};

TrackInfo trackInfo(mpv_handle* mpv) {
    TrackInfo info;
    mpv_node list{};
    if (mpv_get_property(mpv, "track-list", MPV_FORMAT_NODE, &list) < 0)
        return info;
    bool videoSelected = false;
    bool audioSelected = false;
    if (list.format == MPV_FORMAT_NODE_ARRAY && list.u.list) {
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node& track = list.u.list->values[i];
            const QString type = nodeString(mapValue(track, "type"));
            const mpv_node* selectedNode = mapValue(track, "selected");
            const bool selected =
                selectedNode && selectedNode->format == MPV_FORMAT_FLAG && selectedNode->u.flag;
            QString codec = nodeString(mapValue(track, "decoder-desc"));
            if (codec.isEmpty())
                codec = nodeString(mapValue(track, "codec"));
            if (type == QLatin1String("video") &&
                (info.videoCodec.isEmpty() || (selected && !videoSelected))) {
                info.videoCodec = codec;
                videoSelected = selected;
            } else if (type == QLatin1String("audio") &&
                       (info.audioCodec.isEmpty() || (selected && !audioSelected))) {
                info.audioCodec = codec;
                audioSelected = selected;
                const mpv_node* rate = mapValue(track, "demux-bitrate");
                info.audioBitRate =
                    rate && rate->format == MPV_FORMAT_INT64 ? double(rate->u.int64) : 0;
            }
        }
    }
    mpv_free_node_contents(&list);
    return info;
}

QString bitRateText(double bitsPerSecond) {
    return QStringLiteral("%1 kbit/s").arg(std::lround(bitsPerSecond / 1000.0));
}

} // namespace

MovieControl::MovieControl(QWidget* parent, Sound sound) : QWidget(parent), sound_(sound) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MovieControl::start() {
    // The player starts with the first movie, not with the window: the program opens faster and
    // one that shows only pictures never loads the movie library.
    if (started_)
        return;
    started_ = true;
    if (const QString missing = mpvLibraryError(); !missing.isEmpty()) {
        initError_ = Error{errc::PathNotFound, missing};
        return;
    }
    const Sound sound = sound_;

    // mpv parses numbers with the C library and needs the C numeric locale; Qt has set the
    // user's locale by now.
    std::setlocale(LC_NUMERIC, "C");

    mpv_ = mpv_create();
    if (!mpv_) {
        initError_ = Error::program(errc::OutOfMemory);
        return;
    }
    const bool silent = sound == Sound::Off || audioForcedOff();
    const std::pair<const char*, const char*> options[] = {
        {"config", "no"},
        {"terminal", "no"},
        {"idle", "yes"},
        {"vo", "libmpv"},
        {"hwdec", "no"},
        // The last frame stays at the end; pausing there would undo a play() that restarts.
        {"keep-open", "yes"},
        {"keep-open-pause", "no"},
        {"osc", "no"},
        {"osd-level", "0"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        {"resume-playback", "no"},
        {"audio-display", "no"},
        {"sub-auto", "no"},
        {"audio-file-auto", "no"},
        {"cover-art-auto", "no"},
        {"audio-client-name", "Lumorra"},
    };
    // An option this libmpv does not know is left at its default.
    for (const auto& [name, value] : options)
        mpv_set_option_string(mpv_, name, value);
    if (silent)
        mpv_set_option_string(mpv_, "ao", "null");
    if (const int rc = mpv_initialize(mpv_); rc < 0) {
        initError_ = mpvError(rc);
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        return;
    }

    char apiType[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, apiType},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (const int rc = mpv_render_context_create(&render_, mpv_, params); rc < 0) {
        initError_ = mpvError(rc);
        render_ = nullptr;
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        return;
    }

    mpv_observe_property(mpv_, TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, Duration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, Pause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, VideoParams, "video-params", MPV_FORMAT_NODE);
    mpv_observe_property(mpv_, EofReached, "eof-reached", MPV_FORMAT_FLAG);

    mpv_render_context_set_update_callback(render_, &MovieControl::onUpdate, this);
    mpv_set_wakeup_callback(mpv_, &MovieControl::onWakeup, this);
}

MovieControl::~MovieControl() {
    if (!mpv_)
        return;
    // Clearing a callback waits for a call of it that is running on one of mpv's threads, so
    // none can post to this object once it is gone.
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    if (render_) {
        mpv_render_context_set_update_callback(render_, nullptr, nullptr);
        mpv_render_context_free(render_);
    }
    mpv_terminate_destroy(mpv_);
}

void MovieControl::onWakeup(void* self) {
    auto* control = static_cast<MovieControl*>(self);
    if (control->wakeupQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        control,
        [control] {
            control->wakeupQueued_ = false;
            control->processEvents();
        },
        Qt::QueuedConnection);
}

void MovieControl::onUpdate(void* self) {
    auto* control = static_cast<MovieControl*>(self);
    if (control->updateQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        control,
        [control] {
            control->updateQueued_ = false;
            control->renderFrame();
        },
        Qt::QueuedConnection);
}

void MovieControl::setFileName(const QString& path) {
    if (path.isEmpty()) {
        unload();
        return;
    }
    fileName_ = path;
    loadCurrent();
}

void MovieControl::unload() {
    ++generation_;
    fileName_.clear();
    entryId_ = -1;
    load_ = Load::None;
    if (mpv_) {
        const char* args[] = {"stop", nullptr};
        command(args);
    }
    resetFileState();
}

void MovieControl::loadCurrent() {
    const quint64 generation = ++generation_;
    entryId_ = -1;
    load_ = Load::Requested;
    resetFileState();

    auto failLater = [this, generation](const Error& error) {
        if (mpv_) {
            const char* args[] = {"stop", nullptr};
            command(args);
        }
        // Reported like mpv's own failures: after setFileName() has returned.
        QMetaObject::invokeMethod(
            this,
            [this, generation, error] {
                if (generation == generation_ && load_ == Load::Requested)
                    ignoreErrors([&] { fail(error); });
            },
            Qt::QueuedConnection);
    };

    start();
    if (initError_) {
        failLater(*initError_);
        return;
    }
    if (const auto error = checkPlayable(fileName_)) {
        failLater(*error);
        return;
    }

    setFlag("pause", false);
    setPausedState(false);

    // An absolute path, so that mpv never takes a name with a colon for a URL.
    const QByteArray target = QFile::encodeName(QFileInfo(fileName_).absoluteFilePath());
    const char* args[] = {"loadfile", target.constData(), "replace", nullptr};
    mpv_node result{};
    if (const int rc = mpv_command_ret(mpv_, args, &result); rc < 0) {
        failLater(mpvError(rc));
        return;
    }
    if (result.format == MPV_FORMAT_NODE_MAP && result.u.list) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                entryId_ = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    if (entryId_ < 0)
        failLater(Error::program(errc::Internal));
}

void MovieControl::resetFileState() {
    hasVideo_ = false;
    startedSent_ = false;
    atEnd_ = false;
    frameWaiting_ = false;
    loadError_.reset();
    frame_ = QImage();
    setPosition(0.0);
    setDuration(0.0);
    setNaturalSize(QSize());
    update();
}

void MovieControl::fail(const Error& error) {
    load_ = Load::Failed;
    loadError_ = error;
    entryId_ = -1;
    emit failed(error);
}

void MovieControl::setRate(double rate) {
    if (!std::isfinite(rate) || rate < 0.01 || rate > 100.0)
        throw Error::program(errc::InvalidProperty);
    rate_ = rate;
    if (mpv_)
        mpv_set_property(mpv_, "speed", MPV_FORMAT_DOUBLE, &rate);
}

void MovieControl::play() {
    if (!mpv_ || fileName_.isEmpty())
        return;
    if (atEnd_) {
        restart();
        return;
    }
    setFlag("pause", false);
    setPausedState(false);
}

void MovieControl::pause() {
    if (!mpv_)
        return;
    setFlag("pause", true);
    setPausedState(true);
}

void MovieControl::restart() {
    if (!fileName_.isEmpty())
        loadCurrent();
}

bool MovieControl::isLoading() const {
    return load_ == Load::Requested || load_ == Load::Started || load_ == Load::Opened;
}

bool MovieControl::waitUntilLoaded(int timeoutMs) {
    if (!isLoading())
        return load_ == Load::Loaded;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &MovieControl::loaded, &loop, &QEventLoop::quit);
    connect(this, &MovieControl::failed, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    const quint64 generation = generation_;
    while (generation == generation_ && isLoading() && timer.isActive())
        loop.exec();
    return generation == generation_ && load_ == Load::Loaded;
}

void MovieControl::processEvents() {
    if (!mpv_)
        return;
    QPointer<MovieControl> alive(this);
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
void MovieControl::handleEvent(const mpv_event& event) {
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
    case MPV_EVENT_END_FILE: {
        const auto* data = static_cast<const mpv_event_end_file*>(event.data);
        if (!data || entryId_ < 0 || data->playlist_entry_id != entryId_)
            break; // an older load, or one this control stopped itself
        const int reason = data->reason;
        const int error = data->error;
        entryId_ = -1;
        if (load_ == Load::Opened || load_ == Load::Loaded) {
            reachEnd();
        } else if (reason == MPV_END_FILE_REASON_ERROR) {
            fail(mpvError(error));
        } else if (reason == MPV_END_FILE_REASON_REDIRECT) {
            // A playlist: the control plays movies, not lists of them.
            const char* args[] = {"stop", nullptr};
            command(args);
            fail(mpvError(MPV_ERROR_UNKNOWN_FORMAT));
        } else {
            fail(mpvError(MPV_ERROR_NOTHING_TO_PLAY));
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        handlePropertyChange(event.reply_userdata,
                             *static_cast<const mpv_event_property*>(event.data));
        break;
    default:
        break;
    }
}

void MovieControl::handlePropertyChange(uint64_t id, const mpv_event_property& prop) {
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

void MovieControl::handleFileLoaded() {
    // FFmpeg opens single pictures too; they belong to the picture viewer, not here.
    hasVideo_ = mpvFlag(mpv_, "current-tracks/video/selected");
    if (mpvFlag(mpv_, "current-tracks/video/image") ||
        (!hasVideo_ && !mpvFlag(mpv_, "current-tracks/audio/selected"))) {
        const char* args[] = {"stop", nullptr};
        command(args);
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
// loaded another file or deleted the control.
bool MovieControl::finishLoading(bool playing) {
    const QPointer<MovieControl> alive(this);
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

void MovieControl::reachEnd() {
    if (!finishLoading(true) || atEnd_)
        return;
    atEnd_ = true;
    emit ended();
}

void MovieControl::renderFrame() {
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
            return; // too big to hold; the control stays black
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
    update();
}

void MovieControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frame_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), frame_);
}

QSize MovieControl::sizeHint() const {
    return naturalSize_.isValid() ? naturalSize_ : QWidget::sizeHint();
}

QList<QPair<QString, QString>> MovieControl::info() const {
    QList<QPair<QString, QString>> rows;
    if (fileName_.isEmpty())
        return rows;
    rows.append({tr("File"), QFileInfo(fileName_).fileName()});
    if (!mpv_ || (load_ != Load::Opened && load_ != Load::Loaded))
        return rows;
    auto add = [&rows](const QString& label, const QString& value) {
        if (!value.isEmpty())
            rows.append({label, value});
    };
    add(tr("File format"), mpvString(mpv_, "file-format"));
    const TrackInfo tracks = trackInfo(mpv_);
    add(tr("Video codec"), tracks.videoCodec);
    add(tr("Audio codec"), tracks.audioCodec);
    if (naturalSize_.isValid())
        add(tr("Frame size"),
            QStringLiteral("%1 x %2").arg(naturalSize_.width()).arg(naturalSize_.height()));
    if (const auto fps = mpvDouble(mpv_, "container-fps"); fps && *fps > 0)
        add(tr("Frame rate"), tr("%1 frames per second").arg(*fps, 0, 'g', 4));
    if (duration_ > 0)
        add(tr("Duration"), tr("%1 seconds").arg(duration_, 0, 'f', 2));
    if (const auto rate = mpvDouble(mpv_, "video-bitrate"); rate && *rate > 0)
        add(tr("Video bit rate"), bitRateText(*rate));
    if (const auto rate = mpvDouble(mpv_, "audio-bitrate"); rate && *rate > 0)
        add(tr("Audio bit rate"), bitRateText(*rate));
    else if (tracks.audioBitRate > 0)
        add(tr("Audio bit rate"), bitRateText(tracks.audioBitRate));
    return rows;
}

void MovieControl::setPausedState(bool paused) {
    if (paused == paused_)
        return;
    paused_ = paused;
    emit playStateChanged(paused);
}

void MovieControl::setNaturalSize(QSize size) {
    if (size == naturalSize_)
        return;
    naturalSize_ = size;
    updateGeometry();
    emit naturalSizeChanged(size);
}

void MovieControl::setPosition(double seconds) {
    if (seconds == position_)
        return;
    position_ = seconds;
    emit positionChanged(seconds);
}

void MovieControl::setDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    if (seconds == duration_)
        return;
    duration_ = seconds;
    emit durationChanged(seconds);
}

// Commands are synchronous: libmpv runs a synchronous call at once, ahead of asynchronous ones
// still queued, so mixing both would reorder a "stop" after a later "loadfile".
void MovieControl::command(const char** args) {
    if (mpv_)
        mpv_command(mpv_, args);
}

void MovieControl::setFlag(const char* name, bool value) {
    int flag = value ? 1 : 0;
    if (mpv_)
        mpv_set_property(mpv_, name, MPV_FORMAT_FLAG, &flag);
}

} // namespace lumorra
