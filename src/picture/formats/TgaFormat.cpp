// TGA in every Truevision image type: colour-mapped (1), true colour (2) and grey (3), and their
// run-length encoded forms (9, 10, 11); 15, 16, 24 and 32 bits a pixel, colour maps of 15, 16,
// 24 and 32 bits an entry, all four origins, alpha from the attribute bits (or the TGA 2.0
// extension area's attributes type). A file that ends before its pixels do is invalid; a run
// that overruns the picture is cut at its end.

#include "BytesFormat.h"
#include "Support.h"

#include <vector>

namespace lumorra::formats {
namespace {

constexpr int HeaderBytes = 18;

struct TgaHeader {
    int idLength, mapType, type, mapFirst, mapLength, mapBits, width, height, depth, descriptor;
    int kind() const { return type & ~8; } // 1 colour-mapped, 2 true colour, 3 grey
    bool runLength() const { return (type & 8) != 0; }
    int alphaBits() const { return descriptor & 0x0F; }
};

TgaHeader header(QByteArrayView b) {
    if (b.size() < HeaderBytes)
        throw invalid();
    TgaHeader h{u8(b, 0),          u8(b, 1), u8(b, 2),           le<quint16>(b, 3),
                le<quint16>(b, 5), u8(b, 7), le<quint16>(b, 12), le<quint16>(b, 14),
                u8(b, 16),         u8(b, 17)};
    const int kind = h.kind();
    const bool depthOk = kind == 2
                             ? (h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32)
                         : kind == 1 ? (h.depth == 8 || h.depth == 16)
                         : kind == 3 ? (h.depth == 8 || h.depth == 16)
                                     : false;
    const bool mapOk = h.mapType == 0 || (h.mapType == 1 && (h.mapBits == 15 || h.mapBits == 16 ||
                                                             h.mapBits == 24 || h.mapBits == 32));
    if (!depthOk || !mapOk || (kind == 1 && (h.mapType != 1 || h.mapLength == 0)) ||
        (h.type & ~0xB) != 0 || h.width == 0 || h.height == 0)
        throw invalid();
    return h;
}

// Whether the alpha the attribute bits give is meant: a TGA 2.0 file says so in its extension
// area; without one, any attribute bits are alpha.
bool alphaMeant(QByteArrayView b, const TgaHeader& h) {
    if (h.alphaBits() == 0)
        return false;
    if (b.size() >= HeaderBytes + 26 && b.last(18) == QByteArrayView("TRUEVISION-XFILE.\0", 18)) {
        const qint64 extension = le<quint32>(b, b.size() - 26);
        if (extension != 0 && extension + 495 <= b.size() - 26) {
            const int attributes = u8(b, extension + 494);
            return attributes == 3 || attributes == 4;
        }
    }
    return true;
}

// A 15- or 16-bit pixel, A1 R5 G5 B5; the top bit is alpha when `alpha`.
QRgb pixel16(quint16 v, bool alpha) {
    const int r = scaleTo8((v >> 10) & 31, 5), g = scaleTo8((v >> 5) & 31, 5),
              b = scaleTo8(v & 31, 5);
    return qRgba(r, g, b, alpha ? ((v & 0x8000) ? 255 : 0) : 255);
}

// A colour of `bits` bits at `p`, stored B, G, R (, A).
QRgb colour(const uchar* p, int bits, bool alpha) {
    switch (bits) {
    case 15:
    case 16:
        return pixel16(quint16(p[0] | (p[1] << 8)), alpha && bits == 16);
    case 24:
        return qRgb(p[2], p[1], p[0]);
    default:
        return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
    }
}

class Pixels {
public:
    Pixels(QByteArrayView b, const TgaHeader& h, bool alpha);
    // The pixel value stored at `p` turned into a colour.
    QRgb operator()(const uchar* p) const;
    int bytes() const { return (h_.depth + 7) / 8; }

private:
    const TgaHeader& h_;
    bool alpha_;
    std::vector<QRgb> map_;
};

Pixels::Pixels(QByteArrayView b, const TgaHeader& h, bool alpha) : h_(h), alpha_(alpha) {
    if (h.mapType != 1)
        return;
    const int entry = (h.mapBits + 7) / 8;
    const qint64 at = HeaderBytes + h.idLength;
    if (at + qint64(h.mapLength) * entry > b.size())
        throw invalid();
    map_.resize(size_t(h.mapLength));
    for (int i = 0; i < h.mapLength; ++i)
        map_[size_t(i)] =
            colour(reinterpret_cast<const uchar*>(b.data()) + at + i * entry, h.mapBits, alpha);
}

QRgb Pixels::operator()(const uchar* p) const {
    switch (h_.kind()) {
    case 1: {
        const int index = (h_.depth == 16 ? (p[0] | (p[1] << 8)) : p[0]) - h_.mapFirst;
        return index >= 0 && size_t(index) < map_.size() ? map_[size_t(index)] : qRgb(0, 0, 0);
    }
    case 3:
        return qRgba(p[0], p[0], p[0], h_.depth == 16 && alpha_ ? p[1] : 255);
    default:
        return colour(p, h_.depth, alpha_);
    }
}

// Places the pixels in stored order where the origin says.
class Placer {
public:
    Placer(QImage& image, int descriptor)
        : image_(image), right_((descriptor & 0x10) != 0), top_((descriptor & 0x20) != 0),
          total_(qint64(image.width()) * image.height()) {}
    bool full() const { return next_ >= total_; }
    void put(QRgb colour) {
        if (full())
            return; // a run past the picture's end is cut
        const int w = image_.width();
        const int r = int(next_ / w), c = int(next_ % w);
        const int y = top_ ? r : image_.height() - 1 - r, x = right_ ? w - 1 - c : c;
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
        ++next_;
    }

private:
    QImage& image_;
    bool right_, top_;
    qint64 total_, next_ = 0;
};

void readRaw(QByteArrayView b, qint64 at, const Pixels& pixels, Placer& placer, qint64 count) {
    const int n = pixels.bytes();
    if (at + count * n > b.size())
        throw invalid();
    const auto* p = reinterpret_cast<const uchar*>(b.data()) + at;
    for (qint64 i = 0; i < count; ++i, p += n)
        placer.put(pixels(p));
}

void readRunLength(QByteArrayView b, qint64 at, const Pixels& pixels, Placer& placer) {
    const int n = pixels.bytes();
    const auto* data = reinterpret_cast<const uchar*>(b.data());
    while (!placer.full()) {
        if (at >= b.size())
            throw invalid();
        const int packet = data[at++];
        const int count = (packet & 0x7F) + 1;
        if (packet & 0x80) {
            if (at + n > b.size())
                throw invalid();
            const QRgb c = pixels(data + at);
            at += n;
            for (int i = 0; i < count; ++i)
                placer.put(c);
        } else {
            readRaw(b, at, pixels, placer, count);
            at += qint64(count) * n;
        }
    }
}

} // namespace

Header tgaHeader(QByteArrayView bytes) {
    const TgaHeader h = header(bytes);
    return Header{QSize(h.width, h.height), 1};
}

Decoded decodeTga(QByteArrayView bytes, qint64 budget) {
    const TgaHeader h = header(bytes);
    const bool alpha = alphaMeant(bytes, h);
    const Pixels pixels(bytes, h, alpha);
    QImage image =
        newPicture(QSize(h.width, h.height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32,
                   budget, 0xFF000000u);
    Placer placer(image, h.descriptor);
    const qint64 at = HeaderBytes + h.idLength +
                      (h.mapType == 1 ? qint64(h.mapLength) * ((h.mapBits + 7) / 8) : 0);
    if (h.runLength())
        readRunLength(bytes, at, pixels, placer);
    else
        readRaw(bytes, at, pixels, placer, qint64(h.width) * h.height);
    return Decoded{image, {}};
}

} // namespace lumorra::formats

namespace lumorra::picture {
namespace {

// A TGA file's header has no magic number: the fields must make sense together. A TGA 2 file
// ends with a signature.
bool looksLikeTga(QByteArrayView h, QByteArrayView tail) {
    using formats::le;
    using formats::u8;
    if (tail.endsWith(QByteArrayView("TRUEVISION-XFILE.\0", 18)))
        return true;
    if (h.size() < 18)
        return false;
    const int mapType = u8(h, 1), type = u8(h, 2), mapLength = le<quint16>(h, 5);
    const int mapBits = u8(h, 7), depth = u8(h, 16), descriptor = u8(h, 17);
    if (le<quint16>(h, 12) == 0 || le<quint16>(h, 14) == 0 || (descriptor & 0xC0) != 0)
        return false;
    const int kind = type & ~8;
    if (mapType > 1 || (type & ~0xB) != 0 || kind == 0)
        return false;
    if (mapType == 1) {
        if (mapLength == 0 || (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32))
            return false;
    } else if (mapLength != 0 || kind == 1) {
        return false;
    }
    switch (kind) {
    case 1:
        return depth == 8 || depth == 16;
    case 2:
        return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    default: // grey
        return depth == 8 || depth == 16;
    }
}

// Last of all: its test of the header's fields takes what no magic number claims.
QByteArray tgaClaim(QByteArrayView h, QByteArrayView tail) {
    return looksLikeTga(h, tail) ? "tga" : QByteArray();
}

} // namespace

LUMORRA_LISTED_FORMAT(TgaFormat, BytesFormat, 130, {"tga"}, tgaClaim, formats::tgaHeader,
                      formats::decodeTga)

} // namespace lumorra::picture
