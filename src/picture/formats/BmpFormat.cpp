// BMP in all its header variants: OS/2 1.x (12 bytes) and 2.x (16 to 64 bytes), the Windows
// information header (40 bytes) and its versions of 52, 56, 108 and 124 bytes; 1, 2, 4, 8, 16,
// 24 and 32 bits a pixel, bit fields with and without an alpha mask, RLE4 and RLE8 with deltas,
// bottom-up and top-down, and a JPEG or PNG inside. Rows that the file does not hold make it
// invalid; run-length data that ends early shows what it drew.

#include "BytesFormat.h"
#include "Dib.h"

#include <bit>
#include <vector>

namespace lumorra::formats {
namespace {

enum Compression { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, Jpeg = 4, Png = 5, AlphaBits = 6 };

struct Mask {
    quint32 mask = 0;
    int shift = 0, bits = 0;
    explicit Mask(quint32 m = 0) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::countr_one(m >> shift);
        }
    }
    int operator()(quint32 pixel, int absent = 255) const {
        return mask == 0 ? absent : scaleTo8((pixel & mask) >> shift, bits);
    }
};

struct Dib {
    int headerSize = 0, width = 0, height = 0, bits = 0, compression = Rgb;
    bool topDown = false, os2 = false;
    Mask red, green, blue, alpha;
    std::vector<QRgb> palette;
    qsizetype tableEnd = 0; // the first byte after the header, masks and colour table
};

Dib readDib(QByteArrayView b, qsizetype at, bool icon) {
    Dib d;
    d.headerSize = int(qMin<quint32>(le<quint32>(b, at), 0x10000));
    qint64 width = 0, height = 0;
    if (d.headerSize == 12) {
        d.os2 = true;
        width = le<quint16>(b, at + 4);
        height = le<qint16>(b, at + 6);
        d.bits = le<quint16>(b, at + 10);
    } else if (d.headerSize >= 16 && d.headerSize <= 124) {
        d.os2 =
            d.headerSize != 40 && d.headerSize != 52 && d.headerSize != 56 && d.headerSize < 108;
        width = le<qint32>(b, at + 4);
        height = le<qint32>(b, at + 8);
        d.bits = le<quint16>(b, at + 14);
        d.compression = d.headerSize >= 20 ? int(le<quint32>(b, at + 16)) : Rgb;
    } else {
        throw invalid();
    }
    if (at + d.headerSize > b.size())
        throw invalid();
    d.topDown = height < 0;
    height = qAbs(height);
    if (icon)
        height /= 2;
    // OS/2 2.x numbers its own compressions 3 (Huffman) and 4 (24-bit run lengths): not read.
    if (d.os2 && d.compression > Rle4)
        throw invalid();
    if (width <= 0 || height <= 0 || width > 0x7FFFFF || height > 0x7FFFFF)
        throw width <= 0 || height <= 0 ? invalid() : tooLarge();
    d.width = int(width);
    d.height = int(height);
    return d;
}

// The bit fields, and the colour table after them.
void readTables(QByteArrayView b, qsizetype at, Dib& d) {
    qsizetype next = at + d.headerSize;
    if (d.compression == BitFields || d.compression == AlphaBits) {
        qsizetype masks = at + 40;
        if (d.headerSize < 52) {
            masks = next;
            next += d.compression == AlphaBits ? 16 : 12;
        }
        d.red = Mask(le<quint32>(b, masks));
        d.green = Mask(le<quint32>(b, masks + 4));
        d.blue = Mask(le<quint32>(b, masks + 8));
        if (d.compression == AlphaBits || d.headerSize >= 56)
            d.alpha = Mask(le<quint32>(b, masks + 12));
    } else if (d.bits == 16) {
        d.red = Mask(0x7C00), d.green = Mask(0x03E0), d.blue = Mask(0x001F);
    } else if (d.bits == 32) {
        d.red = Mask(0xFF0000), d.green = Mask(0xFF00), d.blue = Mask(0xFF);
    }
    if (d.bits <= 8) {
        const quint32 used = d.headerSize >= 36 ? le<quint32>(b, at + 32) : 0;
        const int entry = d.os2 && d.headerSize == 12 ? 3 : 4;
        qint64 count = used == 0 || used > (1u << d.bits) ? (1 << d.bits) : used;
        count = qMin<qint64>(count, qMax<qint64>(0, (b.size() - next) / entry));
        for (qint64 i = 0; i < count; ++i) {
            const qsizetype e = next + i * entry;
            d.palette.push_back(qRgb(u8(b, e + 2), u8(b, e + 1), u8(b, e)));
        }
        next += count * entry;
    }
    d.tableEnd = next;
}

QRgb paletteColour(const Dib& d, quint32 index) {
    return index < d.palette.size() ? d.palette[index] : qRgb(0, 0, 0);
}

// One stored row of uncompressed pixels.
void readRow(const Dib& d, const uchar* row, QRgb* out) {
    for (int x = 0; x < d.width; ++x) {
        quint32 v = 0;
        switch (d.bits) {
        case 1:
        case 2:
        case 4:
        case 8: {
            const qint64 bit = qint64(x) * d.bits;
            v = (row[bit / 8] >> (8 - d.bits - bit % 8)) & ((1u << d.bits) - 1);
            out[x] = paletteColour(d, v);
            continue;
        }
        case 16:
            v = quint32(row[x * 2] | (row[x * 2 + 1] << 8));
            break;
        case 24:
            out[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
            continue;
        default:
            std::memcpy(&v, row + x * 4, 4);
            v = qFromLittleEndian(v);
            break;
        }
        out[x] = qRgba(d.red(v, 0), d.green(v, 0), d.blue(v, 0), d.alpha(v));
    }
}

qint64 stride(int width, int bits) {
    return (qint64(width) * bits + 31) / 32 * 4;
}

void readRows(QByteArrayView b, qsizetype at, const Dib& d, QImage& image) {
    const qint64 s = stride(d.width, d.bits);
    if (at < 0 || at + s * d.height > b.size())
        throw invalid();
    const auto* data = reinterpret_cast<const uchar*>(b.data()) + at;
    for (int r = 0; r < d.height; ++r) {
        const int y = d.topDown ? r : d.height - 1 - r;
        readRow(d, data + r * s, reinterpret_cast<QRgb*>(image.scanLine(y)));
    }
}

// RLE4 and RLE8: runs of one index (two alternating ones for RLE4), rows of absolute indices,
// ends of lines, deltas, the end. Pixels that are skipped keep the first colour of the table.
void readRunLengths(QByteArrayView b, qsizetype at, const Dib& d, QImage& image) {
    const auto* data = reinterpret_cast<const uchar*>(b.data());
    const qsizetype end = b.size();
    const bool four = d.compression == Rle4;
    int x = 0, r = 0;
    const auto put = [&](quint32 index) {
        if (x < d.width && r < d.height)
            reinterpret_cast<QRgb*>(image.scanLine(d.height - 1 - r))[x] = paletteColour(d, index);
        ++x;
    };
    while (at + 1 < end && r < d.height) {
        const int count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? ((i & 1) ? value & 15 : value >> 4) : quint32(value));
        } else if (value == 0) {
            x = 0, ++r;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (at + 1 >= end)
                break;
            x += data[at], r += data[at + 1];
            at += 2;
        } else {
            const qsizetype bytes = four ? (value + 1) / 2 : value;
            if (at + bytes > end)
                break;
            for (int i = 0; i < value; ++i)
                put(four ? ((i & 1) ? data[at + i / 2] & 15 : data[at + i / 2] >> 4)
                         : data[at + i]);
            at += (bytes + 1) & ~qsizetype(1);
        }
    }
}

// An icon's AND mask after its pixels: a set bit is transparent. A 32-bit icon with alpha of its
// own goes by that alone; one without a mask is opaque.
void applyIconMask(QByteArrayView b, qsizetype at, const Dib& d, QImage& image) {
    bool ownAlpha = false;
    for (int y = 0; d.bits == 32 && y < d.height && !ownAlpha; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < d.width && !ownAlpha; ++x)
            ownAlpha = qAlpha(row[x]) != 0;
    }
    if (ownAlpha)
        return;
    const qint64 s = stride(d.width, 1);
    const bool masked = at + s * d.height <= b.size();
    for (int r = 0; r < d.height; ++r) {
        const int y = d.topDown ? r : d.height - 1 - r;
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < d.width; ++x) {
            const bool clear = masked && (u8(b, at + r * s + x / 8) >> (7 - x % 8)) & 1;
            row[x] = clear ? 0 : row[x] | 0xFF000000u;
        }
    }
}

} // namespace

QSize dibSize(QByteArrayView bytes, qsizetype header, bool icon, int* bits) {
    const Dib d = readDib(bytes, header, icon);
    if (bits != nullptr)
        *bits = d.bits;
    return QSize(d.width, d.height);
}

QImage decodeDib(QByteArrayView b, const DibPlace& place, qint64 budget) {
    Dib d = readDib(b, place.header, place.icon);
    readTables(b, place.header, d);
    qsizetype pixels = place.pixels;
    const bool fields = d.compression == BitFields || d.compression == AlphaBits;
    if (fields && d.headerSize < 52 && pixels >= place.header + d.headerSize &&
        pixels < d.tableEnd) {
        // Bit fields whose masks the writer left out (the pixels start where they would be):
        // the usual ones for the depth.
        d.red = Mask(d.bits == 16 ? 0xF800 : 0xFF0000);
        d.green = Mask(d.bits == 16 ? 0x07E0 : 0xFF00);
        d.blue = Mask(d.bits == 16 ? 0x001F : 0xFF);
        d.alpha = Mask();
        d.tableEnd = pixels;
    }
    if (pixels < d.tableEnd || pixels >= b.size())
        pixels = d.tableEnd;
    if (d.compression == Jpeg || d.compression == Png) {
        requirePixels(QSize(d.width, d.height), budget);
        QImage inner = QImage::fromData(b.sliced(qMin(pixels, b.size())));
        if (inner.isNull())
            throw invalid();
        return inner.convertToFormat(inner.hasAlphaChannel() ? QImage::Format_ARGB32
                                                             : QImage::Format_RGB32);
    }
    const bool rle = d.compression == Rle8 || d.compression == Rle4;
    const bool bitsOk = rle      ? d.bits == (d.compression == Rle8 ? 8 : 4) && !d.topDown
                        : fields ? d.bits == 16 || d.bits == 32
                                 : d.compression == Rgb &&
                                       (d.bits == 1 || d.bits == 2 || d.bits == 4 || d.bits == 8 ||
                                        d.bits == 16 || d.bits == 24 || d.bits == 32);
    if (!bitsOk || (d.bits <= 8 && d.palette.empty()))
        throw invalid();
    if (place.icon && d.bits == 32 && !fields)
        d.alpha = Mask(0xFF000000u);
    const bool alpha = d.alpha.mask != 0 || place.icon;
    QImage image =
        newPicture(QSize(d.width, d.height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32,
                   budget, d.palette.empty() ? 0xFF000000u : d.palette[0]);
    if (rle)
        readRunLengths(b, pixels, d, image);
    else
        readRows(b, pixels, d, image);
    if (place.icon)
        applyIconMask(b, pixels + stride(d.width, d.bits) * d.height, d, image);
    return image;
}

Header bmpHeader(QByteArrayView bytes) {
    if (bytes.size() < 14 || !bytes.startsWith("BM"))
        throw invalid();
    return Header{dibSize(bytes, 14, false), 1};
}

Decoded decodeBmp(QByteArrayView bytes, qint64 budget) {
    if (bytes.size() < 14 || !bytes.startsWith("BM"))
        throw invalid();
    return Decoded{decodeDib(bytes, DibPlace{14, qsizetype(le<quint32>(bytes, 10)), false}, budget),
                   {}};
}

} // namespace lumorra::formats

namespace lumorra::picture {
namespace {

QByteArray bmpClaim(QByteArrayView h, QByteArrayView) {
    return hasMagic(h, "BM") ? "bmp" : QByteArray();
}

} // namespace

LUMORRA_LISTED_FORMAT(BmpFormat, BytesFormat, 50, {"bmp"}, bmpClaim, formats::bmpHeader,
                      formats::decodeBmp)

} // namespace lumorra::picture
