#pragma once

// Picture files written byte by byte, for the formats Qt cannot write (metafiles, icons with
// several entries) and for headers no real picture would carry.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace lumorra::test {

// A picture encoded by Qt's writer for `format` ("jpeg", "png", "bmp", ...).
QByteArray encoded(const QImage& image, const char* format, int quality = -1);

// A picture in two halves: `left` on the left, `right` on the right.
QImage twoHalves(QSize size, QColor left, QColor right);

// A GIF of one frame per picture (Qt writes none). Each frame has at most 256 colours of its
// own, the first frame's colours forming the global table.
QByteArray gifFile(const std::vector<QImage>& frames);
// An uncompressed true-colour TGA 2 file, top row first (Qt writes none, and reads only TGA 2).
QByteArray tgaFile(const QImage& image);

// A JPEG with an EXIF block whose orientation tag is `orientation`, inserted after the start
// marker of a JPEG Qt wrote.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);

// A JPEG of `size` in one flat colour but for `patches` of one-pixel black and white checks
// (white where x + y is even), written by libjpeg at quality 95: a huge one is quick to make and
// small.
QByteArray checkedJpeg(QSize size, const std::vector<QRect>& patches);

// A JPEG whose frame header claims `size` (at most 65535 on each side): the SOF0 segment of a
// JPEG Qt wrote, patched.
QByteArray jpegClaiming(const QByteArray& jpeg, QSize size);
// The signature and the header chunk of a PNG claiming `size`, and the start of its pixels.
QByteArray pngClaiming(QSize size);

// What `program` writes from `input`: `args` name the input file as "%in" and the output file as
// "%out", which get the names `inName` and `outName` (the encoders tell formats by suffix). Empty
// when the program is missing or fails. For the formats only outside encoders write (heif-enc,
// avifenc, cjxl).
QByteArray encodedBy(const QString& program, const QStringList& args, const QByteArray& input,
                     const QString& inName, const QString& outName);
// A HEIF file whose image spatial extents all claim `size`: a file heif-enc wrote, patched.
QByteArray heifClaiming(QByteArray heif, QSize size);
// A HEIF file (one heif-enc wrote: its meta box, then its media data) whose primary picture is
// turned by a quarter clockwise by an added "irot" property.
QByteArray withHeifQuarterTurn(const QByteArray& heif);
// The start of a JPEG XL codestream claiming `size`: the signature, the size header and image
// metadata of all defaults (sRGB, 8 bits, no alpha), and a little noise.
QByteArray jxlClaiming(QSize size);

// An icon file with one DIB entry per element, in the given order.
struct IconEntry {
    int side; // width and height, 1..256
    int bits; // 32 (BGRA) or 8 (palette of one colour)
    QColor color;
};
QByteArray iconFile(const std::vector<IconEntry>& entries);

// A Windows metafile built record by record. Coordinates are logical units.
class WmfBuilder {
public:
    // With a placeable header: the frame in logical units, `unitsPerInch` of them to the inch.
    WmfBuilder(QRect frame, int unitsPerInch);
    // Without one.
    WmfBuilder();

    WmfBuilder& window(QRect r);          // SetWindowOrg, SetWindowExt
    WmfBuilder& solidBrush(QColor c);     // a new brush, selected
    WmfBuilder& noPen();                  // a null pen, selected
    WmfBuilder& pen(QColor c, int width); // a new solid pen, selected
    WmfBuilder& line(QPoint from, QPoint to);
    WmfBuilder& rectangle(QRect r); // with the brush and the pen
    WmfBuilder& font(const QString& face, int height);
    WmfBuilder& text(QPoint at, const QByteArray& latin1);
    QByteArray bytes() const;

private:
    void record(quint16 function, const std::vector<quint16>& params);
    bool placeable_ = false;
    QRect frame_;
    int unitsPerInch_ = 0;
    QByteArray records_;
    quint32 maxRecord_ = 0;
    quint16 objects_ = 0;
};

// An enhanced metafile built record by record. Coordinates are device pixels.
class EmfBuilder {
public:
    // `bounds` inclusive, as the header stores it; `frame` in hundredths of a millimetre; the
    // recording device `devicePixels` big on `deviceMillimetres`.
    EmfBuilder(QRect bounds, QRect frame, QSize devicePixels = QSize(1024, 768),
               QSize deviceMillimetres = QSize(320, 240));
    // The header's bounds as four numbers, for empty ones (right < left).
    EmfBuilder(int left, int top, int right, int bottom, QRect frame, QSize devicePixels,
               QSize deviceMillimetres);

    EmfBuilder& solidBrush(QColor c);
    EmfBuilder& noPen();
    EmfBuilder& rectangle(QRect r); // inclusive-exclusive, as EMR_RECTANGLE
    QByteArray bytes() const;

private:
    void record(quint32 type, const std::vector<qint32>& params);
    qint32 bounds_[4];
    QRect frame_;
    QSize devicePixels_, deviceMillimetres_;
    QByteArray records_;
    quint32 count_ = 0;
    quint32 handles_ = 1;
};

} // namespace lumorra::test
