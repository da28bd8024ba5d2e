#include "SandboxMemory.h"

#include "Sandbox.h"
#include "picture/Decoding.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumorra::picture {
namespace {

struct ImageMemory {
    PixelMemory* memory;
    std::shared_ptr<PixelRecycler> recycler;
};

void giveBack(void* info) {
    auto* m = static_cast<ImageMemory*>(info);
    {
        const std::lock_guard lock(m->recycler->mutex);
        if (m->recycler->pool != nullptr)
            m->recycler->pool->recycle(m->memory);
        else
            release(m->memory);
    }
    delete m;
}

// Copies the bytes from `at` on with read() and write(), for a file system the kernel cannot
// copy from itself. Returns where the file ended, -1 with errno set where a call failed.
off_t copyByHand(int to, int from, off_t at, qint64 size) {
    std::vector<char> buffer(std::size_t(1) << 20);
    while (at < size) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? -1 : at;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return errno = ENOSPC, -1;
            done += w;
        }
        at += n;
    }
    return at;
}

} // namespace

int sealedCopy(int file, qint64 size) {
    const int fd = ::memfd_create("lumorra-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        throw outOfMemory();
    off_t at = 0;
    int error = 0;
    while (at < size) {
        const ssize_t n = ::sendfile(fd, file, &at, std::size_t(size - at));
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
            at = copyByHand(fd, file, at, size);
            error = at < 0 ? errno : 0;
        } else if (n < 0) {
            error = errno;
        }
        break; // the file ends early, or is copied by hand
    }
    if (error != 0) {
        ::close(fd);
        throw error == ENOSPC || error == ENOMEM ? outOfMemory() : Error::fromErrno(error);
    }
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

void release(PixelMemory* memory) {
    if (memory == nullptr)
        return;
    if (memory->start != nullptr)
        ::munmap(memory->start, memory->length);
    if (memory->fd >= 0)
        ::close(memory->fd);
    delete memory;
}

PixelMemory* mapPixels(int fd, std::size_t length) {
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & F_SEAL_SHRINK) == 0 || ::fstat(fd, &st) != 0 ||
        qint64(length) > qint64(st.st_size) || length == 0)
        return nullptr;
    void* start = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (start == MAP_FAILED)
        return nullptr;
    // Children forked later (a metafile's reader) do not share the picture.
    ::madvise(start, length, MADV_DONTFORK);
    auto* m = new (std::nothrow) PixelMemory{fd, start, length, st.st_dev, st.st_ino};
    if (m == nullptr)
        ::munmap(start, length);
    return m;
}

QImage imageOver(PixelMemory* memory, int width, int height, int bytesPerLine,
                 QImage::Format format, const std::shared_ptr<PixelRecycler>& recycler) {
    auto* info = new (std::nothrow) ImageMemory{memory, recycler};
    if (info == nullptr) {
        release(memory);
        return QImage();
    }
    QImage image(static_cast<uchar*>(memory->start), width, height, bytesPerLine, format, giveBack,
                 info);
    if (image.isNull())
        giveBack(info);
    return image;
}

} // namespace lumorra::picture
