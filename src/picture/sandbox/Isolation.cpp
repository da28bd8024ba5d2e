#include "Isolation.h"

#include "Confinement.h"
#include "picture/Decoding.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumorra::picture {
namespace {

// The first word of every answer: 0, or the Error number the child failed with.
using Status = qint32;

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            throw Error::fromErrno(errno);
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeFd(fds_[0]); }
    void closeWrite() { closeFd(fds_[1]); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};

struct SharedMapping {
    void* start;
    std::size_t length;
};

void unmapShared(void* info) {
    auto* m = static_cast<SharedMapping*>(info);
    ::munmap(m->start, m->length);
    delete m;
}

// An image in memory shared with the child processes forked after it is made.
QImage sharedImage(QSize size, QImage::Format format) {
    if (size.isEmpty() || QImage::toPixelFormat(format).bitsPerPixel() != 32)
        throw invalidPicture();
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const std::size_t length = std::size_t(bytesPerLine) * std::size_t(size.height());
    void* start =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        throw outOfMemory();
    auto* info = new (std::nothrow) SharedMapping{start, length};
    if (info == nullptr) {
        ::munmap(start, length);
        throw outOfMemory();
    }
    QImage image(static_cast<uchar*>(start), size.width(), size.height(), bytesPerLine, format,
                 unmapShared, info);
    if (image.isNull()) {
        unmapShared(info);
        throw outOfMemory();
    }
    return image;
}

[[noreturn]] void childBody(const std::function<void(ChildWriter&)>& child, int fd, qint64 memory) {
    restoreDefaultSignals();
    limitMemory(memory);
    ChildWriter writer(fd);
    int code = 0;
    try {
        child(writer);
    } catch (...) {
        const Error e = Error::fromCurrentException();
        if (writer.started())
            code = 1;
        else
            ignoreErrors([&] { writer.fail(e.number); });
    }
    // _exit: the child must not run the parent's exit handlers, flush its stdio buffers or
    // destroy Qt's objects.
    ::_exit(code);
}

} // namespace

void ChildWriter::write(const void* data, qsizetype length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd_, p, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        p += n;
        length -= n;
    }
}

void ChildWriter::send(const void* data, qsizetype length) {
    if (!started_) {
        const Status ok = 0;
        write(&ok, sizeof ok);
        started_ = true;
    }
    write(data, length);
}

void ChildWriter::fail(int number) {
    if (started_)
        ::_exit(1);
    const Status status = number != 0 ? number : errc::InvalidPicture;
    started_ = true;
    write(&status, sizeof status);
}

void ChildReply::read(void* into, qsizetype length) {
    char* p = static_cast<char*>(into);
    while (length > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw invalidPicture();
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            throw invalidPicture();
        const ssize_t n = ::read(fd_, p, size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) // the child ended, or died, before its answer was complete
            throw invalidPicture();
        p += n;
        length -= n;
    }
}

void runIsolated(const std::function<void(ChildWriter&)>& child,
                 const std::function<void(ChildReply&)>& parent, std::chrono::milliseconds timeout,
                 qint64 memory) {
    Pipe pipe;
    const pid_t pid = ::fork();
    if (pid < 0)
        throw errno == ENOMEM || errno == EAGAIN ? outOfMemory() : Error::fromErrno(errno);
    if (pid == 0) {
        ::close(pipe.readEnd());
        childBody(child, pipe.writeEnd(), memory);
    }
    pipe.closeWrite();

    // However the reading ends, the child is ended and reaped.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
            }
        }
    } reaper{pid};

    ChildReply reply(pipe.readEnd(), std::chrono::steady_clock::now() + timeout);
    const auto status = reply.read<Status>();
    if (status == errc::OutOfMemory)
        throw outOfMemory();
    if (status != 0)
        throw invalidPicture();
    parent(reply);
}

QImage decodeIsolated(QSize size, QImage::Format format, const std::function<void(QImage&)>& decode,
                      std::chrono::milliseconds timeout, qint64 memory) {
    QImage image = sharedImage(size, format);
    runIsolated(
        [&](ChildWriter& out) {
            decode(image);
            const qint32 done = 1;
            out.send(&done, sizeof done);
        },
        [&](ChildReply& in) {
            if (in.read<qint32>() != 1)
                throw invalidPicture();
        },
        timeout, memory);
    // The children of later decodes do not share the picture: whatever goes wrong in them
    // cannot reach its pixels, and they fork without mapping it.
    ::madvise(image.bits(), std::size_t(image.sizeInBytes()), MADV_DONTFORK);
    return image;
}

} // namespace lumorra::picture
