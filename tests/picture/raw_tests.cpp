// Camera RAW pictures: DNG files written here, with sensor data behind an RGGB filter whose
// demosaiced colours are known, and an embedded JPEG preview of other colours.

#include "picture/Decoding.h"
#include "picture/PictureLoader.h"
#include "picture/formats/RawDecoder.h"
#include "platform/Error.h"
#include "support/Decoders.h"
#include "support/DngWriter.h"
#include "support/Failure.h"
#include "support/PictureBytes.h"
#include "support/TestEnv.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <optional>
#include <vector>

using namespace lumorra;
using namespace lumorra::test;

namespace {

enum class Preview { None, Full, Small, Corrupt };

QImage twoHalvesVertically(QSize size, QColor top, QColor bottom) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(top);
    for (int y = size.height() / 2; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, bottom.rgb());
    return image;
}

// The raw picture's two halves, and its preview's (an sRGB JPEG).
const QColor RawTop(200, 40, 40);
const QColor RawBottom(40, 40, 200);
const QColor PreviewTop(40, 200, 40);
const QColor PreviewBottom(220, 220, 40);

// A DNG whose sensor data (16 bits, RGGB) is RawTop above RawBottom, in a camera whose colours
// are sRGB's, white balanced as neutral; stored at `size` (before `orientation`, an EXIF one),
// claiming `claimed` when that is given.
QByteArray dngFile(QSize size, int orientation, Preview preview, QSize claimed = QSize()) {
    QByteArray data(qsizetype(size.width()) * size.height() * 2, '\0');
    for (int y = 0; y < size.height(); ++y) {
        const QColor c = y < size.height() / 2 ? RawTop : RawBottom;
        for (int x = 0; x < size.width(); ++x) {
            const int channel = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            const int v = channel == 0 ? c.red() : channel == 1 ? c.green() : c.blue();
            qToLittleEndian<quint16>(sensorValue(v),
                                     data.data() + (qsizetype(y) * size.width() + x) * 2);
        }
    }
    DngParts parts{size, data, orientation, claimed, {}, {}};
    if (preview != Preview::None) {
        parts.previewSize = preview == Preview::Small ? size / 4 : size;
        parts.preview =
            encoded(twoHalvesVertically(parts.previewSize, PreviewTop, PreviewBottom), "jpeg", 95);
        if (preview == Preview::Corrupt)
            parts.preview = parts.preview.left(20) + QByteArray(parts.preview.size() - 20, '\x5A');
    }
    return dngFile(parts);
}

bool near(QRgb pixel, QColor c, int tolerance = 12) {
    return qAbs(qRed(pixel) - c.red()) <= tolerance &&
           qAbs(qGreen(pixel) - c.green()) <= tolerance &&
           qAbs(qBlue(pixel) - c.blue()) <= tolerance;
}

} // namespace

class RawTest : public QObject {
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void previewIsReadWhereItIs();
    void toldByContent_data();
    void toldByContent();
    void badInput_data();
    void badInput();

private:
    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("photo.dng")) {
        return writtenFile(dir_.filePath(name), bytes);
    }
    QTemporaryDir dir_;
};

void RawTest::decodes_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("preview");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("fromPreview");
    // Where the stored top half and the stored bottom half are found in the upright picture, as
    // fractions of its size.
    QTest::addColumn<QPointF>("topAt");
    QTest::addColumn<QPointF>("bottomAt");
    const QPointF up(0.5, 0.25), down(0.5, 0.75), left(0.25, 0.5), right(0.75, 0.5);
    const int none = int(Preview::None), full = int(Preview::Full);
    const QSize small(64, 64);
    QTest::newRow("full decode") << 1 << none << QSize() << false << up << down;
    QTest::newRow("no preview, shown small") << 1 << none << small << false << up << down;
    QTest::newRow("preview at 1:1: full") << 1 << full << QSize() << false << up << down;
    QTest::newRow("preview, shown small") << 1 << full << small << true << up << down;
    QTest::newRow("preview, shown larger") << 1 << full << QSize(4000, 4000) << false << up << down;
    QTest::newRow("small preview: full")
        << 1 << int(Preview::Small) << small << false << up << down;
    QTest::newRow("corrupt preview: full")
        << 1 << int(Preview::Corrupt) << small << false << up << down;
    QTest::newRow("turned clockwise") << 6 << none << QSize() << false << right << left;
    QTest::newRow("turned anticlockwise") << 8 << none << QSize() << false << left << right;
    QTest::newRow("preview turned clockwise") << 6 << full << small << true << right << left;
    QTest::newRow("preview turned anticlockwise") << 8 << full << small << true << left << right;
}

void RawTest::decodes() {
    QFETCH(int, orientation);
    QFETCH(int, preview);
    QFETCH(QSize, shown);
    QFETCH(bool, fromPreview);
    QFETCH(QPointF, topAt);
    QFETCH(QPointF, bottomAt);
    const QSize stored(160, 120);
    const QSize upright = orientation >= 5 ? stored.transposed() : stored;
    const QString path = write(dngFile(stored, orientation, Preview(preview)));
    QCOMPARE(pictureSize(decoders(), path), upright);
    const Picture p = loadPicture(decoders(), path, shown);
    QCOMPARE(p.format, QStringLiteral("raw"));
    QCOMPARE(p.naturalSize, upright);
    QCOMPARE(p.fromPreview, fromPreview);
    // A picture shown from its preview is decoded in full again for whatever wants all of it.
    QCOMPARE(p.isReduced(), fromPreview);
    if (!fromPreview)
        QCOMPARE(p.image.size(), upright);
    const auto at = [&](QPointF f) {
        return p.image.pixel(int(f.x() * p.image.width()), int(f.y() * p.image.height()));
    };
    const QColor top = fromPreview ? PreviewTop : RawTop;
    const QColor bottom = fromPreview ? PreviewBottom : RawBottom;
    QVERIFY2(near(at(topAt), top), qPrintable(QColor(at(topAt)).name()));
    QVERIFY2(near(at(bottomAt), bottom), qPrintable(QColor(at(bottomAt)).name()));
    // The full decode from the bytes the picture keeps.
    const Picture whole = decodePicture(decoders(), p.bytes);
    QCOMPARE(whole.image.size(), upright);
    QVERIFY(!whole.fromPreview);
}

void RawTest::previewIsReadWhereItIs() {
    // The JPEG handed on is the file's own, as stored: not a copy with a header put before it.
    const QByteArray dng = dngFile(QSize(160, 120), 6, Preview::Full);
    const QByteArray jpeg = picture::rawPreview(dng, picture::readRawHeader(dng));
    QVERIFY(jpeg.size() > 100);
    QVERIFY(dng.indexOf(jpeg) > 0);
}

void RawTest::toldByContent_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    const QImage plain = twoHalvesVertically(QSize(40, 30), RawTop, RawBottom);
    using W = TiffWriter;
    const QByteArray rgb(40 * 30 * 3, '\x80');
    // An RGB TIFF with a maker's name, as cameras and scanners write: not a RAW.
    const QByteArray madeRgb = W::file(
        {W::longs(256, {40}), W::longs(257, {30}), W::shorts(258, {8, 8, 8}), W::shorts(259, {1}),
         W::shorts(262, {2}), W::text(271, "Testmaker"), W::longs(273, {0}), W::shorts(277, {3}),
         W::longs(278, {30}), W::longs(279, {quint32(rgb.size())}), W::shorts(284, {1})},
        rgb);
    QTest::newRow("dng") << dngFile(QSize(64, 48), 1, Preview::None) << "raw";
    QTest::newRow("plain tiff") << encoded(plain, "tiff") << "tiff";
    QTest::newRow("tiff with a maker") << madeRgb << "tiff";
}

void RawTest::toldByContent() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QCOMPARE(picture::isCameraRaw(bytes), format == QLatin1String("raw"));
    // Whatever the file is called.
    QCOMPARE(loadPicture(decoders(), write(bytes, QStringLiteral("picture.tif"))).format, format);
}

void RawTest::badInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("error");
    const QByteArray dng = dngFile(QSize(160, 120), 1, Preview::None);
    QTest::newRow("header only") << dng.left(200) << 481;
    QTest::newRow("data cut short") << dng.left(dng.size() / 2) << 481;
    QTest::newRow("no pixels") << dngFile(QSize(160, 120), 1, Preview::None, QSize(0, 120)) << 481;
    QTest::newRow("huge") << dngFile(QSize(160, 120), 1, Preview::None, QSize(60000, 60000)) << 7;
    // Olympus' and Fujifilm's signatures, and nothing a decoder could read after them.
    QTest::newRow("orf signature only")
        << QByteArray("IIRO\x08\0\0\0", 8) + QByteArray(64, '\0') << 481;
    QTest::newRow("raf signature only")
        << QByteArray("FUJIFILMCCD-RAW 0201") + QByteArray(64, '\0') << 481;
}

void RawTest::badInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);
    const QString path = write(bytes);
    for (const QSize shown : {QSize(), QSize(64, 64)}) {
        const std::optional<Error> e = failure([&] { (void)loadPicture(decoders(), path, shown); });
        QVERIFY(e);
        QCOMPARE(e->number, error);
    }
}

QTEST_MAIN(RawTest)
#include "raw_tests.moc"
