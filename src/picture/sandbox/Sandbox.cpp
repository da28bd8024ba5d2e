#include "Sandbox.h"

#include "Confinement.h"
#include "SandboxChannel.h"
#include "SandboxMemory.h"
#include "SandboxWorker.h"
#include "ZygoteStart.h"
#include "picture/Decoding.h"
#include "picture/colour/EmbeddedProfile.h"
#include "picture/formats/PictureFormat.h"
#include "picture/formats/RawDecoder.h"
#include "platform/StartupProfile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumorra::picture {

struct DecoderPool::Worker {
    int pid = -1;
    int socket = -1;
    int pidfd = -1;
    bool ownChild = false;        // forked here rather than by the zygote
    PixelMemory* spare = nullptr; // memory it was given for its pixels, still mapped here
};

namespace {

// The most times a program starts a zygote: one that keeps dying is not started for ever.
constexpr int ZygoteStarts = 3;
// How long a zygote may take to hand over a worker; it forks one in about a millisecond.
constexpr int ZygoteTimeoutMs = 10000;

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int waitFor(int pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 0;
    }
    return status;
}

void killWorker(const DecoderPool::Worker& w) {
    if (w.pidfd >= 0)
        ::syscall(SYS_pidfd_send_signal, w.pidfd, SIGKILL, nullptr, 0);
    else if (w.pid > 0)
        ::kill(w.pid, SIGKILL);
}

// The picture's bytes in a sealed memfd the worker maps: nothing can change them under it.
int bytesFd(const QByteArray& bytes) {
    const int fd = ::memfd_create("lumorra-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        throw outOfMemory();
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            throw outOfMemory();
        }
        p += n;
        left -= n;
    }
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

// The answer of a worker: nothing of it is taken on trust. The pixels' memfd is the one given
// to the worker (`spare`, mapped here already) or one of its own; the image takes it over.
JobReply replyFrom(const channel::Reply& in, int& fd, PixelMemory*& spare,
                   const std::shared_ptr<PixelRecycler>& recycler) {
    JobReply r;
    struct stat st {};
    const qint64 size = fd >= 0 && ::fstat(fd, &st) == 0 ? qint64(st.st_size) : 0;
    constexpr int MaxSide = 1 << 20;
    if (in.naturalWidth < 0 || in.naturalHeight < 0 || in.naturalWidth > MaxSide ||
        in.naturalHeight > MaxSide || in.iccLength < 0 || in.iccLength > ProfileByteCap ||
        in.iccOffset < 0 || in.iccOffset + in.iccLength > size || in.textLength < 0 ||
        in.textLength > ReplyTextCap || in.textOffset < 0 || in.textOffset + in.textLength > size)
        throw invalidPicture();
    if (in.textLength > 0) {
        r.text.resize(qsizetype(in.textLength));
        if (::pread(fd, r.text.data(), size_t(in.textLength), off_t(in.textOffset)) !=
            ssize_t(in.textLength))
            throw invalidPicture();
    }
    if (in.iccLength > 0) {
        r.colour.icc.resize(qsizetype(in.iccLength));
        if (::pread(fd, r.colour.icc.data(), size_t(in.iccLength), off_t(in.iccOffset)) !=
            ssize_t(in.iccLength))
            throw invalidPicture();
    }
    if (in.width != 0 || in.height != 0) {
        const auto format = QImage::Format(in.imageFormat);
        if (in.width <= 0 || in.height <= 0 || in.width > MaxSide || in.height > MaxSide ||
            (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32) ||
            in.bytesPerLine != in.width * 4 || in.pixelOffset != 0)
            throw invalidPicture();
        const std::size_t length = std::size_t(in.bytesPerLine) * std::size_t(in.height);
        if (qint64(length) > size)
            throw invalidPicture();
        PixelMemory* memory = nullptr;
        if (spare != nullptr && spare->device == st.st_dev && spare->inode == st.st_ino &&
            length <= spare->length) {
            memory = std::exchange(spare, nullptr);
        } else {
            memory = mapPixels(fd, length);
            if (memory == nullptr)
                throw invalidPicture();
            fd = -1;
        }
        r.image = imageOver(memory, in.width, in.height, in.bytesPerLine, format, recycler);
        if (r.image.isNull())
            throw outOfMemory();
    }
    r.naturalSize = QSize(in.naturalWidth, in.naturalHeight);
    r.format = QByteArray(in.format.data(), qsizetype(strnlen(in.format.data(), in.format.size())));
    r.colour.cicpPrimaries = in.cicpPrimaries;
    r.colour.cicpTransfer = in.cicpTransfer;
    r.flags = in.flags;
    r.transformation = in.transformation;
    r.delay = qBound(0, in.delay, 600000);
    r.repeats = qMax(0, in.repeats);
    return r;
}

// What the worker loads before it confines itself, told from the bytes' head by the formats.
qint32 librariesFor(const JobRequest& request) {
    constexpr int HeadBytes = qMax(SniffHeadBytes, RawSniffBytes);
    QByteArray head;
    if (const int fd = request.sealed >= 0 ? request.sealed : request.file; fd >= 0) {
        head.resize(HeadBytes);
        const ssize_t n = ::pread(fd, head.data(), size_t(head.size()), 0);
        head.resize(qMax<ssize_t>(0, n));
    } else {
        head = request.bytes.left(HeadBytes);
    }
    const QByteArray claimed = sniff(head.left(SniffHeadBytes), QByteArray()).qtFormat;
    qint32 libraries = 0;
    for (const PictureFormat* format : pictureFormats())
        libraries |= format->libraries(head, claimed);
    return libraries;
}

} // namespace

DecoderPool::DecoderPool(QString program, int warm)
    : program_(std::move(program)), warm_(warm), recycler_(std::make_shared<PixelRecycler>()) {
    recycler_->pool = this;
}

DecoderPool::~DecoderPool() {
    {
        // Pictures still shown give their memory back to the system from now on.
        const std::lock_guard lock(recycler_->mutex);
        recycler_->pool = nullptr;
    }
    const std::lock_guard lock(mutex_);
    // Warm workers end when their socket closes; the zygote when its does.
    for (const auto& w : ready_) {
        killWorker(*w);
        ::close(w->socket);
        if (w->pidfd >= 0)
            ::close(w->pidfd);
        release(w->spare);
    }
    ready_.clear();
    release(std::exchange(spare_, nullptr));
    stopZygote();
}

void DecoderPool::recycle(PixelMemory* memory) {
    const std::lock_guard lock(mutex_);
    if (spare_ != nullptr || memory->length > KeptPixelMemory) {
        release(memory);
        return;
    }
    spare_ = memory;
    donate();
}

void DecoderPool::donate() {
    if (spare_ == nullptr)
        return;
    for (const auto& w : ready_) {
        if (w->spare != nullptr)
            continue;
        channel::Request msg{};
        msg.magic = channel::Magic;
        msg.job = channel::SpareMemory;
        if (channel::send(w->socket, &msg, sizeof msg, spare_->fd))
            w->spare = std::exchange(spare_, nullptr);
        return;
    }
}

void DecoderPool::adopt(const Worker& w) {
    ready_.push_back(std::make_unique<Worker>(w));
    donate();
}

QString DecoderPool::defaultProgram() {
    return QFile::decodeName(programDirectory().c_str()) + QStringLiteral("/lumorra_decoder");
}

void DecoderPool::stopZygote() {
    closeFd(control_);
    if (zygote_ > 0)
        waitFor(zygote_);
    zygote_ = -1;
    pending_ = 0;
}

bool DecoderPool::startZygote() {
    stopZygote();
    if (zygoteStarts_ >= ZygoteStarts)
        return false;
    ++zygoteStarts_;
    const StartedZygote started = startZygoteProcess(QFile::encodeName(program_).toStdString());
    control_ = started.control;
    zygote_ = started.pid;
    return control_ >= 0;
}

void DecoderPool::adoptZygote(int control, int pid) {
    const std::lock_guard lock(mutex_);
    if (control < 0 || pid <= 0 || control_ >= 0) {
        // Not taken: its socket's end makes it end, and it is reaped.
        closeFd(control);
        if (pid > 0)
            waitFor(pid);
        return;
    }
    ++zygoteStarts_;
    control_ = control;
    zygote_ = pid;
}

void DecoderPool::requestWorker() {
    const channel::ControlRequest spawn{channel::Control::Spawn, 0};
    if (control_ >= 0 && channel::send(control_, &spawn, sizeof spawn))
        ++pending_;
}

bool DecoderPool::receiveWorker(bool wait) {
    if (pending_ == 0 || control_ < 0)
        return false;
    channel::ControlReply reply{};
    int socket = -1;
    int pidfd = -1;
    if (!channel::receive(control_, &reply, sizeof reply, &socket, &pidfd,
                          wait ? ZygoteTimeoutMs : 0)) {
        if (wait)
            stopZygote(); // gone, or stuck
        return false;
    }
    --pending_;
    if (reply.what != channel::Control::Spawn || reply.pid <= 0 || socket < 0) {
        closeFd(socket);
        closeFd(pidfd);
        return false;
    }
    adopt(Worker{reply.pid, socket, pidfd, false});
    return true;
}

int DecoderPool::zygoteStatus(int pid) {
    const channel::ControlRequest ask{channel::Control::Status, pid};
    if (control_ < 0 || !channel::send(control_, &ask, sizeof ask))
        return 0;
    // Workers asked for before come first.
    for (;;) {
        channel::ControlReply reply{};
        int socket = -1;
        int pidfd = -1;
        if (!channel::receive(control_, &reply, sizeof reply, &socket, &pidfd, ZygoteTimeoutMs)) {
            stopZygote();
            return 0;
        }
        if (reply.what == channel::Control::Status)
            return reply.status;
        --pending_;
        if (socket >= 0 && reply.pid > 0)
            adopt(Worker{reply.pid, socket, pidfd, false});
        else
            closeFd(pidfd);
    }
}

// A job that makes pixels takes a worker that holds memory for them, others one that does not.
DecoderPool::Worker DecoderPool::take(bool forPixels) {
    const std::lock_guard lock(mutex_);
    while (pending_ > 0 && receiveWorker(false)) {
    }
    for (int attempt = 0; ready_.empty() && attempt < 2; ++attempt) {
        if (control_ < 0 && !startZygote())
            break;
        if (pending_ == 0)
            requestWorker();
        receiveWorker(true);
    }
    Worker w;
    if (!ready_.empty()) {
        auto chosen = ready_.begin();
        for (auto i = ready_.begin(); i != ready_.end(); ++i) {
            if (((*i)->spare != nullptr) == forPixels) {
                chosen = i;
                break;
            }
        }
        w = **chosen;
        ready_.erase(chosen);
        // A job without pixels leaves the memory to the next worker.
        if (!forPixels && w.spare != nullptr && spare_ == nullptr)
            spare_ = std::exchange(w.spare, nullptr);
    } else {
        // No zygote: a child of this process serves the job, confined as a worker is.
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            throw Error::fromErrno(errno);
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ends[0]);
            // It ends with the program, as a zygote's worker does: a program killed while its
            // child decodes leaves no child behind.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
            if (::getppid() != parent)
                ::_exit(1);
            restoreDefaultSignals();
            serveOneJob(ends[1], nullptr, true);
        }
        ::close(ends[1]);
        if (pid < 0) {
            ::close(ends[0]);
            throw outOfMemory();
        }
        w = Worker{pid, ends[0], -1, true};
    }
    return w;
}

void DecoderPool::finish(Worker& w, bool failed) {
    // A worker that answered has nothing left to do; one that failed is ended as well.
    killWorker(w);
    ::close(w.socket);
    release(std::exchange(w.spare, nullptr));
    const std::lock_guard lock(mutex_);
    // The next worker is forked now that this one is done: a fork while it decodes would take
    // the processor from it.
    while (control_ >= 0 && qsizetype(ready_.size()) + pending_ < warm_)
        requestWorker();
    int status = 0;
    if (w.ownChild) {
        status = waitFor(w.pid);
    } else if (failed) {
        status = zygoteStatus(w.pid);
    } else if (control_ >= 0) {
        const channel::ControlRequest reap{channel::Control::Reap, w.pid};
        channel::send(control_, &reap, sizeof reap);
    }
    if (w.pidfd >= 0)
        ::close(w.pidfd);
    if (failed)
        lastSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

int DecoderPool::lastFailureSignal() const {
    const std::lock_guard lock(mutex_);
    return lastSignal_;
}

void DecoderPool::warmUp() {
    const std::lock_guard lock(mutex_);
    if (control_ < 0 && !startZygote())
        return;
    while (qsizetype(ready_.size()) + pending_ < warm_)
        requestWorker();
}

namespace {

channel::Request messageFor(const JobRequest& request) {
    channel::Request msg{};
    msg.magic = channel::Magic;
    msg.job = qint32(request.job);
    msg.shownWidth = request.shown.width();
    msg.shownHeight = request.shown.height();
    msg.fitWidth = request.fitBounds.width();
    msg.fitHeight = request.fitBounds.height();
    msg.fitRatio = request.fitRatio;
    msg.regionX = request.region.x();
    msg.regionY = request.region.y();
    msg.regionWidth = request.region.width();
    msg.regionHeight = request.region.height();
    msg.budget = request.budget;
    msg.memory = request.memory;
    msg.libraries = librariesFor(request) |
                    (request.kind == WorkerKind::Drawing ? qint32(channel::Drawing) : 0);
    struct stat st {};
    msg.byteCount = request.sealed >= 0 ? (::fstat(request.sealed, &st) == 0 ? st.st_size : 0)
                    : request.file < 0  ? request.bytes.size()
                                        : -1;
    return msg;
}

// The input of a job: the bytes in a memfd of their own, or the file passed.
struct Input {
    explicit Input(const JobRequest& request)
        : fd(request.sealed >= 0 ? request.sealed
             : request.file < 0  ? bytesFd(request.bytes)
                                 : request.file),
          owned(request.sealed < 0 && request.file < 0) {}
    ~Input() { close(); }
    // A worker that has been sent the bytes holds them: they are freed when it ends, not here.
    void close() {
        if (owned && fd >= 0)
            ::close(std::exchange(fd, -1));
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    int fd;
    bool owned;
};

// The pixels' memfd of an answer, and the memory the worker was given for them.
struct Owned {
    int fd;
    PixelMemory* spare;
    ~Owned() {
        if (fd >= 0)
            ::close(fd);
        release(spare);
    }
};

void throwFor(const channel::Reply& reply) {
    if (reply.status == errc::OutOfMemory)
        throw outOfMemory();
    if (reply.status != 0)
        throw invalidPicture();
}

} // namespace

JobReply DecoderPool::run(const JobRequest& request, std::chrono::milliseconds timeout) {
    const channel::Request msg = messageFor(request);
    Input in(request);
    const bool forPixels = request.job != Job::Size;
    Worker w = take(forPixels);
    profile::markOnce("decode: worker ready");
    // A warm worker that died while it waited (the system ran out of memory) has not seen the
    // bytes: another one takes them. Never more than that.
    if (!channel::send(w.socket, &msg, sizeof msg, in.fd)) {
        finish(w, true);
        w = take(forPixels);
        if (!channel::send(w.socket, &msg, sizeof msg, in.fd)) {
            finish(w, true);
            throw invalidPicture();
        }
    }
    in.close();
    if (request.meanwhile) {
        try {
            request.meanwhile();
        } catch (...) {
            finish(w, true);
            throw;
        }
    }
    profile::markOnce("decode: job sent, bytes held");
    channel::Reply reply{};
    int fd = -1;
    const bool answered =
        channel::receive(w.socket, &reply, sizeof reply, &fd, nullptr, int(timeout.count()));
    profile::markOnce("decode: worker answered");
    Owned pixels{fd, std::exchange(w.spare, nullptr)};
    finish(w, !answered);
    if (!answered)
        throw invalidPicture();
    throwFor(reply);
    return replyFrom(reply, pixels.fd, pixels.spare, recycler_);
}

FrameSession::FrameSession(DecoderPool& pool, const JobRequest& request) : pool_(pool) {
    const channel::Request msg = messageFor(request);
    const Input in(request);
    worker_ = std::make_unique<DecoderPool::Worker>(pool_.take(true));
    if (!channel::send(worker_->socket, &msg, sizeof msg, in.fd)) {
        pool_.finish(*worker_, true);
        worker_ = std::make_unique<DecoderPool::Worker>(pool_.take(true));
        if (!channel::send(worker_->socket, &msg, sizeof msg, in.fd)) {
            end(true);
            throw invalidPicture();
        }
    }
}

FrameSession::~FrameSession() {
    end(false);
}

void FrameSession::end(bool failed) {
    if (worker_)
        pool_.finish(*worker_, failed);
    worker_.reset();
}

JobReply FrameSession::next(std::chrono::milliseconds timeout) {
    if (!worker_)
        return {};
    // The job asked for the first frame; each frame after it is decoded when asked for, so
    // that no more than the frames the program holds exist.
    if (asked_) {
        channel::Request ask{};
        ask.magic = channel::Magic;
        ask.job = channel::NextFrame;
        if (!channel::send(worker_->socket, &ask, sizeof ask)) {
            end(true);
            throw invalidPicture();
        }
    }
    asked_ = true;
    channel::Reply reply{};
    int fd = -1;
    const bool answered =
        channel::receive(worker_->socket, &reply, sizeof reply, &fd, nullptr, int(timeout.count()));
    // The memory given to the worker went with the first frame, if it fitted.
    Owned pixels{fd, std::exchange(worker_->spare, nullptr)};
    if (!answered || reply.status != 0) {
        end(!answered);
        if (!answered)
            throw invalidPicture();
        throwFor(reply);
    }
    JobReply r;
    try {
        r = replyFrom(reply, pixels.fd, pixels.spare, pool_.recycler_);
    } catch (...) {
        end(true);
        throw;
    }
    if (r.image.isNull())
        end(false); // the last frame was the one before
    return r;
}

} // namespace lumorra::picture
