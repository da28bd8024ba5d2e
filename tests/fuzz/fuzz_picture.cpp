// The picture loader through one format's entry, told by the build (LUMORRA_FUZZ_JPEG, ...).
// Inputs without the format's magic number are refused, so that each target stays with its
// format. The loader takes a path: each input is written to one temporary file.
//
// Every format is read in a decoder worker, as the viewer does (WMF, EMF and SVG in a drawing
// worker): the target tests that nothing the worker does reaches the program, and the program's
// own checks around the worker. A child that hangs is ended by the loader's own
// deadline, below the run's -timeout.

#include "FuzzSupport.h"
#include "picture/Decoding.h"
#include "picture/PictureLoader.h"
#include "picture/formats/RawDecoder.h"
#include "picture/sandbox/Sandbox.h"
#include "platform/Error.h"

#include <QByteArrayView>
#include <QtEndian>

#include <cstring>

namespace {

// The decoder workers of the run.
lumorra::picture::DecoderPool& decoders() {
    static lumorra::picture::DecoderPool pool(lumorra::picture::DecoderPool::defaultProgram());
    return pool;
}

[[maybe_unused]] quint16 u16(const uint8_t* d, size_t at) {
    return qFromLittleEndian<quint16>(d + at);
}
[[maybe_unused]] quint32 u32(const uint8_t* d, size_t at) {
    return qFromLittleEndian<quint32>(d + at);
}

[[maybe_unused]] bool startsWith(const uint8_t* data, size_t size, const char* magic,
                                 size_t length) {
    return size >= length && std::memcmp(data, magic, length) == 0;
}

// Whether the input is of the target's format, as the loader tells it.
bool ofFormat(const uint8_t* data, size_t size) {
#if defined(LUMORRA_FUZZ_JPEG)
    return startsWith(data, size, "\xFF\xD8\xFF", 3);
#elif defined(LUMORRA_FUZZ_BMP)
    return startsWith(data, size, "BM", 2);
#elif defined(LUMORRA_FUZZ_GIF)
    return startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6);
#elif defined(LUMORRA_FUZZ_ICO)
    return size >= 6 && u16(data, 0) == 0 && (u16(data, 2) == 1 || u16(data, 2) == 2) &&
           u16(data, 4) > 0;
#elif defined(LUMORRA_FUZZ_WMF)
    if (size >= 4 && u32(data, 0) == 0x9AC6CDD7u)
        return true;
    return size >= 18 && (u16(data, 0) == 1 || u16(data, 0) == 2) && u16(data, 2) == 9 &&
           (u16(data, 4) == 0x0100 || u16(data, 4) == 0x0300);
#elif defined(LUMORRA_FUZZ_EMF)
    return size >= 44 && u32(data, 0) == 1 && u32(data, 40) == 0x464D4520u;
#elif defined(LUMORRA_FUZZ_PNG)
    return startsWith(data, size, "\x89PNG\r\n\x1A\n", 8);
#elif defined(LUMORRA_FUZZ_WEBP)
    return size >= 12 && startsWith(data, size, "RIFF", 4) && std::memcmp(data + 8, "WEBP", 4) == 0;
#elif defined(LUMORRA_FUZZ_TIFF) || defined(LUMORRA_FUZZ_TGA)
    // Plain TIFFs (camera RAWs have their own target) and TGAs, as the loader tells them.
    const QByteArray bytes = lumorra::fuzz::bytes(data, size);
    const QByteArray format =
        lumorra::picture::sniff(bytes.left(lumorra::picture::SniffHeadBytes), bytes.right(18))
            .qtFormat;
#if defined(LUMORRA_FUZZ_TIFF)
    return format == "tiff" && !lumorra::picture::mayBeCameraRaw(bytes);
#else
    return format == "tga";
#endif
#elif defined(LUMORRA_FUZZ_SVG)
    // SVG has no magic number: a document that names its root element early.
    return size > 0 && (data[0] == '<' || data[0] == ' ' || data[0] == '\n') &&
           lumorra::fuzz::bytes(data, qMin(size, size_t(4096))).contains("<svg");
#elif defined(LUMORRA_FUZZ_RAW)
    // Camera RAWs of their own signature, and TIFFs that look like a camera's.
    const QByteArray bytes = lumorra::fuzz::bytes(data, size);
    const QByteArray format =
        lumorra::picture::sniff(bytes.left(lumorra::picture::SniffHeadBytes), bytes.right(18))
            .qtFormat;
    return format == "raw" || (format == "tiff" && lumorra::picture::mayBeCameraRaw(bytes));
#elif defined(LUMORRA_FUZZ_HEIF) || defined(LUMORRA_FUZZ_JXL)
    // The file type box's brands decide between HEIF, AVIF and others: as the loader tells them.
    const QByteArray head =
        lumorra::fuzz::bytes(data, qMin(size, size_t(lumorra::picture::SniffHeadBytes)));
    const QByteArray format = lumorra::picture::sniff(head, QByteArray()).qtFormat;
#if defined(LUMORRA_FUZZ_HEIF)
    return format == "heif" || format == "avif";
#else
    return format == "jxl";
#endif
#else
#error "no picture format chosen"
#endif
}

#if defined(LUMORRA_FUZZ_WMF) || defined(LUMORRA_FUZZ_EMF) || defined(LUMORRA_FUZZ_SVG)
// A drawing is drawn into a raster of up to 4096 x 4096 by its library in the child, and handed
// back through a pipe: seconds each. Its records are read the same at any size.
constexpr qint64 MaxFuzzedPixels = 1024 * 1024;
#elif defined(LUMORRA_FUZZ_HEIF) || defined(LUMORRA_FUZZ_JXL) || defined(LUMORRA_FUZZ_RAW)
// HEVC, AV1, JPEG XL and demosaicing do a few megapixels a second; the headers are read at any
// size.
constexpr qint64 MaxFuzzedPixels = 1024 * 1024;
#else
constexpr qint64 MaxFuzzedPixels = 4096 * 4096;
#endif

// Every failure the loader may report is an Error; anything else escaping is a fault.
template <class F> void expectErrorsOnly(F&& f) {
    try {
        f();
    } catch (const lumorra::Error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ofFormat(data, size))
        return -1;
    static lumorra::fuzz::InputFile file;
    const QString& path = file.write(data, size);
    QSize natural;
    expectErrorsOnly([&] { natural = lumorra::pictureSize(decoders(), path); });
    // A header may claim a picture of up to the loader's memory budget (2 GB), which is decoded
    // and converted in earnest: seconds of work, tens of seconds under the sanitizers, from a
    // file of a few bytes. The run decodes only what it can do many times a second; the budget
    // itself is tested with the viewer.
    if (qint64(natural.width()) * natural.height() > MaxFuzzedPixels)
        return 0;
    expectErrorsOnly([&] {
        const lumorra::Picture p = lumorra::loadPicture(decoders(), path);
        if (!p.isNull() && p.image.format() != QImage::Format_ARGB32 &&
            p.image.format() != QImage::Format_RGB32)
            __builtin_trap();
    });
#if defined(LUMORRA_FUZZ_RAW)
    // The embedded preview, for a picture shown smaller.
    expectErrorsOnly([&] { (void)lumorra::loadPicture(decoders(), path, QSize(32, 32)); });
#endif
#if defined(LUMORRA_FUZZ_JPEG)
    // The reduced decode of a large photo.
    expectErrorsOnly([&] { (void)lumorra::loadPicture(decoders(), path, QSize(32, 32)); });
#endif
    return 0;
}
