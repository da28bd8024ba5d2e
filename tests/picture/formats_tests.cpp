// The program's own decoders (TIFF, TGA, BMP, ICO and CUR, PBM/PGM/PPM) through the loader, on
// files ImageMagick and libtiff's tools write and on files made byte by byte for the variants no
// tool writes; the EXIF orientation of TIFF, PNG and WebP; bad input.

#include "picture/PictureLoader.h"
#include "picture/formats/Formats.h"
#include "platform/Error.h"
#include "support/Decoders.h"
#include "support/PictureBytes.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>

using namespace lumorra;
using namespace lumorra::test;

namespace {

constexpr int W = 40, H = 24;

// Four levels of red across, four of green down: few colours (a palette holds them exactly), and
// any flip or turn moves them. With `alpha`, the right half is half transparent.
QImage gradient(bool alpha = false) {
    QImage image(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            image.setPixel(x, y,
                           qRgba(x * 4 / W * 85, y * 4 / H * 85, 255 - x * 4 / W * 85,
                                 alpha && x >= W / 2 ? 128 : 255));
    return image;
}

// The largest difference of any channel of any pixel; INT_MAX for different sizes.
int difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return INT_MAX;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int j = 0; j < x.height(); ++j)
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            // The colour of a transparent pixel is of no matter.
            if (qAlpha(p) == 0 && qAlpha(q) == 0)
                continue;
            worst = std::max({worst, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                              qAbs(qBlue(p) - qBlue(q)), qAbs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

QByteArray convert(const QByteArray& png, const QStringList& args, const QString& out) {
    QStringList all{QStringLiteral("%in")};
    all << args << out + QStringLiteral(":%out");
    return encodedBy(QStringLiteral("convert"), all, png, QStringLiteral("in.png"),
                     QStringLiteral("out.") + out);
}

int errorOf(const QByteArray& bytes) {
    try {
        (void)decodePicture(decoders(), bytes);
    } catch (const Error& e) {
        return e.number;
    }
    return 0;
}

void put16(QByteArray& b, int v) {
    b.append(char(v & 255)).append(char(v >> 8 & 255));
}
void put32(QByteArray& b, quint32 v) {
    put16(b, int(v & 0xFFFF));
    put16(b, int(v >> 16));
}

// A TGA file of the gradient in any image type, depth and origin; run-length data as single
// pixel runs (whose packets cross rows) for types 9 to 11.
QByteArray tga(int type, int depth, int descriptor, const QImage& picture) {
    const bool mapped = (type & 7) == 1;
    QByteArray b;
    b.append(char(0)).append(char(mapped)).append(char(type));
    QList<QRgb> colours;
    if (mapped)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (!colours.contains(picture.pixel(x, y)))
                    colours.append(picture.pixel(x, y));
    put16(b, 0);
    put16(b, int(colours.size()));
    b.append(char(mapped ? 24 : 0));
    put16(b, 0), put16(b, 0), put16(b, W), put16(b, H);
    b.append(char(depth)).append(char(descriptor));
    for (QRgb c : colours)
        b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
    const auto pixel = [&](QRgb c) {
        QByteArray p;
        if (mapped)
            p.append(char(colours.indexOf(c)));
        else if ((type & 7) == 3)
            p.append(char(qGray(c)))
                .append(depth == 16 ? QByteArray(1, char(qAlpha(c))) : QByteArray());
        else if (depth <= 16)
            put16(p, (qAlpha(c) > 127) << 15 | (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 |
                         qBlue(c) >> 3);
        else
            p.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (depth == 32)
            p.append(char(qAlpha(c)));
        return p;
    };
    const bool right = descriptor & 0x10, top = descriptor & 0x20;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            const QRgb colour = picture.pixel(right ? W - 1 - c : c, top ? r : H - 1 - r);
            if (type & 8)
                b.append(char(0x80));
            b.append(pixel(colour));
        }
    return b;
}

// Grey as the TGA writer above and the loader's grey path see it.
QImage grey(const QImage& image, bool keepAlpha) {
    QImage g = image;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = image.pixel(x, y);
            g.setPixel(x, y, qRgba(qGray(c), qGray(c), qGray(c), keepAlpha ? qAlpha(c) : 255));
        }
    return g;
}

// The EXIF block of one orientation tag.
QByteArray exif(int orientation) {
    QByteArray e("II*\0\x08\0\0\0", 8);
    put16(e, 1);
    put16(e, 0x0112), put16(e, 3), put32(e, 1), put16(e, orientation), put16(e, 0);
    put32(e, 0);
    return e;
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    QByteArray c;
    c.resize(4);
    qToBigEndian<quint32>(quint32(data.size()), c.data());
    const QByteArray body = QByteArray(type) + data;
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : body) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    QByteArray tail(4, 0);
    qToBigEndian<quint32>(~crc, tail.data());
    return c + body + tail;
}

// A PNG with an eXIf chunk after its header chunk.
QByteArray pngTurned(const QImage& image, int orientation) {
    const QByteArray png = encoded(image, "png");
    return png.left(33) + pngChunk("eXIf", exif(orientation)) + png.mid(33);
}

// A WebP in the extended format (VP8X) with an EXIF chunk after the picture's.
QByteArray webpTurned(const QImage& image, int orientation) {
    const QByteArray simple = encoded(image, "webp", 100);
    QByteArray vp8x("VP8X", 4);
    put32(vp8x, 10);
    vp8x.append(char(0x08)).append(QByteArray(3, 0));
    const auto put24 = [&](int v) {
        vp8x.append(char(v & 255)).append(char(v >> 8)).append(char(0));
    };
    put24(image.width() - 1), put24(image.height() - 1);
    QByteArray chunk("EXIF", 4);
    put32(chunk, quint32(exif(orientation).size()));
    chunk += exif(orientation);
    const QByteArray body = QByteArray("WEBP") + vp8x + simple.mid(12) + chunk;
    QByteArray riff("RIFF", 4);
    put32(riff, quint32(body.size()));
    return riff + body;
}

// A BMP rebuilt with an information header of `size` bytes: the first bytes of its own,
// padded with zeros (an OS/2 2.x header from a 40-byte one) or cut (a 52- or 56-byte header from
// a version 5 one, whose masks stay where they are).
QByteArray withHeaderSize(const QByteArray& bmp, int size) {
    const qsizetype old = qFromLittleEndian<quint32>(bmp.constData() + 14);
    const qsizetype table = 14 + old, pixels = qFromLittleEndian<quint32>(bmp.constData() + 10);
    QByteArray header = bmp.mid(14, size).leftJustified(size, '\0', true);
    qToLittleEndian<quint32>(quint32(size), header.data());
    QByteArray b = bmp.left(14) + header + bmp.mid(table, pixels - table);
    qToLittleEndian<quint32>(quint32(14 + size + (pixels - table)), b.data() + 10);
    return b + bmp.mid(pixels);
}

QByteArray patched32(QByteArray b, qsizetype at, quint32 value) {
    qToLittleEndian<quint32>(value, b.data() + at);
    return b;
}

// A TIFF whose image width entry (ImageMagick writes a SHORT) becomes a LONG of `width`.
QByteArray withTiffWidth(QByteArray tiff, quint32 width) {
    QByteArray entry("\x00\x01\x04\x00\x01\x00\x00\x00", 8);
    put32(entry, width);
    return tiff.replace(QByteArray("\x00\x01\x03\x00\x01\x00\x00\x00\x28\x00\x00\x00", 12), entry);
}

} // namespace

class FormatsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenFilesDecode_data();
    void writtenFilesDecode();
    void madeFilesDecode_data();
    void madeFilesDecode();
    void orientationApplied_data();
    void orientationApplied();
    void badInputRefused_data();
    void badInputRefused();
};

void FormatsTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
        QSKIP("ImageMagick's convert is not installed");
}

void FormatsTest::writtenFilesDecode_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<int>("tolerance");
    const auto row = [](const char* name, QStringList args, const char* format, bool alpha = false,
                        bool grey = false, int tolerance = 3) {
        QTest::newRow(name) << args << QString::fromLatin1(format) << alpha << grey << tolerance;
    };
    const QString depth16 = QStringLiteral("-depth"), sixteen = QStringLiteral("16");
    row("tiff rgb", {}, "tiff");
    row("tiff rgba", {}, "tiff", true);
    row("tiff 16 bits", {depth16, sixteen}, "tiff");
    row("tiff 16 bits alpha", {depth16, sixteen}, "tiff", true);
    row("tiff float", {"-define", "quantum:format=floating-point", depth16, "32"}, "tiff");
    row("tiff 12 bits", {depth16, "12"}, "tiff");
    row("tiff planar", {"-interlace", "plane"}, "tiff");
    row("tiff planar 16 bits", {"-interlace", "plane", depth16, sixteen}, "tiff");
    row("tiff tiled", {"-define", "tiff:tile-geometry=16x16"}, "tiff");
    row("tiff tiled planar", {"-define", "tiff:tile-geometry=16x16", "-interlace", "plane"},
        "tiff");
    row("tiff tiled float",
        {"-define", "tiff:tile-geometry=16x16", "-define", "quantum:format=floating-point", depth16,
         "32"},
        "tiff");
    row("tiff palette", {"-type", "Palette"}, "tiff");
    row("tiff grey", {"-colorspace", "Gray"}, "tiff", false, true);
    row("tiff grey 16 bits", {"-colorspace", "Gray", depth16, sixteen}, "tiff", false, true);
    row("tiff min-is-white", {"-colorspace", "Gray", "-define", "tiff:photometric=min-is-white"},
        "tiff", false, true);
    row("tiff cmyk", {"-colorspace", "CMYK"}, "tiff", false, false, 6);
    row("tiff cmyk 16 bits", {"-colorspace", "CMYK", depth16, sixteen}, "tiff", false, false, 6);
    row("tiff cmyk jpeg",
        {"-alpha", "off", "-colorspace", "CMYK", "-compress", "JPEG", "-quality", "98"}, "tiff",
        false, false, 40);
    row("tiff jpeg", {"-compress", "JPEG", "-quality", "98"}, "tiff", false, false, 40);
    row("tiff lzw", {"-compress", "LZW"}, "tiff");
    row("tga", {"-orient", "TopLeft"}, "tga");
    row("tga alpha", {"-orient", "TopLeft"}, "tga", true);
    row("tga rle", {"-compress", "RLE", "-orient", "TopLeft"}, "tga");
    row("tga rle alpha", {"-compress", "RLE", "-orient", "TopLeft"}, "tga", true);
    row("tga grey", {"-colorspace", "Gray", "-orient", "TopLeft"}, "tga", false, true);
    row("tga colour-mapped", {"-type", "Palette", "-orient", "TopLeft"}, "tga");
    row("tga colour-mapped rle", {"-type", "Palette", "-compress", "RLE", "-orient", "TopLeft"},
        "tga");
    row("bmp os/2 1.x", {"-define", "bmp:format=bmp2"}, "bmp");
    row("bmp 40-byte header", {"-define", "bmp:format=bmp3"}, "bmp");
    row("bmp v5", {}, "bmp");
    row("bmp v5 alpha", {}, "bmp", true);
    row("bmp rgb565", {"-define", "bmp:subtype=RGB565"}, "bmp", false, false, 8);
    row("bmp argb4444", {"-define", "bmp:subtype=ARGB4444"}, "bmp", true, false, 17);
    row("bmp 8 bits", {"-type", "Palette", "-define", "bmp:format=bmp3"}, "bmp");
    row("bmp 4 bits", {"-type", "Palette", "-colors", "16", "-define", "bmp:format=bmp3"}, "bmp",
        false, false, 90);
    row("bmp rle8", {"-type", "Palette", "-compress", "RLE", "-define", "bmp:format=bmp3"}, "bmp");
    row("pbm plain", {"-type", "Bilevel", "-compress", "None"}, "pbm", false, true);
    row("pbm", {"-type", "Bilevel"}, "pbm", false, true);
    row("pgm 16 bits", {"-colorspace", "Gray", depth16, sixteen}, "pgm", false, true);
    row("pgm plain", {"-colorspace", "Gray", "-compress", "None"}, "pgm", false, true);
    row("ppm", {}, "ppm");
    row("ppm 16 bits", {depth16, sixteen}, "ppm");
    row("ppm plain", {"-compress", "None"}, "ppm");
}

// What the loader decodes from ImageMagick's file is what ImageMagick makes of the same picture
// as PNG.
void FormatsTest::writtenFilesDecode() {
    QFETCH(QStringList, args);
    QFETCH(QString, format);
    QFETCH(bool, alpha);
    QFETCH(bool, grey);
    QFETCH(int, tolerance);
    const QByteArray source = encoded(gradient(alpha), "png");
    const QByteArray file = convert(source, args, format);
    QVERIFY2(!file.isEmpty(), "convert failed");
    // ImageMagick's own reading of the picture it wrote is the reference.
    const QByteArray reference = encodedBy(
        QStringLiteral("convert"),
        {QStringLiteral("%in"), QStringLiteral("-auto-orient"), QStringLiteral("PNG32:%out")}, file,
        QStringLiteral("in.") + format, QStringLiteral("out.png"));
    const QImage expected = QImage::fromData(reference);
    QVERIFY(!expected.isNull());
    const Picture p = decodePicture(decoders(), file);
    QCOMPARE(p.naturalSize, QSize(W, H));
    const int d = difference(p.image, expected);
    QVERIFY2(d <= tolerance, qPrintable(QStringLiteral("differs by %1").arg(d)));
    // The decode is the picture, not only ImageMagick's view of it: no more than the writer's
    // own loss away from the gradient.
    if (!grey && tolerance < 10)
        QVERIFY(difference(p.image, gradient(alpha)) <= 20);
}

void FormatsTest::madeFilesDecode_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    QTest::addColumn<int>("tolerance");
    const QImage picture = gradient(), seeThrough = gradient(true);
    const char* origins[] = {"bottom left", "bottom right", "top left", "top right"};
    for (int o = 0; o < 4; ++o) {
        const int descriptor = o << 4;
        QTest::addRow("tga 24 bits %s", origins[o])
            << tga(2, 24, descriptor, picture) << picture << 0;
        QTest::addRow("tga rle 32 bits %s", origins[o])
            << tga(10, 32, descriptor | 8, seeThrough) << seeThrough << 0;
    }
    QTest::newRow("tga 32 bits, no attribute bits") << tga(2, 32, 0x20, seeThrough) << picture << 0;
    QTest::newRow("tga 15 bits") << tga(2, 15, 0x20, picture) << picture << 8;
    QTest::newRow("tga 16 bits alpha")
        << tga(2, 16, 0x21, seeThrough) << gradient().convertToFormat(QImage::Format_ARGB32) << 8;
    QTest::newRow("tga colour-mapped") << tga(1, 8, 0x20, picture) << picture << 0;
    QTest::newRow("tga colour-mapped rle") << tga(9, 8, 0, picture) << picture << 0;
    QTest::newRow("tga grey") << tga(3, 8, 0, picture) << grey(picture, false) << 0;
    QTest::newRow("tga grey alpha rle")
        << tga(11, 16, 0x28, seeThrough) << grey(seeThrough, true) << 0;
    // The last packet a run of 128 from the last pixel on: cut at the picture's end.
    QByteArray overrun = tga(10, 24, 0, picture);
    overrun[overrun.size() - 4] = char(0xFF);
    QTest::newRow("tga rle overrun") << overrun << picture << 0;
    QByteArray footer = tga(2, 32, 0x28, seeThrough);
    // A TGA 2.0 extension area whose attributes type says the alpha is of no use.
    const qsizetype extension = footer.size();
    footer += QByteArray(495, 0);
    footer[extension] = char(495 & 255), footer[extension + 1] = char(495 >> 8);
    put32(footer, quint32(extension)), put32(footer, 0);
    footer += QByteArray("TRUEVISION-XFILE.\0", 18);
    QTest::newRow("tga 2.0 alpha not meant") << footer << picture << 0;

    const QByteArray bmp3 =
        convert(encoded(picture, "png"), {"-type", "Palette", "-define", "bmp:format=bmp3"}, "bmp");
    QTest::newRow("bmp os/2 2.x 16 bytes") << withHeaderSize(bmp3, 16) << picture << 0;
    QTest::newRow("bmp os/2 2.x 64 bytes") << withHeaderSize(bmp3, 64) << picture << 0;
    const QByteArray v5 =
        convert(encoded(picture, "png"), {"-alpha", "off", "-define", "bmp:subtype=RGB565"}, "bmp");
    QTest::newRow("bmp 52-byte header") << withHeaderSize(v5, 52) << picture << 8;
    QTest::newRow("bmp 56-byte header") << withHeaderSize(v5, 56) << picture << 8;
    // ImageMagick's 40-byte header with bit fields but no masks after it.
    QTest::newRow("bmp bit fields, no masks")
        << convert(encoded(picture, "png"),
                   {"-define", "bmp:format=bmp3", "-define", "bmp:subtype=RGB565"}, "bmp")
        << picture << 8;
    QByteArray topDown = convert(encoded(picture, "png"), {"-define", "bmp:format=bmp3"}, "bmp");
    {
        const qsizetype pixels = qFromLittleEndian<quint32>(topDown.constData() + 10);
        const qsizetype stride = (W * 3 + 3) / 4 * 4;
        QByteArray rows;
        for (int r = H - 1; r >= 0; --r)
            rows += topDown.mid(pixels + r * stride, stride);
        topDown = patched32(topDown.left(pixels) + rows, 22, quint32(-H));
    }
    QTest::newRow("bmp top-down") << topDown << picture << 0;

    // RLE4, 4 x 2, two colours: a run, an end of line, a delta over one pixel, absolute pixels.
    QByteArray rle4("BM", 2);
    put32(rle4, 0), put32(rle4, 0), put32(rle4, 14 + 40 + 8);
    put32(rle4, 40), put32(rle4, 4), put32(rle4, 2), put16(rle4, 1), put16(rle4, 4);
    put32(rle4, 2), put32(rle4, 0), put32(rle4, 0), put32(rle4, 0), put32(rle4, 2), put32(rle4, 0);
    put32(rle4, 0x0000FF), put32(rle4, 0x00FF00); // blue, green
    rle4.append(QByteArray("\x04\x01\x00\x00\x00\x02\x01\x00\x00\x03\x11\x10\x00\x01", 14));
    QImage small(4, 2, QImage::Format_RGB32);
    small.fill(Qt::blue);
    // The bottom row blue, green, blue, green; the top row one skipped (the table's first colour)
    // and three green.
    for (const QPoint p : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 0), QPoint(2, 0), QPoint(3, 0)})
        small.setPixel(p, qRgb(0, 255, 0));
    QTest::newRow("bmp rle4 delta") << rle4 << small << 0;

    // Icons: a cursor, and a PNG entry larger than the directory says.
    QByteArray cursor = iconFile({{16, 32, Qt::red}, {32, 32, Qt::green}});
    cursor[2] = 2;
    QImage green(32, 32, QImage::Format_ARGB32);
    green.fill(Qt::green);
    QTest::newRow("cur") << cursor << green << 0;
    QByteArray withPng = iconFile({{16, 32, Qt::red}});
    const QByteArray png = encoded(green, "png");
    withPng[6 + 16] = char(0); // append a second entry: 0 x 0 in the directory
    QByteArray two = withPng.left(4);
    put16(two, 2);
    QByteArray entryOne = withPng.mid(6, 16), entryTwo(16, 0);
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(entryOne.constData() + 12) + 16,
                             entryOne.data() + 12);
    qToLittleEndian<quint32>(quint32(png.size()), entryTwo.data() + 8);
    qToLittleEndian<quint32>(quint32(withPng.size() + 16), entryTwo.data() + 12);
    two += entryOne + entryTwo + withPng.mid(22) + png;
    QTest::newRow("ico with a png entry") << two << green << 0;
}

void FormatsTest::madeFilesDecode() {
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QFETCH(int, tolerance);
    const Picture p = decodePicture(decoders(), file);
    const int d = difference(p.image, expected);
    QVERIFY2(d <= tolerance, qPrintable(QStringLiteral("differs by %1").arg(d)));
}

void FormatsTest::orientationApplied_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("orientation");
    const QImage picture = gradient();
    for (int o : {3, 6, 8}) {
        QTest::addRow("png %d", o) << pngTurned(picture, o) << o;
        QTest::addRow("webp %d", o) << webpTurned(picture, o) << o;
    }
    for (const char* o : {"BottomRight", "RightTop", "LeftBottom", "LeftTop"}) {
        const int value = QByteArray(o) == "BottomRight"  ? 3
                          : QByteArray(o) == "RightTop"   ? 6
                          : QByteArray(o) == "LeftBottom" ? 8
                                                          : 5;
        QTest::addRow("tiff %s", o)
            << convert(encoded(picture, "png"), {"-orient", o}, "tiff") << value;
    }
}

// The picture, its size and the size read from its header alone come upright.
void FormatsTest::orientationApplied() {
    QFETCH(QByteArray, file);
    QFETCH(int, orientation);
    QImage expected = gradient();
    if (orientation == 3)
        expected = expected.transformed(QTransform().rotate(180));
    else if (orientation == 6)
        expected = expected.transformed(QTransform().rotate(90));
    else if (orientation == 8)
        expected = expected.transformed(QTransform().rotate(270));
    else if (orientation == 5)
        expected = expected.transformed(QTransform(0, 1, 1, 0, 0, 0));
    const Picture p = decodePicture(decoders(), file);
    QCOMPARE(p.naturalSize, expected.size());
    QVERIFY(difference(p.image, expected) <= 12);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("turned")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
    f.close();
    QCOMPARE(pictureSize(decoders(), f.fileName()), expected.size());
}

void FormatsTest::badInputRefused_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("error");
    const QByteArray png = encoded(gradient(), "png");
    const QByteArray tiff = convert(png, {}, "tiff"), bmp = encoded(gradient(), "bmp");
    const QByteArray targa = tga(2, 24, 0, gradient()), ppm = convert(png, {}, "ppm");
    QTest::newRow("tiff cut") << tiff.left(tiff.size() / 2) << 481;
    QTest::newRow("tga cut") << targa.left(targa.size() - 5) << 481;
    QTest::newRow("tga rle cut") << tga(10, 24, 0, gradient()).chopped(2) << 481;
    QTest::newRow("bmp cut") << bmp.left(bmp.size() - 5) << 481;
    QTest::newRow("ppm cut") << ppm.chopped(1) << 481;
    QTest::newRow("ico cut") << iconFile({{32, 32, Qt::red}}).left(40) << 481;
    QTest::newRow("bmp zero width") << patched32(bmp, 18, 0) << 481;
    QTest::newRow("ppm zero height") << QByteArray("P6 4 0 255\n") << 481;
    QTest::newRow("tiff zero width") << withTiffWidth(tiff, 0) << 481;
    // Huge claims fail fast, before any of their pixels are allocated.
    QByteArray hugeTga = targa;
    hugeTga[12] = hugeTga[13] = hugeTga[14] = hugeTga[15] = char(0xFF);
    QTest::newRow("tga huge") << hugeTga << 7;
    QTest::newRow("bmp huge") << patched32(patched32(bmp, 18, 0x7FFFFF), 22, 0x7FFFFF) << 7;
    QTest::newRow("ppm huge") << QByteArray("P6 8000000 8000000 255\n") << 7;
    QTest::newRow("tiff huge") << withTiffWidth(tiff, 0x7FFFFFFF) << 7;
}

void FormatsTest::badInputRefused() {
    QFETCH(QByteArray, file);
    QFETCH(int, error);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(errorOf(file), error);
    QVERIFY(timer.elapsed() < 2000);
}

QTEST_GUILESS_MAIN(FormatsTest)
#include "formats_tests.moc"
