#include "EmfReader.h"

#include "picture/ImageBuffer.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <emf2svg.h>
#include <memory>

namespace lumorra::picture {
namespace {

constexpr quint32 EmrHeader = 1;
constexpr quint32 EmrEof = 14;
constexpr quint32 EmfSignature = 0x464D4520; // " EMF"
// No device draws wider than this; a header claiming more is damaged.
constexpr qint64 MaxNaturalSide = 1 << 20;
// The SVG of any EMF worth showing is far smaller.
constexpr qint64 MaxSvgBytes = qint64(512) << 20;

qint32 i32(const QByteArray& b, qsizetype at) {
    return littleEndian<qint32>(b, at);
}
quint32 u32(const QByteArray& b, qsizetype at) {
    return littleEndian<quint32>(b, at);
}

// Walks the records: each one whole inside the file, a multiple of four bytes, the first the
// header and the last the end-of-file record. libemf2svg checks less than this before it reads.
void checkRecords(const QByteArray& data) {
    qsizetype at = 0;
    quint32 type = 0;
    while (at < data.size()) {
        if (data.size() - at < 8)
            throw invalidPicture();
        type = u32(data, at);
        const quint32 size = u32(data, at + 4);
        if (size < 8 || size % 4 != 0 || size > quint64(data.size() - at))
            throw invalidPicture();
        if ((at == 0) != (type == EmrHeader))
            throw invalidPicture();
        at += size;
        if (type == EmrEof)
            return;
    }
    throw invalidPicture();
}

// The header's description (UTF-16, nDescription characters at offDescription) and pixel
// format (cbPixelFormat bytes at offPixelFormat) must lie inside the header record: the EMF
// library reads them without looking.
void checkHeaderText(const QByteArray& data) {
    const quint64 headerSize = u32(data, 4);
    const quint64 count = u32(data, 60), offset = u32(data, 64);
    if (count != 0 || offset != 0) {
        if (offset < quint64(EmfHeaderBytes) || offset >= headerSize ||
            offset + 2 * count > headerSize)
            throw invalidPicture();
    }
    // The pixel format fields exist only where the description leaves room for them.
    const quint64 fixedEnd = (count != 0 || offset != 0) ? qMin(offset, headerSize) : headerSize;
    if (fixedEnd >= quint64(EmfHeaderBytes) + 8) {
        const quint64 bytes = u32(data, 88), at = u32(data, 92);
        if ((bytes != 0 || at != 0) &&
            (at < quint64(EmfHeaderBytes) || at >= headerSize || at + bytes > headerSize))
            throw invalidPicture();
    }
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

} // namespace

} // namespace lumorra::picture

// libemf2svg looks up a font file for each text record with fontconfig and then calls FcFini(),
// which tears down fontconfig's default configuration. Qt, which draws the SVG in the same
// process, holds references into fontconfig's caches: fontconfig then aborts on an assertion, or
// Qt reads freed memory. Nothing in this program needs fontconfig torn down
// before the end, so the program has an FcFini() of its own that does nothing; the dynamic
// linker finds it before fontconfig's (CMakeLists.txt exports it).
extern "C" void FcFini(void) {}

namespace lumorra::picture {

QSize emfNaturalSize(const QByteArray& data, qint64 fileSize) {
    // The header record, up to and with szlMillimeters, inside the file.
    if (data.size() < EmfHeaderBytes || u32(data, 0) != EmrHeader ||
        u32(data, 40) != EmfSignature || u32(data, 4) < quint32(EmfHeaderBytes) ||
        qint64(u32(data, 4)) > fileSize)
        throw invalidPicture();
    const qint64 left = i32(data, 8), top = i32(data, 12), right = i32(data, 16),
                 bottom = i32(data, 20);
    qint64 width = right - left + 1, height = bottom - top + 1;
    if (right < left || bottom < top) {
        // Empty bounds: the frame, in hundredths of a millimetre, at the device's pixels per
        // millimetre.
        const qint64 frameWidth = qint64(i32(data, 32)) - i32(data, 24) + 1;
        const qint64 frameHeight = qint64(i32(data, 36)) - i32(data, 28) + 1;
        const qint64 devicePixelsX = i32(data, 72), devicePixelsY = i32(data, 76);
        const qint64 deviceMmX = i32(data, 80), deviceMmY = i32(data, 84);
        if (frameWidth <= 0 || frameHeight <= 0 || devicePixelsX <= 0 || devicePixelsY <= 0 ||
            deviceMmX <= 0 || deviceMmY <= 0)
            throw invalidPicture();
        width =
            std::llround(double(frameWidth) / 100.0 * double(devicePixelsX) / double(deviceMmX));
        height =
            std::llround(double(frameHeight) / 100.0 * double(devicePixelsY) / double(deviceMmY));
    }
    if (width <= 0 || height <= 0 || width > MaxNaturalSide || height > MaxNaturalSide)
        throw invalidPicture();
    return QSize(int(width), int(height));
}

MetafileDrawing drawEmf(const QByteArray& data, QSize size) {
    const QSize natural = emfNaturalSize(data, data.size());
    checkHeaderText(data);
    checkRecords(data);
    const QSize raster = size.isEmpty() ? metafileRaster(natural) : size;
    requireMemoryFor(raster);

    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    QByteArray input = data; // emf2svg() takes a mutable buffer
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(input.data(), size_t(input.size()), &text, &length, &options);
    const std::unique_ptr<char, FreeDeleter> owned(text);
    // emf2svg() returns 1 when it read the whole file; on a damaged record it stops, perhaps
    // with part of a drawing written, which is not shown.
    if (ok != 1 || text == nullptr || length == 0 || length > size_t(MaxSvgBytes))
        throw invalidPicture();
    const QByteArray svg = QByteArray::fromRawData(text, qsizetype(length));

    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw invalidPicture();
    QImage image = newImage(raster, QImage::Format_ARGB32);
    if (image.isNull())
        throw outOfMemory();
    image.fill(Qt::transparent);
    // The SVG counts in the EMF's device pixels, from the bounds' corner; it is a pixel smaller
    // than the inclusive bounds. Drawn one SVG unit to a natural pixel, scaled to the raster.
    QRectF box = renderer.viewBoxF();
    if (box.isEmpty())
        box = QRectF(QPointF(0, 0), QSizeF(renderer.defaultSize()));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(double(raster.width()) / natural.width(),
                      double(raster.height()) / natural.height());
        renderer.render(&painter, QRectF(QPointF(0, 0), box.size()));
    }
    return {natural, image};
}

} // namespace lumorra::picture
