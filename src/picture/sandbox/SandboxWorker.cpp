#include "SandboxWorker.h"

#include "Confinement.h"
#include "DrawingWorker.h"
#include "PictureJobs.h"
#include "SandboxChannel.h"
#include "SandboxMemory.h"
#include "picture/ImageBuffer.h"
#include "picture/PictureLoader.h"
#include "picture/formats/AnimationFrames.h"
#include "picture/formats/FormatLibraries.h"
#include "picture/formats/PictureDetails.h"
#include "picture/formats/RawDecoder.h"

#include <QBuffer>
#include <QImageReader>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lumorra::picture {
namespace {

// --- the memory of the answer ---------------------------------------------------------------

// The images a worker makes live in memfds the program maps: the pixels are decoded once, into
// the memory the picture keeps. (A worker is one process with one job: its own list.)
struct SharedBlock {
    int fd;
    uchar* start;
    std::size_t length;
};
std::vector<SharedBlock>& blocks() {
    static std::vector<SharedBlock> list;
    return list;
}

// The memory the program gave for the pixels (SandboxMemory.h), cleared.
SharedBlock& given() {
    static SharedBlock block{-1, nullptr, 0};
    return block;
}

void noCleanup(void*) {}

void populate(void* start, std::size_t length) {
#if defined(MADV_POPULATE_WRITE)
    // The pages in one go: a decode that faults them in one by one spends more on that than on
    // decoding a small photo.
    ::madvise(start, length, MADV_POPULATE_WRITE);
#endif
}

void* mapBlock(int fd, std::size_t length) {
    void* start = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return start == MAP_FAILED ? nullptr : start;
}

// Takes the program's memory: cleared now, while no picture has been read, since it held the
// pixels of another picture.
void keepGiven(int fd) {
    SharedBlock& g = given();
    if (g.fd >= 0) {
        ::munmap(g.start, g.length);
        ::close(g.fd);
        g = {-1, nullptr, 0};
    }
    struct stat st {};
    void* start = nullptr;
    if (::fstat(fd, &st) != 0 || st.st_size <= 0 || std::size_t(st.st_size) > KeptPixelMemory ||
        (start = mapBlock(fd, std::size_t(st.st_size))) == nullptr) {
        ::close(fd);
        return;
    }
    populate(start, std::size_t(st.st_size));
    std::memset(start, 0, std::size_t(st.st_size));
    g = {fd, static_cast<uchar*>(start), std::size_t(st.st_size)};
}

// A memfd of its own, sealed against shrinking: the program maps only memory that stays.
SharedBlock newBlock(std::size_t length) {
    const int fd = ::memfd_create("lumorra-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return {-1, nullptr, 0};
    void* start = nullptr;
    if (::ftruncate(fd, off_t(length)) != 0 || ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK) != 0 ||
        (start = mapBlock(fd, length)) == nullptr) {
        ::close(fd);
        return {-1, nullptr, 0};
    }
    populate(start, length);
    return {fd, static_cast<uchar*>(start), length};
}

QImage sharedImage(QSize size, QImage::Format format) {
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = ((qsizetype(size.width()) * depth + 31) / 32) * 4;
    const std::size_t length = std::size_t(bytesPerLine) * std::size_t(size.height());
    SharedBlock b{-1, nullptr, 0};
    // The given memory serves a picture that fills at least half of it.
    SharedBlock& g = given();
    if (g.fd >= 0 && length <= g.length && g.length / 2 <= length)
        b = std::exchange(g, SharedBlock{-1, nullptr, 0});
    else
        b = newBlock(length);
    if (b.fd < 0)
        return QImage();
    blocks().push_back(b);
    return QImage(b.start, size.width(), size.height(), bytesPerLine, format, noCleanup, nullptr);
}

// The shared block an image's pixels are in; a new one with a copy when they are not.
const SharedBlock* blockOf(const QImage& image) {
    for (const SharedBlock& b : blocks()) {
        if (image.constBits() == b.start && std::size_t(image.sizeInBytes()) <= b.length)
            return &b;
    }
    QImage copy = sharedImage(image.size(), image.format());
    if (copy.isNull() || copy.bytesPerLine() != image.bytesPerLine())
        throw outOfMemory();
    std::memcpy(copy.bits(), image.constBits(), std::size_t(image.sizeInBytes()));
    return &blocks().back();
}

// --- serving a job --------------------------------------------------------------------------

void quietMessages(QtMsgType, const QMessageLogContext&, const QString& text) {
    // Qt's own handler asks about the terminal and the journal, which the filter refuses.
    const QByteArray line = "lumorra_decoder: " + text.toLocal8Bit() + '\n';
    (void)!::write(STDERR_FILENO, line.constData(), size_t(line.size()));
}

bool sendReply(int socket, const JobReply& r) {
    channel::Reply out{};
    int fd = -1;
    if (!r.image.isNull()) {
        if (r.image.format() != QImage::Format_RGB32 && r.image.format() != QImage::Format_ARGB32)
            throw invalidPicture();
        const SharedBlock* b = blockOf(r.image);
        fd = b->fd;
        out.width = r.image.width();
        out.height = r.image.height();
        out.bytesPerLine = int(r.image.bytesPerLine());
        out.imageFormat = int(r.image.format());
        out.pixelOffset = 0;
        out.iccOffset = qint64(r.image.sizeInBytes());
    }
    if (!r.colour.icc.isEmpty()) {
        if (fd < 0) {
            fd = ::memfd_create("lumorra-profile", MFD_CLOEXEC);
            out.iccOffset = 0;
        }
        const QByteArray& icc = r.colour.icc;
        if (fd < 0 || ::pwrite(fd, icc.constData(), size_t(icc.size()), off_t(out.iccOffset)) !=
                          ssize_t(icc.size()))
            throw outOfMemory();
        out.iccLength = icc.size();
    }
    if (!r.text.isEmpty()) {
        if (fd < 0)
            fd = ::memfd_create("lumorra-text", MFD_CLOEXEC);
        out.textOffset = out.iccOffset + out.iccLength;
        if (fd < 0 || r.text.size() > ReplyTextCap ||
            ::pwrite(fd, r.text.constData(), size_t(r.text.size()), off_t(out.textOffset)) !=
                ssize_t(r.text.size()))
            throw outOfMemory();
        out.textLength = r.text.size();
    }
    // An invalid size (none told) crosses as empty.
    out.naturalWidth = qMax(0, r.naturalSize.width());
    out.naturalHeight = qMax(0, r.naturalSize.height());
    out.flags = r.flags;
    out.transformation = r.transformation;
    out.cicpPrimaries = r.colour.cicpPrimaries;
    out.cicpTransfer = r.colour.cicpTransfer;
    out.delay = r.delay;
    out.repeats = r.repeats;
    std::strncpy(out.format.data(), r.format.constData(), out.format.size() - 1);
    const bool sent = channel::send(socket, &out, sizeof out, fd);
    // A profile's memfd of its own is the program's now.
    if (fd >= 0 && r.image.isNull())
        ::close(fd);
    return sent;
}

[[noreturn]] void answer(int socket, const JobReply& r) {
    ::_exit(sendReply(socket, r) ? 0 : 1);
}

// The memory of the images sent: the program has them mapped, this process is done with them.
void releaseBlocks() {
    for (const SharedBlock& b : blocks()) {
        ::munmap(b.start, b.length);
        ::close(b.fd);
    }
    blocks().clear();
}

// Plays an animation's passes as its loop count says: the next frame, the first of the next
// pass after the last, none once the last pass is played. A frame too damaged to show ends
// its pass; a pass of one frame has nothing to play.
class Player {
public:
    Player(std::unique_ptr<FrameReader> reader, int repeats)
        : reader_(std::move(reader)), repeats_(repeats) {}

    bool next(Frame& frame) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool got = false;
            try {
                got = reader_->next(frame);
            } catch (...) {
                got = false;
            }
            if (got) {
                ++inPass_;
                return true;
            }
            if (inPass_ < 2 || (reader_->loops >= 0 && repeats_ >= reader_->loops))
                return false;
            ++repeats_;
            inPass_ = 0;
            reader_->rewind();
        }
        return false;
    }
    int repeats() const { return repeats_; }
    const ColourSource& colour() const { return reader_->colour; }

private:
    std::unique_ptr<FrameReader> reader_;
    int repeats_;
    int inPass_ = 0;
};

// A Frames job: one frame a request from the program, until the last or until the program
// goes away. Frame request.region.x() of the pass after request.region.y() passes comes first.
[[noreturn]] void serveFrames(int socket, const JobRequest& request) {
    Player player(openFrames(request.bytes, request.budget), qMax(0, request.region.y()));
    for (int skip = qMax(0, request.region.x()); skip > 0; --skip) {
        bool more = false;
        {
            Frame dropped;
            more = player.next(dropped);
        }
        releaseBlocks();
        if (!more)
            break;
    }
    for (bool first = true;; first = false) {
        {
            Frame frame;
            JobReply r;
            if (player.next(frame)) {
                r.image = frame.image;
                r.delay = frame.delay;
            } else if (first) {
                throw invalidPicture();
            }
            r.colour = player.colour();
            r.repeats = player.repeats();
            if (!sendReply(socket, r) || r.image.isNull())
                ::_exit(0);
        }
        releaseBlocks();
        channel::Request in{};
        int none = -1;
        if (!channel::receive(socket, &in, sizeof in, &none, nullptr, -1) ||
            in.magic != channel::Magic || in.job != channel::NextFrame)
            ::_exit(0);
        if (none >= 0)
            ::close(none);
    }
}

// The libraries a job needs that the zygote has not loaded, loaded while files may still be
// opened.
void prepareFor(qint32 libraries) {
    if ((libraries & channel::HeifLibrary) != 0)
        loadHeifLibrary();
    if ((libraries & channel::JxlLibrary) != 0)
        loadJxlLibrary();
    if ((libraries & channel::RawLibrary) != 0)
        loadRawLibrary();
    if ((libraries & channel::AvifLibrary) != 0)
        loadAvifLibrary();
    if ((libraries & channel::TiffLibrary) != 0)
        loadTiffLibrary();
}

JobRequest requestFrom(const channel::Request& in, int fd) {
    JobRequest r;
    r.job = Job(in.job);
    r.shown = QSize(in.shownWidth, in.shownHeight);
    r.fitBounds = QSize(in.fitWidth, in.fitHeight);
    r.fitRatio =
        std::isfinite(in.fitRatio) && in.fitRatio > 0 && in.fitRatio <= 16 ? in.fitRatio : 1;
    r.region = QRect(in.regionX, in.regionY, in.regionWidth, in.regionHeight);
    r.budget = in.budget;
    r.memory = in.memory;
    r.kind = (in.libraries & channel::Drawing) != 0 ? WorkerKind::Drawing : WorkerKind::Picture;
    if (in.byteCount < 0) {
        r.file = fd;
        return r;
    }
    if (in.byteCount > 0) {
        void* bytes = ::mmap(nullptr, size_t(in.byteCount), PROT_READ, MAP_PRIVATE, fd, 0);
        if (bytes == MAP_FAILED)
            throw outOfMemory();
        r.bytes = QByteArray::fromRawData(static_cast<const char*>(bytes), qsizetype(in.byteCount));
    }
    ::close(fd);
    return r;
}

// Asked about empty bytes, some readers say so: nothing of that is shown.
struct Quiet {
    QtMessageHandler before =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    ~Quiet() { qInstallMessageHandler(before); }
};

// Asks Qt's reader of `format` about nothing, which loads its plugin and creates its handler.
void askReader(const QByteArray& format) {
    const Quiet quiet;
    QByteArray nothing;
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    (void)reader.canRead();
}

// Everything a decode opens files for, done before a worker confines itself: Qt's image format
// plugins, each asked once. The zygote does it once it is idle, for the workers it forks later.
void loadImageReaders() {
    const Quiet quiet;
    loadImageFormatPlugins();
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        askReader(format);
}

} // namespace

void serveOneJob(int socket, ExtraJobs extra, bool readersLoaded) {
    channel::Request in{};
    int fd = -1;
    for (;;) {
        // A program that has gone away leaves an end of the stream: nothing to do then.
        if (!channel::receive(socket, &in, sizeof in, &fd, nullptr, -1) ||
            in.magic != channel::Magic)
            ::_exit(0);
        if (in.job != channel::SpareMemory)
            break;
        if (fd >= 0)
            keepGiven(fd);
    }
    prepareFor(in.libraries);
    if (!readersLoaded && (in.libraries & channel::JpegReaderOnly) == 0)
        loadImageReaders();
    if (Job(in.job) == Job::Details)
        prepareDetailsReading();
    setImageAllocator(sharedImage);
    if ((in.libraries & channel::Drawing) != 0) {
        bool ready = false;
        const QByteArrayList readable = prepareDrawing(&ready);
        if (!ready || !confineDrawing(in.memory, readable))
            ::_exit(1);
    } else if (!confine(in.memory)) {
        ::_exit(1);
    }
    try {
        const JobRequest request = requestFrom(in, fd);
        if (request.job == Job::Frames)
            serveFrames(socket, request);
        JobReply reply;
        if (request.job < Job::FirstExtra)
            reply = runPictureJob(request);
        else if (extra == nullptr || !extra(request, reply))
            throw invalidPicture();
        answer(socket, reply);
    } catch (...) {
        channel::Reply out{};
        try {
            throw;
        } catch (const std::bad_alloc&) {
            out.status = errc::OutOfMemory;
        } catch (...) {
            const Error e = Error::fromCurrentException();
            out.status = e.number == errc::OutOfMemory ? errc::OutOfMemory : errc::InvalidPicture;
        }
        channel::send(socket, &out, sizeof out);
        ::_exit(0);
    }
}

namespace {

// --- the zygote -----------------------------------------------------------------------------

constexpr std::chrono::milliseconds ReadersAfter(100);

void spawn(int control, ExtraJobs extra, bool readersLoaded) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        const channel::ControlReply none{channel::Control::Spawn, -1, 0};
        channel::send(control, &none, sizeof none);
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(control);
        ::close(ends[0]);
        // A worker left behind by a zygote that died ends too.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
        serveOneJob(ends[1], extra, readersLoaded);
    }
    ::close(ends[1]);
    // Only this process reaps its workers, when the program says so: the pid is the worker's
    // until then, and so is the pidfd.
    const int pidfd = pid > 0 ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    const channel::ControlReply reply{channel::Control::Spawn, pid, 0};
    channel::send(control, &reply, sizeof reply, pid > 0 ? ends[0] : -1, pidfd);
    ::close(ends[0]);
    if (pidfd >= 0)
        ::close(pidfd);
}

int reap(int pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

int runZygote(int control, ExtraJobs extra) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() == 1)
        return 0;
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(quietMessages);
    // The workers the program asks for first, forked at once, have the JPEG reader, which the
    // photo the program starts with needs; every other reader loads once no request came for a
    // while, and leaves the processor to the start meanwhile.
    askReader("jpeg");
    bool readersLoaded = false;
    for (;;) {
        if (!readersLoaded) {
            pollfd waiting{control, POLLIN, 0};
            if (::poll(&waiting, 1, int(ReadersAfter.count())) == 0) {
                loadImageReaders();
                readersLoaded = true;
            }
        }
        channel::ControlRequest in{};
        int none = -1;
        if (!channel::receive(control, &in, sizeof in, &none, nullptr, -1))
            return 0; // the program has gone
        if (none >= 0)
            ::close(none);
        switch (in.what) {
        case channel::Control::Spawn:
            spawn(control, extra, readersLoaded);
            break;
        case channel::Control::Reap:
            reap(in.pid);
            break;
        case channel::Control::Status: {
            const channel::ControlReply reply{channel::Control::Status, in.pid, reap(in.pid)};
            channel::send(control, &reply, sizeof reply);
            break;
        }
        }
    }
}

} // namespace

int decoderMain(int argc, char* argv[], ExtraJobs extra) {
    if (argc != 3 || std::strcmp(argv[1], "--zygote") != 0) {
        std::fprintf(stderr, "lumorra_decoder: started by the program only\n");
        return 2;
    }
    const int control = std::atoi(argv[2]);
    // Nothing of the program's but the socket.
    ::syscall(SYS_close_range, control + 1, ~0U, 0);
    return runZygote(control, extra);
}

} // namespace lumorra::picture
