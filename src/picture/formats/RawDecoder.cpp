// libraw.h sets the file offset size for itself: first, so that nothing else sets it otherwise.
#include "RawDecoder.h"

#include <QTransform>

#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <libraw/libraw.h>
#include <memory>
#include <vector>

namespace lumorra::picture {
namespace {

// The functions of LibRaw's C interface the decoder calls. LibRaw (and the OpenMP runtime under
// it) is loaded when the first RAW picture is read, not when the program starts: most starts
// see none. Its thread-safe build, as pictures are read on several threads at once.
#define LUMORRA_RAW_FUNCTIONS(X)                                                                   \
    X(libraw_init)                                                                                 \
    X(libraw_open_buffer)                                                                          \
    X(libraw_adjust_sizes_info_only)                                                               \
    X(libraw_unpack)                                                                               \
    X(libraw_dcraw_process)                                                                        \
    X(libraw_dcraw_make_mem_image)                                                                 \
    X(libraw_unpack_thumb)                                                                         \
    X(libraw_dcraw_make_mem_thumb)                                                                 \
    X(libraw_dcraw_clear_mem)                                                                      \
    X(libraw_close)                                                                                \
    X(libraw_set_dataerror_handler)

struct RawLibrary {
#define LUMORRA_RAW_MEMBER(name) decltype(&::name) name = nullptr;
    LUMORRA_RAW_FUNCTIONS(LUMORRA_RAW_MEMBER)
    bool loaded = false;
    RawLibrary() {
        // The library stays loaded for the rest of the run: its threads may still run code of it.
        void* handle = ::dlopen("libraw_r.so.20", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return;
        loaded = true;
#define LUMORRA_RAW_RESOLVE(name)                                                                  \
    name = reinterpret_cast<decltype(name)>(::dlsym(handle, #name));                               \
    loaded = loaded && name != nullptr;
        LUMORRA_RAW_FUNCTIONS(LUMORRA_RAW_RESOLVE)
    }
};

// Where LibRaw cannot be loaded, a RAW file is a picture that cannot be read.
const RawLibrary& libraw() {
    static const RawLibrary library;
    if (!library.loaded)
        throw invalidPicture();
    return library;
}

void check(int result) {
    switch (result) {
    case LIBRAW_SUCCESS:
        return;
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_TOO_BIG:
    case LIBRAW_MEMPOOL_OVERFLOW:
        throw outOfMemory();
    default:
        throw invalidPicture();
    }
}

struct Closer {
    void operator()(libraw_data_t* data) const { libraw().libraw_close(data); }
};
struct ImageFreer {
    void operator()(libraw_processed_image_t* image) const {
        libraw().libraw_dcraw_clear_mem(image);
    }
};
using Processed = std::unique_ptr<libraw_processed_image_t, ImageFreer>;

// LibRaw reading `bytes`, which must outlive it, with the settings of the program's decode.
class Opened {
public:
    explicit Opened(const QByteArray& bytes) : data_(libraw().libraw_init(0)) {
        if (!data_)
            throw outOfMemory();
        // Damage is reported by the result; LibRaw would also print it.
        libraw().libraw_set_dataerror_handler(
            data_.get(), [](void*, const char*, int) {}, nullptr);
        libraw_output_params_t& p = data_->params;
        p.use_camera_wb = 1; // the white balance the photo was taken with
        p.output_color = 1;  // sRGB
        p.output_bps = 8;
        // The exposure as shot, on the sRGB tone curve: no brightening by the histogram.
        p.no_auto_bright = 1;
        p.gamm[0] = 1 / 2.4;
        p.gamm[1] = 12.92;
        // LibRaw reads the buffer and never writes it.
        check(libraw().libraw_open_buffer(data_.get(), const_cast<char*>(bytes.constData()),
                                          size_t(bytes.size())));
    }
    libraw_data_t* get() const { return data_.get(); }
    libraw_data_t* operator->() const { return data_.get(); }

private:
    std::unique_ptr<libraw_data_t, Closer> data_;
};

// The EXIF orientation of LibRaw's flip.
int exifOrientation(int flip) {
    return flip >= 0 && flip < 8 ? "12435867"[flip] - '0' : 1;
}

bool startsWith(QByteArrayView bytes, QByteArrayView magic, qsizetype at = 0) {
    return bytes.size() >= at + magic.size() && bytes.sliced(at, magic.size()) == magic;
}

// The numbers of a TIFF file, in the byte order its header gives; 0 past its end.
struct Tiff {
    QByteArrayView bytes;
    bool big = startsWith(bytes, "MM");
    quint32 number(qsizetype at, int length) const {
        if (at < 0)
            return 0;
        if (length == 2)
            return big ? bigEndian<quint16>(bytes, at) : littleEndian<quint16>(bytes, at);
        return big ? bigEndian<quint32>(bytes, at) : littleEndian<quint32>(bytes, at);
    }
    // The value of the directory entry at `entry` that holds one SHORT or LONG.
    quint32 value(qsizetype entry) const {
        return number(entry + 2, 2) == 3 ? number(entry + 8, 2) : number(entry + 8, 4);
    }
};

// The tags of a TIFF's first directory that mark a camera's RAW: the DNG version and the
// camera's maker.
bool firstDirectoryMarksRaw(QByteArrayView head) {
    constexpr quint16 MakeTag = 271;
    constexpr quint16 DngVersionTag = 50706;
    const Tiff tiff{head};
    const qsizetype directory = tiff.number(4, 4);
    const quint32 count = tiff.number(directory, 2);
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype entry = directory + 2 + qsizetype(i) * 12;
        if (entry + 12 > head.size())
            break;
        const quint32 tag = tiff.number(entry, 2);
        if (tag == MakeTag || tag == DngVersionTag)
            return true;
    }
    return false;
}

// The width and height a JPEG's frame header gives; empty where its markers end first.
QSize jpegFrameSize(QByteArrayView jpeg) {
    if (!startsWith(jpeg, "\xff\xd8"))
        return {};
    qsizetype at = 2;
    while (at + 9 <= jpeg.size() && uchar(jpeg[at]) == 0xff) {
        const uchar marker = uchar(jpeg[at + 1]);
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame)
            return QSize(bigEndian<quint16>(jpeg, at + 7), bigEndian<quint16>(jpeg, at + 5));
        const qsizetype length = bigEndian<quint16>(jpeg, at + 2);
        if (marker == 0xda || marker == 0xd9 || length < 2)
            return {};
        at += 2 + length;
    }
    return {};
}

// The JPEG of `size` a TIFF-based RAW keeps in one of its directories (the first, the ones
// chained to it and their sub-directories), as a single strip or in JPEG interchange format:
// where it lies in the bytes. Empty where the file has none of that size.
QByteArrayView storedJpeg(QByteArrayView bytes, QSize size) {
    constexpr quint16 StripOffsets = 273, StripByteCounts = 279, SubDirectories = 330;
    constexpr quint16 JpegOffset = 513, JpegLength = 514;
    if (!startsWith(bytes, {"II*\0", 4}) && !startsWith(bytes, {"MM\0*", 4}))
        return {};
    const Tiff tiff{bytes};
    std::vector<qsizetype> directories{tiff.number(4, 4)};
    // A damaged file may chain its directories in a loop: a camera's have a handful.
    for (std::size_t i = 0; i < directories.size() && i < 64; ++i) {
        const qsizetype directory = directories[i];
        const quint32 count = qMin<quint32>(tiff.number(directory, 2), 1024);
        quint32 offsets[2] = {}, lengths[2] = {}; // a strip, an interchange-format JPEG
        for (quint32 e = 0; e < count; ++e) {
            const qsizetype entry = directory + 2 + qsizetype(e) * 12;
            const quint32 tag = tiff.number(entry, 2);
            const quint32 n = tiff.number(entry + 4, 4);
            if (tag == SubDirectories) {
                const qsizetype at = n == 1 ? entry + 8 : qsizetype(tiff.number(entry + 8, 4));
                for (quint32 k = 0; k < qMin<quint32>(n, 16); ++k)
                    directories.push_back(tiff.number(at + 4 * qsizetype(k), 4));
            }
            if (n != 1)
                continue;
            if (tag == StripOffsets || tag == JpegOffset)
                offsets[tag == JpegOffset] = tiff.value(entry);
            if (tag == StripByteCounts || tag == JpegLength)
                lengths[tag == JpegLength] = tiff.value(entry);
        }
        if (const quint32 next = tiff.number(directory + 2 + qsizetype(count) * 12, 4))
            directories.push_back(next);
        for (int k = 0; k < 2; ++k) {
            if (offsets[k] == 0 || lengths[k] == 0 ||
                qint64(offsets[k]) + lengths[k] > bytes.size())
                continue;
            const QByteArrayView jpeg = bytes.sliced(offsets[k], lengths[k]);
            if (jpegFrameSize(jpeg) == size)
                return jpeg;
        }
    }
    return {};
}

} // namespace

void loadRawLibrary() {
    try {
        (void)libraw();
    } catch (const Error&) {
    }
    // LibRaw dates the header it writes for a preview with localtime(), which reads the zone's
    // file on first use and looks at it again on every call where TZ is not set: read now, with
    // TZ naming that file, the later calls find it read.
    if (::getenv("TZ") == nullptr)
        ::setenv("TZ", ":/etc/localtime", 1);
    ::tzset();
}

bool mayBeCameraRaw(QByteArrayView head) {
    if (!startsWith(head, {"II*\0", 4}) && !startsWith(head, {"MM\0*", 4}))
        return false;
    // Canon's CR2 says so after the header; Phase One's formats carry their own header early.
    const QByteArrayView start = head.first(qMin<qsizetype>(head.size(), 32));
    if (startsWith(head, "CR", 8) || start.indexOf("IIII") >= 0 || start.indexOf("MMMM") >= 0)
        return true;
    return firstDirectoryMarksRaw(head);
}

bool isCameraRaw(const QByteArray& bytes) {
    const QByteArray head = bytes.first(qMin<qsizetype>(bytes.size(), SniffHeadBytes));
    const QByteArray tail = bytes.last(qMin<qsizetype>(bytes.size(), SniffTailBytes));
    const QByteArray format = sniff(head, tail).qtFormat;
    if (format == "raw")
        return true;
    if (format != "tiff" ||
        !mayBeCameraRaw(QByteArrayView(bytes).first(qMin<qsizetype>(bytes.size(), RawSniffBytes))))
        return false;
    try {
        const Opened raw(bytes);
        // A TIFF LibRaw also opens, written by a camera or a scanner in plain RGB, stays a TIFF.
        return raw->idata.dng_version != 0 || raw->idata.filters != 0;
    } catch (const Error&) {
        return false;
    }
}

RawHeader readRawHeader(const QByteArray& bytes) {
    const Opened raw(bytes);
    RawHeader header;
    header.flip = raw->sizes.flip;
    const libraw_thumbnail_t& thumb = raw->thumbnail;
    // Whether the preview is a JPEG is known once it is unpacked (rawPreview()).
    if (thumb.tlength > 0)
        header.previewSize = QSize(thumb.twidth, thumb.theight);
    // The size the full decode comes out at: stretched to square pixels, turned.
    check(libraw().libraw_adjust_sizes_info_only(raw.get()));
    header.size = QSize(raw->sizes.iwidth, raw->sizes.iheight);
    if (header.size.isEmpty())
        throw invalidPicture();
    return header;
}

void requireRawMemory(const RawHeader& header, qint64 budget, qint64 working) {
    requireMemoryFor(header.size, budget);
    // LibRaw holds the sensor's data (2 bytes a pixel), four 16-bit channels a pixel while it
    // demosaics, and the 8-bit result (3 bytes a pixel).
    const qint64 pixels = qint64(header.size.width()) * header.size.height();
    if (pixels * 13 > working)
        throw outOfMemory();
}

QByteArray rawPreview(const QByteArray& bytes, const RawHeader& header) {
    if (header.previewSize.isEmpty())
        return {};
    // The preview is stored as the sensor is: compare it with the decode before its turn.
    const QSize stored = header.flip & 4 ? header.size.transposed() : header.size;
    if (header.previewSize.width() * 2 < stored.width() ||
        header.previewSize.height() * 2 < stored.height())
        return {};
    // Where the preview lies in the file as it is, it is read there: LibRaw would copy it.
    const QByteArrayView kept = storedJpeg(bytes, header.previewSize);
    if (!kept.isEmpty())
        return QByteArray::fromRawData(kept.data(), kept.size());
    const Opened raw(bytes);
    if (libraw().libraw_unpack_thumb(raw.get()) != LIBRAW_SUCCESS ||
        raw->thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG)
        return {};
    int error = 0;
    const Processed thumb(libraw().libraw_dcraw_make_mem_thumb(raw.get(), &error));
    if (!thumb || thumb->type != LIBRAW_IMAGE_JPEG)
        return {};
    return QByteArray(reinterpret_cast<const char*>(thumb->data), qsizetype(thumb->data_size));
}

QImage rawUpright(const QImage& image, int flip) {
    QImage turned;
    switch (exifOrientation(flip)) {
    case 2:
        turned = image.mirrored(true, false);
        break;
    case 3:
        turned = image.mirrored(true, true);
        break;
    case 4:
        turned = image.mirrored(false, true);
        break;
    case 5:
        turned = image.transformed(QTransform().rotate(90)).mirrored(true, false);
        break;
    case 6:
        turned = image.transformed(QTransform().rotate(90));
        break;
    case 7:
        turned = image.transformed(QTransform().rotate(90)).mirrored(false, true);
        break;
    case 8:
        turned = image.transformed(QTransform().rotate(270));
        break;
    default:
        return image;
    }
    if (turned.isNull())
        throw outOfMemory();
    return turned;
}

void decodeRawInto(const QByteArray& bytes, QImage& out) {
    const Opened raw(bytes);
    check(libraw().libraw_unpack(raw.get()));
    check(libraw().libraw_dcraw_process(raw.get()));
    int error = 0;
    const Processed image(libraw().libraw_dcraw_make_mem_image(raw.get(), &error));
    if (!image) {
        check(error == LIBRAW_SUCCESS ? LIBRAW_UNSUFFICIENT_MEMORY : error);
        throw invalidPicture();
    }
    // LibRaw turns the picture as its flip says.
    const int colours = image->colors;
    if (image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 || (colours != 1 && colours != 3) ||
        image->width != out.width() || image->height != out.height() ||
        qint64(image->data_size) < qint64(image->width) * image->height * colours)
        throw invalidPicture();
    const qsizetype stride = qsizetype(image->width) * colours;
    for (int y = 0; y < out.height(); ++y) {
        const unsigned char* p = image->data + stride * y;
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (colours == 3) {
            for (int x = 0; x < out.width(); ++x, p += 3)
                row[x] = qRgb(p[0], p[1], p[2]);
        } else {
            for (int x = 0; x < out.width(); ++x, ++p)
                row[x] = qRgb(*p, *p, *p);
        }
    }
}

DecodedPicture decodeRaw(const QByteArray& bytes) {
    const RawHeader header = readRawHeader(bytes);
    requireRawMemory(header, pictureByteBudget(), childMemory());
    DecodedPicture picture;
    picture.naturalSize = header.size;
    picture.image = newImage(header.size, QImage::Format_RGB32);
    if (picture.image.isNull())
        throw outOfMemory();
    decodeRawInto(bytes, picture.image);
    return picture;
}

} // namespace lumorra::picture
