#include "JpegDecoder.h"

#include "picture/ImageBuffer.h"

#include <QSysInfo>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace lumorra::picture {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the step that was running. The steps hold nothing that needs destroying.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void noMessage(j_common_ptr) {}

// Runs one libjpeg step; false when libjpeg gave up in it. Never inlined: the jump returns
// into this frame, not the caller's.
template <class Step> [[gnu::noinline]] bool run(ErrorManager& errors, Step&& step) {
    if (setjmp(errors.jump) != 0)
        return false;
    step();
    return true;
}

// Reads the file's bytes from memory, all at once; at their end, an end-of-image marker stands
// for the missing rest, as in libjpeg's own readers (a warning, not an error: the rest decodes
// grey).
struct Source {
    jpeg_source_mgr pub;
    const QByteArray* bytes;
    bool started;
    JOCTET end[2];
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr info) {
    auto* src = reinterpret_cast<Source*>(info->src);
    if (!src->started && !src->bytes->isEmpty()) {
        src->pub.next_input_byte = reinterpret_cast<const JOCTET*>(src->bytes->constData());
        src->pub.bytes_in_buffer = std::size_t(src->bytes->size());
    } else {
        if (!src->started)
            ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        src->end[0] = JOCTET(0xFF);
        src->end[1] = JOCTET(JPEG_EOI);
        src->pub.next_input_byte = src->end;
        src->pub.bytes_in_buffer = 2;
    }
    src->started = true;
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count) {
    auto* src = reinterpret_cast<Source*>(info->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        src->pub.bytes_in_buffer = 0;
        fillInputBuffer(info);
    }
    if (count > 0) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= std::size_t(count);
    }
}

Source sourceOf(const QByteArray& bytes) {
    Source source{};
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillInputBuffer;
    source.pub.skip_input_data = skipInputData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    source.bytes = &bytes;
    return source;
}

// libjpeg's errors end the decode through errorExit(); its warnings are not printed.
void quiet(jpeg_decompress_struct& info, ErrorManager& errors) {
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.output_message = noMessage;
}

// One decompression of bytes held in memory, with the error manager and source it uses;
// destroyed with it.
struct Decompression {
    explicit Decompression(const QByteArray& bytes) : source(sourceOf(bytes)) {
        quiet(info, errors);
        created = run(errors, [&] { jpeg_create_decompress(&info); });
        // Set after the create, which clears everything but the error manager.
        info.src = &source.pub;
    }
    ~Decompression() { jpeg_destroy_decompress(&info); }
    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;

    // Runs one libjpeg step; false when libjpeg gave up in it or the decompression was never
    // created.
    template <class Step> bool step(Step&& s) { return created && run(errors, s); }

    ErrorManager errors{};
    jpeg_decompress_struct info{};
    Source source;
    bool created = false;
};

} // namespace

QImage decodeJpeg(const QByteArray& bytes, int eighths, JpegInk* ink) {
#if defined(JCS_EXTENSIONS)
    if (eighths < 1 || eighths > 8)
        return QImage();
    Decompression d(bytes);
    jpeg_decompress_struct& info = d.info;

    QImage image;
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    bool ok = d.step([&] {
        jpeg_read_header(&info, TRUE);
        const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        if (cmyk && ink == nullptr)
            ERREXIT(&info, JERR_CONVERSION_NOTIMPL);
        if (ink != nullptr) {
            ink->cmyk = cmyk;
            // Adobe's programs, the ones that mark their files, store ink inverted.
            ink->inverted = cmyk && info.saw_Adobe_marker;
        }
        // RGB32 is 0xffRRGGBB in the machine's order; libjpeg sets the fourth byte to 0xff.
        // CMYK comes as it is stored, four bytes a pixel, for the colour transform.
        info.out_color_space = cmyk                                            ? JCS_CMYK
                               : QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX
                                                                               : JCS_EXT_XRGB;
        info.scale_num = unsigned(eighths);
        info.scale_denom = 8;
        jpeg_start_decompress(&info);
    });
    if (ok) {
        image =
            newImage(QSize(int(info.output_width), int(info.output_height)), QImage::Format_RGB32);
        ok = !image.isNull() && info.output_components == 4;
    }
    if (ok) {
        bits = image.bits();
        bytesPerLine = image.bytesPerLine();
        ok = d.step([&] {
            while (info.output_scanline < info.output_height) {
                JSAMPROW row = bits + qsizetype(info.output_scanline) * bytesPerLine;
                jpeg_read_scanlines(&info, &row, 1);
            }
            jpeg_finish_decompress(&info);
        });
    }
    return ok ? image : QImage();
#else
    Q_UNUSED(bytes);
    Q_UNUSED(eighths);
    Q_UNUSED(ink);
    return QImage();
#endif
}

QImage decodeJpegRegion(const QByteArray& bytes, QRect region) {
#if defined(JCS_EXTENSIONS)
    if (region.isEmpty() || region.x() < 0 || region.y() < 0)
        return QImage();
    Decompression d(bytes);
    jpeg_decompress_struct& info = d.info;

    QImage band;
    JDIMENSION left = 0;
    bool ok = d.step([&] {
        jpeg_read_header(&info, TRUE);
        if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ||
            JDIMENSION(region.right()) >= info.image_width ||
            JDIMENSION(region.bottom()) >= info.image_height)
            ERREXIT(&info, JERR_BAD_CROP_SPEC);
        info.out_color_space =
            QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
        jpeg_start_decompress(&info);
        // libjpeg widens the columns to whole blocks: `left` and `width` say where the
        // decoded band begins and how wide it is.
        left = JDIMENSION(region.x());
        JDIMENSION width = JDIMENSION(region.width());
        jpeg_crop_scanline(&info, &left, &width);
    });
    if (ok) {
        band = newImage(QSize(int(info.output_width), region.height()), QImage::Format_RGB32);
        ok = !band.isNull() && info.output_components == 4;
    }
    if (ok) {
        uchar* bits = band.bits();
        const qsizetype bytesPerLine = band.bytesPerLine();
        const JDIMENSION top = JDIMENSION(region.y());
        ok = d.step([&] {
            if (top > 0 && jpeg_skip_scanlines(&info, top) != top)
                ERREXIT(&info, JERR_BAD_CROP_SPEC);
            while (info.output_scanline < top + JDIMENSION(region.height())) {
                JSAMPROW row = bits + qsizetype(info.output_scanline - top) * bytesPerLine;
                jpeg_read_scanlines(&info, &row, 1);
            }
        });
    }
    // The rows below are not wanted: the decode ends with the decompression.
    if (!ok)
        return QImage();
    if (int(left) == region.x() && band.width() == region.width())
        return band;
    return band.copy(region.x() - int(left), 0, region.width(), region.height());
#else
    Q_UNUSED(bytes);
    Q_UNUSED(region);
    return QImage();
#endif
}

bool jpegRegionsAreCheap(const QByteArray& bytes) {
    Decompression d(bytes);
    jpeg_decompress_struct& info = d.info;
    bool cheap = false;
    d.step([&] {
        jpeg_read_header(&info, TRUE);
        cheap = !jpeg_has_multiple_scans(&info) && info.jpeg_color_space != JCS_CMYK &&
                info.jpeg_color_space != JCS_YCCK;
    });
    return cheap;
}

} // namespace lumorra::picture
