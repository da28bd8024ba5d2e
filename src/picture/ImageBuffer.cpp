#include "ImageBuffer.h"

#include "platform/Error.h"

#include <climits>
#include <cstdint>
#include <limits>
#include <memory>
#include <sys/mman.h>

namespace lumorra {
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
// Below this a few hundred page faults at most; the ordinary allocation serves.
constexpr qsizetype MappedMinimum = qsizetype(4) << 20;

struct Mapping {
    void* start;
    std::size_t length;
};

void unmap(void* info) {
    auto* m = static_cast<Mapping*>(info);
    ::munmap(m->start, m->length);
    delete m;
}

// Set once, before any thread of the process starts.
ImageAllocator allocator = nullptr;

} // namespace

void setImageAllocator(ImageAllocator a) {
    allocator = a;
}

QImage newImage(QSize size, QImage::Format format) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return QImage();
    if (allocator != nullptr)
        return allocator(size, format);
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    // QImage's own line length: whole 32-bit words.
    const qsizetype bytesPerLine = ((qsizetype(size.width()) * depth + 31) / 32) * 4;
    const qsizetype bytes = bytesPerLine * size.height();
    if (bytes < MappedMinimum || bytesPerLine > INT_MAX ||
        bytes > qsizetype(std::numeric_limits<qsizetype>::max() / 2))
        return QImage(size, format);
    auto info = std::make_unique<Mapping>();
    // Mapped with room to start on a huge-page boundary; the slack is given back.
    const std::size_t length = (std::size_t(bytes) + HugePage - 1) & ~(HugePage - 1);
    void* mapped = ::mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return QImage(size, format);
    auto* const base = static_cast<char*>(mapped);
    auto* const start = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(base) + HugePage - 1) & ~std::uintptr_t(HugePage - 1));
    if (start > base)
        ::munmap(base, std::size_t(start - base));
    if (base + length + HugePage > start + length)
        ::munmap(start + length, std::size_t(base + length + HugePage - (start + length)));
    ::madvise(start, length, MADV_HUGEPAGE); // a hint: without huge pages the memory still serves
    *info = Mapping{start, length};
    QImage image(reinterpret_cast<uchar*>(start), size.width(), size.height(), bytesPerLine, format,
                 unmap, info.get());
    if (image.isNull()) {
        ::munmap(start, length);
        return QImage();
    }
    info.release(); // the image's now: unmapped with its last copy
    return image;
}

QImage toDisplayFormat(const QImage& image) {
    if (image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        return image;
    const QImage converted = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                           : QImage::Format_RGB32);
    if (converted.isNull())
        throw Error::program(errc::OutOfMemory);
    return converted;
}

} // namespace lumorra
