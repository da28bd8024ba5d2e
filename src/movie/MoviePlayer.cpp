#include "MoviePlayer.h"

#include "MpvLibrary.h"
#include "MpvProperties.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <fcntl.h>
#include <mpv/client.h>
#include <mpv/render.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumorra {

namespace {

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

void setOptions(mpv_handle* mpv, bool silent) {
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
        mpv_set_option_string(mpv, name, value);
    if (silent)
        mpv_set_option_string(mpv, "ao", "null");
}

// Sets a property's value; true when it changed, so that its signal is sent.
template <typename T> bool changeValue(T& value, const T& to) {
    if (value == to)
        return false;
    value = to;
    return true;
}

QString bitRateText(double bitsPerSecond) {
    return QStringLiteral("%1 kbit/s").arg(std::lround(bitsPerSecond / 1000.0));
}

} // namespace

MoviePlayer::MoviePlayer(Sound sound, QObject* parent) : QObject(parent), sound_(sound) {}

void MoviePlayer::start() {
    // The player starts with the first movie, not with the window: the program opens faster and
    // one that shows only pictures never loads the movie library.
    if (started_)
        return;
    started_ = true;
    if (const QString missing = mpvLibraryError(); !missing.isEmpty()) {
        initError_ = Error{errc::PathNotFound, missing};
        return;
    }

    // mpv parses numbers with the C library and needs the C numeric locale; Qt has set the
    // user's locale by now.
    std::setlocale(LC_NUMERIC, "C");

    mpv_ = mpv_create();
    if (!mpv_) {
        initError_ = Error::program(errc::OutOfMemory);
        return;
    }
    setOptions(mpv_, sound_ == Sound::Off || audioForcedOff());
    if (const int rc = mpv_initialize(mpv_); rc < 0) {
        initError_ = mpvError(rc);
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        return;
    }
    if (!createRenderContext())
        return;

    mpv_observe_property(mpv_, TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, Duration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, Pause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, VideoParams, "video-params", MPV_FORMAT_NODE);
    mpv_observe_property(mpv_, EofReached, "eof-reached", MPV_FORMAT_FLAG);

    mpv_render_context_set_update_callback(render_, &MoviePlayer::onUpdate, this);
    mpv_set_wakeup_callback(mpv_, &MoviePlayer::onWakeup, this);
}

// The software renderer, which draws into memory of the program's own.
bool MoviePlayer::createRenderContext() {
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
        return false;
    }
    return true;
}

MoviePlayer::~MoviePlayer() {
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

void MoviePlayer::onWakeup(void* self) {
    auto* player = static_cast<MoviePlayer*>(self);
    player->postOnce(player->wakeupQueued_, &MoviePlayer::processEvents);
}

void MoviePlayer::onUpdate(void* self) {
    auto* player = static_cast<MoviePlayer*>(self);
    player->postOnce(player->updateQueued_, &MoviePlayer::renderFrame);
}

// Runs on one of mpv's threads: queues the handler to the UI thread unless it is queued already.
void MoviePlayer::postOnce(std::atomic<bool>& queued, void (MoviePlayer::*handler)()) {
    if (queued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, &queued, handler] {
            queued = false;
            (this->*handler)();
        },
        Qt::QueuedConnection);
}

void MoviePlayer::setFileName(const QString& path) {
    if (path.isEmpty()) {
        unload();
        return;
    }
    fileName_ = path;
    loadCurrent();
}

void MoviePlayer::unload() {
    ++generation_;
    fileName_.clear();
    entryId_ = -1;
    load_ = Load::None;
    stop();
    resetFileState();
}

void MoviePlayer::loadCurrent() {
    const quint64 generation = ++generation_;
    entryId_ = -1;
    load_ = Load::Requested;
    resetFileState();

    auto failLater = [this, generation](const Error& error) {
        stop();
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
    entryId_ = playlistEntryId(result);
    mpv_free_node_contents(&result);
    if (entryId_ < 0)
        failLater(Error::program(errc::Internal));
}

void MoviePlayer::resetFileState() {
    hasVideo_ = false;
    startedSent_ = false;
    atEnd_ = false;
    frameWaiting_ = false;
    loadError_.reset();
    const bool hadFrame = !frame_.isNull();
    frame_ = QImage();
    setPosition(0.0);
    setDuration(0.0);
    setNaturalSize(QSize());
    if (hadFrame)
        emit frameReady();
}

void MoviePlayer::fail(const Error& error) {
    load_ = Load::Failed;
    loadError_ = error;
    entryId_ = -1;
    emit failed(error);
}

void MoviePlayer::setRate(double rate) {
    if (!std::isfinite(rate) || rate < 0.01 || rate > 100.0)
        throw Error::program(errc::InvalidProperty);
    rate_ = rate;
    if (mpv_)
        mpv_set_property(mpv_, "speed", MPV_FORMAT_DOUBLE, &rate);
}

void MoviePlayer::play() {
    if (!mpv_ || fileName_.isEmpty())
        return;
    if (atEnd_) {
        restart();
        return;
    }
    setFlag("pause", false);
    setPausedState(false);
}

void MoviePlayer::pause() {
    if (!mpv_)
        return;
    setFlag("pause", true);
    setPausedState(true);
}

void MoviePlayer::restart() {
    if (!fileName_.isEmpty())
        loadCurrent();
}

bool MoviePlayer::isLoading() const {
    return load_ == Load::Requested || load_ == Load::Started || load_ == Load::Opened;
}

bool MoviePlayer::waitUntilLoaded(int timeoutMs) {
    if (!isLoading())
        return load_ == Load::Loaded;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &MoviePlayer::loaded, &loop, &QEventLoop::quit);
    connect(this, &MoviePlayer::failed, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    const quint64 generation = generation_;
    while (generation == generation_ && isLoading() && timer.isActive())
        loop.exec();
    return generation == generation_ && load_ == Load::Loaded;
}

QList<QPair<QString, QString>> MoviePlayer::info() const {
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

void MoviePlayer::setPausedState(bool paused) {
    if (changeValue(paused_, paused))
        emit playStateChanged(paused);
}

void MoviePlayer::setNaturalSize(QSize size) {
    if (changeValue(naturalSize_, size))
        emit naturalSizeChanged(size);
}

void MoviePlayer::setPosition(double seconds) {
    if (changeValue(position_, seconds))
        emit positionChanged(seconds);
}

void MoviePlayer::setDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    if (changeValue(duration_, seconds))
        emit durationChanged(seconds);
}

// Commands are synchronous: libmpv runs a synchronous call at once, ahead of asynchronous ones
// still queued, so mixing both would reorder a "stop" after a later "loadfile".
void MoviePlayer::command(const char** args) {
    if (mpv_)
        mpv_command(mpv_, args);
}

// Unloads the file mpv holds, if any.
void MoviePlayer::stop() {
    const char* args[] = {"stop", nullptr};
    command(args);
}

void MoviePlayer::setFlag(const char* name, bool value) {
    int flag = value ? 1 : 0;
    if (mpv_)
        mpv_set_property(mpv_, name, MPV_FORMAT_FLAG, &flag);
}

} // namespace lumorra
