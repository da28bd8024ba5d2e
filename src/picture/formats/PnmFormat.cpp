// PBM, PGM and PPM, plain (P1, P2, P3) and raw (P4, P5, P6), with maximum values up to 65535.
// A file that ends before its pixels do is invalid.

#include "BytesFormat.h"
#include "Support.h"

namespace lumorra::formats {
namespace {

class Text {
public:
    explicit Text(QByteArrayView b, qsizetype at = 2) : b_(b), at_(at) {}
    // The next decimal number, after white space and comments; -1 when there is none.
    qint64 number() {
        skip();
        qint64 v = -1;
        while (at_ < b_.size() && b_[at_] >= '0' && b_[at_] <= '9') {
            v = qMin<qint64>((v < 0 ? 0 : v * 10) + (b_[at_] - '0'), qint64(1) << 40);
            ++at_;
        }
        return v;
    }
    // The next 0 or 1 of a plain PBM, whose digits need no space between them.
    int bit() {
        skip();
        if (at_ >= b_.size() || (b_[at_] != '0' && b_[at_] != '1'))
            return -1;
        return b_[at_++] - '0';
    }
    qsizetype position() const { return at_; }

private:
    void skip() {
        while (at_ < b_.size()) {
            const char c = b_[at_];
            if (c == '#') {
                while (at_ < b_.size() && b_[at_] != '\n' && b_[at_] != '\r')
                    ++at_;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                ++at_;
            } else {
                break;
            }
        }
    }
    QByteArrayView b_;
    qsizetype at_;
};

struct PnmHeader {
    int type = 0; // 1 to 6
    qint64 width = 0, height = 0, maxval = 1;
    qsizetype data = 0; // the first byte of the pixels
};

PnmHeader header(QByteArrayView b) {
    if (b.size() < 3 || b[0] != 'P' || b[1] < '1' || b[1] > '6')
        throw invalid();
    PnmHeader h;
    h.type = b[1] - '0';
    Text text(b);
    h.width = text.number();
    h.height = text.number();
    if (h.type != 1 && h.type != 4)
        h.maxval = text.number();
    if (h.width <= 0 || h.height <= 0 || h.maxval <= 0 || h.maxval > 65535)
        throw invalid();
    if (h.width > 0x7FFFFF || h.height > 0x7FFFFF)
        throw tooLarge();
    // One white space character ends the header of a raw file.
    h.data = text.position() + 1;
    return h;
}

quint8 scaled(qint64 v, qint64 maxval) {
    return quint8((qMin(v, maxval) * 255 + maxval / 2) / maxval);
}

void readPlain(QByteArrayView b, const PnmHeader& h, QImage& image) {
    Text text(b, h.data - 1);
    const int channels = h.type == 3 ? 3 : 1;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            int c[3] = {};
            for (int i = 0; i < channels; ++i) {
                const qint64 v = h.type == 1 ? text.bit() : text.number();
                if (v < 0)
                    throw invalid();
                c[i] = h.type == 1 ? (v ? 0 : 255) : scaled(v, h.maxval);
            }
            row[x] = channels == 3 ? qRgb(c[0], c[1], c[2]) : qRgb(c[0], c[0], c[0]);
        }
    }
}

void readRaw(QByteArrayView b, const PnmHeader& h, QImage& image) {
    const auto* data = reinterpret_cast<const uchar*>(b.data());
    const int channels = h.type == 6 ? 3 : 1, sample = h.maxval > 255 ? 2 : 1;
    const qint64 rowBytes = h.type == 4 ? (h.width + 7) / 8 : h.width * channels * sample;
    if (h.data + rowBytes * h.height > b.size())
        throw invalid();
    for (int y = 0; y < image.height(); ++y) {
        const uchar* p = data + h.data + y * rowBytes;
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (h.type == 4) {
                row[x] = (p[x / 8] >> (7 - x % 8)) & 1 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
                continue;
            }
            int c[3] = {};
            for (int i = 0; i < channels; ++i, p += sample)
                c[i] = scaled(sample == 2 ? (p[0] << 8) | p[1] : p[0], h.maxval);
            row[x] = channels == 3 ? qRgb(c[0], c[1], c[2]) : qRgb(c[0], c[0], c[0]);
        }
    }
}

} // namespace

Header pnmHeader(QByteArrayView bytes) {
    const PnmHeader h = header(bytes);
    return Header{QSize(int(h.width), int(h.height)), 1};
}

Decoded decodePnm(QByteArrayView bytes, qint64 budget) {
    const PnmHeader h = header(bytes);
    QImage image = newPicture(QSize(int(h.width), int(h.height)), QImage::Format_RGB32, budget);
    if (h.type <= 3)
        readPlain(bytes, h, image);
    else
        readRaw(bytes, h, image);
    return Decoded{image, {}};
}

} // namespace lumorra::formats

namespace lumorra::picture {
namespace {

QByteArray pnmClaim(QByteArrayView h, QByteArrayView) {
    const bool pnm = h.size() >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6' &&
                     QByteArrayView(" \t\r\n#").contains(h[2]);
    return pnm ? "pnm" : QByteArray();
}

} // namespace

LUMORRA_LISTED_FORMAT(PnmFormat, BytesFormat, 120, {"pnm"}, pnmClaim, formats::pnmHeader,
                      formats::decodePnm)

} // namespace lumorra::picture
