// TIFF through libtiff, read from the bytes in memory. Most kinds of picture go through libtiff's
// RGBA interface (every photometric interpretation, 1 to 16 bits, planar, tiled, JPEG inside);
// what it refuses, such as 32-bit and floating-point samples, goes through a reader of samples
// here. Only the first page of a multi-page file is read: the pages after it are never walked.

#include "BytesFormat.h"
#include "Support.h"
#include "picture/sandbox/SandboxChannel.h"

#include <QFloat16>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tiffio.h>
#include <vector>

namespace lumorra::formats {
namespace {

// What libtiff may allocate for a header alone.
constexpr qint64 HeaderMemory = qint64(64) << 20;

// The bytes libtiff reads, through its client interface.
struct Source {
    QByteArrayView bytes;
    qint64 position = 0;

    static Source& of(thandle_t h) { return *static_cast<Source*>(h); }
    static tsize_t read(thandle_t h, tdata_t into, tsize_t size) {
        Source& s = of(h);
        if (size <= 0 || s.position >= s.bytes.size())
            return 0;
        const qint64 n = qMin<qint64>(size, s.bytes.size() - s.position);
        std::memcpy(into, s.bytes.data() + s.position, size_t(n));
        s.position += n;
        return tsize_t(n);
    }
    static tsize_t write(thandle_t, tdata_t, tsize_t) { return 0; }
    static toff_t seek(thandle_t h, toff_t offset, int whence) {
        Source& s = of(h);
        qint64 base = 0;
        if (whence == SEEK_CUR)
            base = s.position;
        else if (whence == SEEK_END)
            base = s.bytes.size();
        const qint64 to = base + qint64(offset);
        if (offset > toff_t(std::numeric_limits<qint64>::max() / 2) || to < 0)
            return toff_t(-1);
        s.position = to;
        return toff_t(to);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return toff_t(of(h).bytes.size()); }
    static int map(thandle_t, tdata_t*, toff_t*) { return 0; }
    static void unmap(thandle_t, tdata_t, toff_t) {}
};

// libtiff's warnings and errors are of no use to the user: a picture reads or it does not.
int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: libtiff's process-wide handlers are not called
}

struct Closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, Closer>;

Tiff open(Source& source, qint64 memory) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr)
        throw tooLarge();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(qMax<qint64>(memory, HeaderMemory)));
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    // "m": no memory mapping, the client reads.
    TIFF* tiff =
        TIFFClientOpenExt("picture", "rm", &source, Source::read, Source::write, Source::seek,
                          Source::close, Source::size, Source::map, Source::unmap, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr)
        throw invalid();
    return Tiff(tiff);
}

struct Geometry {
    quint32 width = 0, height = 0;
    int orientation = 1;
};

Geometry geometry(TIFF* t) {
    Geometry g;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &g.width) ||
        !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &g.height) || g.width == 0 || g.height == 0)
        throw invalid();
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    g.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    return g;
}

QSize checkedSize(const Geometry& g, qint64 budget) {
    if (quint64(g.width) * g.height * 4 > quint64(budget) || g.width > INT_MAX / 4 ||
        g.height > INT_MAX / 4)
        throw tooLarge();
    return QSize(int(g.width), int(g.height));
}

// The pixels through libtiff's RGBA interface, rows as stored; a null image where it refuses.
QImage viaRgba(TIFF* t, QSize size, qint64 budget) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(t, message))
        return {};
    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, t, 1, message))
        return {};
    // As stored: the turn upright is done with every orientation alike, afterwards.
    rgba.req_orientation = rgba.orientation;
    const bool alpha = rgba.alpha != 0;
    // libtiff gives R, G, B, A bytes, with the colour multiplied by the alpha.
    QImage raw = newPicture(size, QImage::Format_RGBA8888_Premultiplied, budget);
    const int ok = raw.bytesPerLine() == qsizetype(size.width()) * 4 &&
                   TIFFRGBAImageGet(&rgba, reinterpret_cast<uint32_t*>(raw.bits()),
                                    quint32(size.width()), quint32(size.height()));
    TIFFRGBAImageEnd(&rgba);
    if (!ok)
        throw invalid();
    raw = raw.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (raw.isNull())
        throw tooLarge();
    return raw;
}

// The reader of samples for what libtiff's RGBA interface refuses: grey, RGB and CMYK pictures
// of 8, 16, 32 or 64 bits a sample, integers or floating point, or of other numbers of bits
// (12, say) packed, scaled to 8 bits.
class Samples {
public:
    explicit Samples(TIFF* t);
    QImage read(QSize size, qint64 budget);

private:
    double sample(const uchar* block, qint64 index) const;
    void put(QImage& out, int x, int y, int channel, double value) const;
    void readBlock(QImage& out, const uchar* block, qint64 bytes, int x0, int y0, int plane) const;

    TIFF* t_;
    uint16_t bits_ = 1, samples_ = 1, format_ = SAMPLEFORMAT_UINT, photometric_ = 0,
             planar_ = PLANARCONFIG_CONTIG, extra_ = 0;
    bool tiled_ = false;
    quint32 blockWidth_ = 0, blockHeight_ = 0;
};

Samples::Samples(TIFF* t) : t_(t) {
    uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits_);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples_);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format_);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar_);
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extra_, &extraKinds);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric_))
        photometric_ = samples_ >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const bool packed = bits_ % 8 != 0 && bits_ < 32 && format_ == SAMPLEFORMAT_UINT;
    const bool supported = (packed || bits_ == 8 || bits_ == 16 || bits_ == 32 || bits_ == 64) &&
                           (format_ == SAMPLEFORMAT_UINT || format_ == SAMPLEFORMAT_INT ||
                            format_ == SAMPLEFORMAT_IEEEFP) &&
                           !(format_ == SAMPLEFORMAT_IEEEFP && bits_ == 8);
    const int colours = photometric_ == PHOTOMETRIC_RGB          ? 3
                        : photometric_ == PHOTOMETRIC_SEPARATED  ? 4
                        : photometric_ <= PHOTOMETRIC_MINISBLACK ? 1
                                                                 : 0;
    if (!supported || colours == 0 || samples_ < colours)
        throw invalid();
    tiled_ = TIFFIsTiled(t) != 0;
    uint32_t rows = 0;
    if (tiled_) {
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &blockWidth_);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &blockHeight_);
    } else {
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &blockWidth_);
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rows);
        blockHeight_ = rows;
    }
    if (blockWidth_ == 0 || blockHeight_ == 0)
        throw invalid();
}

double Samples::sample(const uchar* row, qint64 i) const {
    const bool isFloat = format_ == SAMPLEFORMAT_IEEEFP, isSigned = format_ == SAMPLEFORMAT_INT;
    double v = 0;
    if (bits_ % 8 != 0) {
        // Packed unsigned samples, first bit highest.
        quint64 raw = 0;
        for (int b = 0; b < bits_; ++b) {
            const qint64 bit = i * bits_ + b;
            raw = (raw << 1) | ((row[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return double(raw) / double((quint64(1) << bits_) - 1);
    }
    const uchar* p = row + i * (bits_ / 8);
    switch (bits_) {
    case 8:
        v = isSigned ? (double(qint8(p[0])) + 128) / 255.0 : p[0] / 255.0;
        break;
    case 16: {
        const quint16 raw = qFromUnaligned<quint16>(p);
        if (isFloat)
            v = float(qFromUnaligned<qfloat16>(p));
        else
            v = isSigned ? (double(qint16(raw)) + 32768) / 65535.0 : raw / 65535.0;
        break;
    }
    case 32: {
        const quint32 raw = qFromUnaligned<quint32>(p);
        v = isFloat    ? double(qFromUnaligned<float>(p))
            : isSigned ? (double(qint32(raw)) + 2147483648.0) / 4294967295.0
                       : raw / 4294967295.0;
        break;
    }
    default:
        v = isFloat ? qFromUnaligned<double>(p) : 0;
        break;
    }
    return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
}

// Channel 0 to 3 of the colour (grey, RGB or CMYK), then the alpha.
void Samples::put(QImage& out, int x, int y, int channel, double v) const {
    auto* pixel = reinterpret_cast<QRgb*>(out.scanLine(y)) + x;
    const int byte = int(v * 255 + 0.5);
    const int colours = photometric_ == PHOTOMETRIC_RGB         ? 3
                        : photometric_ == PHOTOMETRIC_SEPARATED ? 4
                                                                : 1;
    QRgb p = *pixel;
    if (channel >= colours) {
        if (channel == colours && extra_ > 0)
            p = qRgba(qRed(p), qGreen(p), qBlue(p), byte);
    } else if (colours == 1) {
        const int grey = photometric_ == PHOTOMETRIC_MINISWHITE ? 255 - byte : byte;
        p = qRgba(grey, grey, grey, qAlpha(p));
    } else if (colours == 3) {
        const int r = channel == 0 ? byte : qRed(p), g = channel == 1 ? byte : qGreen(p),
                  b = channel == 2 ? byte : qBlue(p);
        p = qRgba(r, g, b, qAlpha(p));
    } else {
        // Ink: each of C, M, Y takes its colour off, K takes off all three.
        const auto off = [&](int c) { return int(c * (1 - v) + 0.5); };
        if (channel == 3)
            p = qRgba(off(qRed(p)), off(qGreen(p)), off(qBlue(p)), qAlpha(p));
        else
            p = qRgba(channel == 0 ? off(qRed(p)) : qRed(p),
                      channel == 1 ? off(qGreen(p)) : qGreen(p),
                      channel == 2 ? off(qBlue(p)) : qBlue(p), qAlpha(p));
    }
    *pixel = p;
}

void Samples::readBlock(QImage& out, const uchar* block, qint64 bytes, int x0, int y0,
                        int plane) const {
    const int perPixel = planar_ == PLANARCONFIG_SEPARATE ? 1 : samples_;
    const qint64 rowBytes = (qint64(blockWidth_) * perPixel * bits_ + 7) / 8;
    const int width = int(qMin<qint64>(blockWidth_, out.width() - x0));
    for (quint32 r = 0; r < blockHeight_ && y0 + qint64(r) < out.height(); ++r) {
        if ((r + 1) * rowBytes > bytes)
            return;
        const uchar* row = block + r * rowBytes;
        for (int c = 0; c < width; ++c)
            for (int s = 0; s < perPixel; ++s)
                put(out, x0 + c, y0 + int(r), plane + s, sample(row, qint64(c) * perPixel + s));
    }
}

QImage Samples::read(QSize size, qint64 budget) {
    const bool alpha = extra_ > 0;
    // CMYK starts white, for the ink to take colour off.
    const uint start = photometric_ == PHOTOMETRIC_SEPARATED ? 0xFFFFFFFFu : 0xFF000000u;
    QImage out =
        newPicture(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32, budget, start);
    const qint64 blockBytes = tiled_ ? qint64(TIFFTileSize(t_)) : qint64(TIFFStripSize(t_));
    if (blockBytes <= 0 || blockBytes > budget)
        throw invalid();
    std::vector<uchar> block(static_cast<size_t>(blockBytes));
    const int planes = planar_ == PLANARCONFIG_SEPARATE ? samples_ : 1;
    const quint32 down = quint32((qint64(size.height()) + blockHeight_ - 1) / blockHeight_);
    for (int plane = 0; plane < planes; ++plane) {
        for (qint64 y = 0; y < size.height(); y += blockHeight_) {
            for (qint64 x = 0; x < size.width(); x += blockWidth_) {
                tmsize_t n = -1;
                if (tiled_)
                    n = TIFFReadEncodedTile(
                        t_, TIFFComputeTile(t_, quint32(x), quint32(y), 0, uint16_t(plane)),
                        block.data(), blockBytes);
                else
                    n = TIFFReadEncodedStrip(t_, quint32(plane * down + y / blockHeight_),
                                             block.data(), blockBytes);
                if (n < 0)
                    throw invalid();
                readBlock(out, block.data(), n, int(x), int(y), plane);
                if (!tiled_)
                    break;
            }
        }
    }
    return out;
}

} // namespace

Header tiffHeader(QByteArrayView bytes) {
    Source source{bytes};
    const Tiff t = open(source, HeaderMemory);
    const Geometry g = geometry(t.get());
    if (g.width > INT_MAX || g.height > INT_MAX)
        throw tooLarge();
    return Header{uprightSize(QSize(int(g.width), int(g.height)), g.orientation), g.orientation};
}

Decoded decodeTiff(QByteArrayView bytes, qint64 budget) {
    Source source{bytes};
    const Tiff t = open(source, budget);
    const Geometry g = geometry(t.get());
    const QSize size = checkedSize(g, budget);
    Decoded d;
    d.image = viaRgba(t.get(), size, budget);
    if (d.image.isNull())
        d.image = Samples(t.get()).read(size, budget);
    d.image = turnedUpright(d.image, g.orientation);
    uint16_t photometric = 0;
    TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    uint32_t length = 0;
    void* profile = nullptr;
    // A CMYK picture's profile describes the ink, which is already converted here.
    if (photometric != PHOTOMETRIC_SEPARATED &&
        TIFFGetField(t.get(), TIFFTAG_ICCPROFILE, &length, &profile) && profile != nullptr &&
        length > 0)
        d.icc = QByteArray(static_cast<const char*>(profile), qsizetype(length));
    return d;
}

} // namespace lumorra::formats

namespace lumorra::picture {
namespace {

QByteArray tiffClaim(QByteArrayView h, QByteArrayView) {
    return hasMagic(h, {"II*\0", 4}) || hasMagic(h, {"MM\0*", 4}) ? "tiff" : QByteArray();
}

} // namespace

// libtiff is loaded when the first TIFF is read (FormatLibraries.cpp).
LUMORRA_LISTED_FORMAT(TiffFormat, BytesFormat, 90, {"tiff"}, tiffClaim, formats::tiffHeader,
                      formats::decodeTiff, channel::TiffLibrary)

} // namespace lumorra::picture
