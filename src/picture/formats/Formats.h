#pragma once

// The program's own decoders for TIFF, TGA, BMP, ICO and CUR, and PBM/PGM/PPM. Each is a pure
// function of a file's bytes: no file access, no widgets, nothing kept between calls, so that any
// process, a decoder worker as well as the viewer, can run it. Failures are thrown as Error:
// 481 "Invalid picture" for what cannot be read, 7 "Out of memory" for a picture whose pixels do
// not fit in the budget the caller gives, before anything of that size is allocated.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>

#include <functional>

namespace lumorra::formats {

// What a header tells without decoding the pixels.
struct Header {
    QSize size;          // the picture's size upright, as it is shown
    int orientation = 1; // the EXIF orientation (1 to 8) the pixels are stored in
};

// A decoded picture, turned upright: ARGB32 (not premultiplied) with alpha, RGB32 without.
struct Decoded {
    QImage image;
    QByteArray icc; // an embedded RGB or grey colour profile, empty when none
};

// One decoder per format (the format objects: BytesFormat.h).
Header tiffHeader(QByteArrayView bytes);
Decoded decodeTiff(QByteArrayView bytes, qint64 budget);
Header tgaHeader(QByteArrayView bytes);
Decoded decodeTga(QByteArrayView bytes, qint64 budget);
Header bmpHeader(QByteArrayView bytes);
Decoded decodeBmp(QByteArrayView bytes, qint64 budget);
Header iconHeader(QByteArrayView bytes);
Decoded decodeIcon(QByteArrayView bytes, qint64 budget);
Header pnmHeader(QByteArrayView bytes);
Decoded decodePnm(QByteArrayView bytes, qint64 budget);

// The transformation that makes a picture stored in EXIF orientation `orientation` upright, as
// Qt's readers give it.
QImageIOHandler::Transformations transformationOf(int orientation);
// `image` mirrored, flipped and turned as `t` says, as Qt's reader turns what it decodes; throws
// Error 7 where there is no memory for the turned copy.
QImage turned(QImage image, QImageIOHandler::Transformations t);

// The EXIF orientation (1 to 8) of a PNG file's eXIf chunk or a WebP file's EXIF chunk
// (`format` "png" or "webp"); 1 when there is none. `read(at, length)` gives the file's bytes at
// an offset (fewer at its end, none past it), so that a file on disk is read chunk header by
// chunk header.
using ReadAt = std::function<QByteArray(qint64 at, qint64 length)>;
int containerOrientation(QByteArrayView format, const ReadAt& read);
int containerOrientation(QByteArrayView format, QByteArrayView bytes);
// The orientation tag of an EXIF block (a TIFF structure, with or without "Exif\0\0" before it).
int exifOrientation(QByteArrayView exif);

} // namespace lumorra::formats
