#include "SandboxMemory.h"

#include "Sandbox.h"

#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

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
