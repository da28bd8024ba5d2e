#include "Support.h"

#include <QTransform>

#include <new>

namespace lumorra::formats {

QImage newPicture(QSize size, QImage::Format format, qint64 budget, uint fill) {
    requirePixels(size, budget);
    QImage image(size, format);
    if (image.isNull())
        throw tooLarge();
    image.fill(fill);
    return image;
}

QImageIOHandler::Transformations transformationOf(int orientation) {
    using T = QImageIOHandler;
    switch (orientation) {
    case 2:
        return T::TransformationMirror;
    case 3:
        return T::TransformationRotate180;
    case 4:
        return T::TransformationFlip;
    case 5:
        return T::TransformationFlipAndRotate90;
    case 6:
        return T::TransformationRotate90;
    case 7:
        return T::TransformationMirrorAndRotate90;
    case 8:
        return T::TransformationRotate270;
    default:
        return T::TransformationNone;
    }
}

QSize uprightSize(QSize stored, int orientation) {
    return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
}

QImage turnedUpright(QImage image, int orientation) {
    return turned(std::move(image), transformationOf(orientation));
}

QImage turned(QImage image, QImageIOHandler::Transformations t) {
    if (t == QImageIOHandler::TransformationNone)
        return image;
    image = image.mirrored(t.testFlag(QImageIOHandler::TransformationMirror),
                           t.testFlag(QImageIOHandler::TransformationFlip));
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
    if (image.isNull())
        throw tooLarge();
    return image;
}

namespace {

bool startsWith(QByteArrayView b, QByteArrayView magic) {
    return b.size() >= magic.size() && b.first(magic.size()) == magic;
}

// A TGA file's header has no magic number: the fields must make sense together.
bool looksLikeTga(QByteArrayView h, QByteArrayView tail) {
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

bool looksLikePnm(QByteArrayView h) {
    return h.size() >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6' &&
           QByteArrayView(" \t\r\n#").contains(h[2]);
}

} // namespace

QByteArray sniff(QByteArrayView h, QByteArrayView tail) {
    if (startsWith(h, {"II*\0", 4}) || startsWith(h, {"MM\0*", 4}))
        return "tiff";
    if (startsWith(h, "BM"))
        return "bmp";
    if (h.size() >= 6 && le<quint16>(h, 0) == 0 &&
        (le<quint16>(h, 2) == 1 || le<quint16>(h, 2) == 2) && le<quint16>(h, 4) > 0)
        return le<quint16>(h, 2) == 1 ? "ico" : "cur";
    if (looksLikePnm(h))
        return "pnm";
    if (looksLikeTga(h, tail))
        return "tga";
    return {};
}

bool decodes(QByteArrayView f) {
    return f == "tiff" || f == "tga" || f == "bmp" || f == "ico" || f == "cur" || f == "pnm";
}

template <class F> auto translated(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw tooLarge();
    }
}

Header readHeader(QByteArrayView f, QByteArrayView bytes) {
    return translated([&] {
        if (f == "tiff")
            return tiffHeader(bytes);
        if (f == "tga")
            return tgaHeader(bytes);
        if (f == "bmp")
            return bmpHeader(bytes);
        if (f == "ico" || f == "cur")
            return iconHeader(bytes);
        if (f == "pnm")
            return pnmHeader(bytes);
        throw invalid();
    });
}

Decoded decode(QByteArrayView f, QByteArrayView bytes, qint64 budget) {
    return translated([&] {
        if (f == "tiff")
            return decodeTiff(bytes, budget);
        if (f == "tga")
            return decodeTga(bytes, budget);
        if (f == "bmp")
            return decodeBmp(bytes, budget);
        if (f == "ico" || f == "cur")
            return decodeIcon(bytes, budget);
        if (f == "pnm")
            return decodePnm(bytes, budget);
        throw invalid();
    });
}

} // namespace lumorra::formats
