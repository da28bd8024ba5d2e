#include "picture/PictureLoader.h"
#include "picture/ShownPicture.h"
#include "picture/formats/EmfReader.h"
#include "picture/formats/HeifDecoder.h"
#include "picture/formats/JxlDecoder.h"
#include "picture/formats/PictureFormat.h"
#include "picture/formats/WmfReader.h"
#include "picture/sandbox/Isolation.h"
#include "picture/sandbox/PictureJobs.h"
#include "platform/Error.h"
#include "support/Decoders.h"
#include "support/Failure.h"
#include "support/PictureBytes.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumorra;
using namespace lumorra::test;

namespace {

const QColor Red(220, 20, 20);
const QColor Blue(20, 20, 220);
const QColor Green(20, 200, 20);

// Within `tolerance` of the colour on each channel, and opaque (JPEG and smooth scaling move
// colours a little).
bool near(QRgb pixel, QColor c, int tolerance = 40) {
    return qAbs(qRed(pixel) - c.red()) <= tolerance &&
           qAbs(qGreen(pixel) - c.green()) <= tolerance &&
           qAbs(qBlue(pixel) - c.blue()) <= tolerance && qAlpha(pixel) == 255;
}

bool isDisplayFormat(const QImage& image) {
    return image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
}

// A metafile drawing of red on the left and blue on the right, 2 x 1 inches, 192 x 96 at 96 dpi.
QByteArray redBlueWmf() {
    return WmfBuilder(QRect(0, 0, 2880, 1440), 1440)
        .window(QRect(0, 0, 2880, 1440))
        .noPen()
        .solidBrush(Red)
        .rectangle(QRect(0, 0, 1440, 1440))
        .solidBrush(Blue)
        .rectangle(QRect(1440, 0, 1440, 1440))
        .bytes();
}

// The same as an EMF of 100 x 50 device pixels.
QByteArray redBlueEmf() {
    return EmfBuilder(QRect(0, 0, 100, 50), QRect(0, 0, 2500, 1250))
        .noPen()
        .solidBrush(Red)
        .rectangle(QRect(0, 0, 50, 50))
        .solidBrush(Blue)
        .rectangle(QRect(50, 0, 50, 50))
        .bytes();
}

QByteArray svgText() {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"60\" height=\"30\">"
           "<rect x=\"0\" y=\"0\" width=\"30\" height=\"30\" fill=\"#dc1414\"/>"
           "<rect x=\"30\" y=\"0\" width=\"30\" height=\"30\" fill=\"#1414dc\"/></svg>";
}

// Three upright bands, red, green and blue; with `alpha`, its lower third half transparent.
QImage threeBands(bool alpha) {
    QImage image(60, 30, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const QColor c = x < 20 ? Red : x < 40 ? Green : Blue;
            image.setPixel(x, y, qRgba(c.red(), c.green(), c.blue(), alpha && y >= 20 ? 128 : 255));
        }
    return image;
}

// The bands as a PNG, in Display P3 with its ICC profile where `p3`.
QByteArray bandsPng(bool alpha, bool p3 = false) {
    QImage image = threeBands(alpha);
    if (p3)
        image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return encoded(image, "png");
}

// The formats only outside encoders write, and how each is asked to.
struct Encoder {
    QString program;
    QStringList args;
    QString outName;
};
const Encoder HeicLossless{"heif-enc", {"-L", "-p", "chroma=444", "%in", "-o", "%out"}, "x.heic"};
const Encoder HeicLossy{"heif-enc", {"-q", "90", "%in", "-o", "%out"}, "x.heic"};
const Encoder AvifLossless{"avifenc", {"-l", "%in", "%out"}, "x.avif"};
const Encoder AvifDeep{"avifenc", {"-d", "10", "%in", "%out"}, "x.avif"};
const Encoder JxlLossless{"cjxl", {"%in", "%out", "-d", "0"}, "x.jxl"};
const Encoder JxlLossy{"cjxl", {"%in", "%out", "-d", "1"}, "x.jxl"};
// A JPEG's pixels: cjxl takes the EXIF orientation into the codestream.
const Encoder JxlFromJpeg{"cjxl", {"%in", "%out", "--lossless_jpeg=0", "-d", "0"}, "x.jxl"};
// A JPEG's own coefficients, in the container with what rebuilds the JPEG.
const Encoder JxlRecompressed{"cjxl", {"%in", "%out"}, "x.jxl"};

// What the encoder writes from `input` (a PNG, or a JPEG for the JPEG XL ones that take it);
// empty when the program is missing.
QByteArray encodedWith(const Encoder& e, const QByteArray& input) {
    const bool jpeg = input.startsWith("\xFF\xD8");
    return encodedBy(e.program, e.args, input,
                     jpeg ? QStringLiteral("in.jpg") : QStringLiteral("in.png"), e.outName);
}

bool hasEncoder(const Encoder& e) {
    return !QStandardPaths::findExecutable(e.program).isEmpty();
}

int opaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
    return n;
}

} // namespace

Q_DECLARE_METATYPE(Encoder)

class PictureTest : public QObject {
    Q_OBJECT
private slots:
    // First, while the process is fresh: a WMF, then an EMF, here and in workers.
    void wmfThenEmfInOneProcess();

    void rasterFormatsLoadAtTheirSize_data();
    void rasterFormatsLoadAtTheirSize();
    void iconShowsItsLargestEntry();
    void exifOrientationTurnsThePicture_data();
    void exifOrientationTurnsThePicture();
    void formatIsToldByContent_data();
    void formatIsToldByContent();
    void oneFormatClaimsEachFile_data();
    void oneFormatClaimsEachFile();
    void unreadableContentIsAnInvalidPicture_data();
    void unreadableContentIsAnInvalidPicture();
    void fileSystemErrorsKeepTheirNumbers();
    void unreadableFileIsPermissionDenied();
    void hugeHeadersAreRefusedBeforeDecoding_data();
    void hugeHeadersAreRefusedBeforeDecoding();
    void ownDecodersDecodeUpright_data();
    void ownDecodersDecodeUpright();
    void ownDecodersTellTheColourSpace_data();
    void ownDecodersTellTheColourSpace();
    void hdrPicturesAreToneMapped_data();
    void hdrPicturesAreToneMapped();
    void bigPhotoLoads();
    void shownPictureDecodesFromItsBytesAlone();
    void truncatedJpegShowsWhatThereIs();
    void reducedJpegHasQtsPixels_data();
    void reducedJpegHasQtsPixels();
    void reducedTurnedJpegIsTurned();
    void fittedLoadDecodesAsForItsFittedSize_data();
    void fittedLoadDecodesAsForItsFittedSize();

    void wmfIsDrawnAtNinetySixDpi();
    void absurdPenWidthsAreTamed();
    void wmfWithoutPlaceableHeaderLoads();
    void wmfTextIsDrawn();
    void drawingWorkersDrawAsTheProgramWould_data();
    void drawingWorkersDrawAsTheProgramWould();
    void emfNaturalSizeComesFromTheHeader_data();
    void emfNaturalSizeComesFromTheHeader();
    void emfRecordingsFromOtherProgramsDraw_data();
    void emfRecordingsFromOtherProgramsDraw();
    void hugeEmfIsDrawnSmallerButKeepsItsSize();
    void damagedEmfRecordsAreInvalid_data();
    void damagedEmfRecordsAreInvalid();
    void metafilesAreDrawnAfreshAtTheSizeShown();
    void otherPicturesAreScaledToTheSizeShown();
    void aReaderThatCrashesOrHangsCostsOnlyItsChild();

    void damagedFilesNeverCrash_data();
    void damagedFilesNeverCrash();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir dir_;
};

QString PictureTest::write(const QString& name, const QByteArray& bytes) {
    return writtenFile(dir_.filePath(name), bytes);
}

void PictureTest::wmfThenEmfInOneProcess() {
    // The metafile libraries load with the first metafile drawn, and a WMF draws after an EMF
    // brought the other wmf_free() into the process.
    const auto mapped = [](const char* library) {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
    };
    QVERIFY(!mapped("libwmf-") && !mapped("libemf2svg"));
    const QImage wmfHere = picture::drawWmf(redBlueWmf(), QSize()).image;
    const QImage emfHere = picture::drawEmf(redBlueEmf(), QSize()).image;
    const QImage wmfAgain = picture::drawWmf(redBlueWmf(), QSize()).image;
    QVERIFY(mapped("libwmf-") && mapped("libemf2svg"));

    const Picture wmf = loadPicture(decoders(), write(QStringLiteral("first.wmf"), redBlueWmf()));
    const Picture emf = loadPicture(decoders(), write(QStringLiteral("second.emf"), redBlueEmf()));
    const Picture again = loadPicture(decoders(), dir_.filePath(QStringLiteral("first.wmf")));
    QCOMPARE(wmf.format, QStringLiteral("wmf"));
    QCOMPARE(emf.format, QStringLiteral("emf"));
    QCOMPARE(again.naturalSize, wmf.naturalSize);
    QVERIFY(near(emf.image.pixel(25, 25), Red, 10));
    QCOMPARE(wmfHere, wmf.image);
    QCOMPARE(wmfAgain, wmf.image);
    QCOMPARE(emfHere, emf.image);
}

void PictureTest::rasterFormatsLoadAtTheirSize_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    const QImage picture = twoHalves(QSize(64, 40), Red, Blue);
    for (const char* f : {"jpeg", "png", "bmp", "tiff", "webp"})
        QTest::newRow(f) << encoded(picture, f, 95) << QString::fromLatin1(f);
    // An animation shows its first frame.
    QTest::newRow("gif") << gifFile({picture, twoHalves(QSize(64, 40), Green, Green)})
                         << QStringLiteral("gif");
    QImage withAlpha = picture.convertToFormat(QImage::Format_ARGB32);
    withAlpha.setPixel(0, 0, qRgba(0, 0, 0, 0));
    QTest::newRow("png with alpha") << encoded(withAlpha, "png") << QStringLiteral("png");
    QTest::newRow("tga") << tgaFile(picture) << QStringLiteral("tga");
    QTest::newRow("svg") << svgText() << QStringLiteral("svg");
}

void PictureTest::rasterFormatsLoadAtTheirSize() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QVERIFY(!bytes.isEmpty());
    const QString path = write(QStringLiteral("picture.") + format.left(3), bytes);
    const Picture p = loadPicture(decoders(), path);
    const QSize expected = format == QLatin1String("svg") ? QSize(60, 30) : QSize(64, 40);
    QCOMPARE(p.format, format);
    QCOMPARE(p.naturalSize, expected);
    QCOMPARE(p.image.size(), expected);
    QCOMPARE(pictureSize(decoders(), path), expected);
    QVERIFY(isDisplayFormat(p.image));
    QVERIFY(!p.isMetafile());
    QVERIFY(near(p.image.pixel(10, 20), Red));
    QVERIFY(near(p.image.pixel(expected.width() - 10, 20), Blue));
}

void PictureTest::iconShowsItsLargestEntry() {
    // The first entry is the smallest, and the largest size comes twice: 8-bit, then 32-bit.
    const QString path =
        write(QStringLiteral("app.ico"),
              iconFile({{16, 32, Red}, {48, 8, Blue}, {48, 32, Green}, {32, 32, Red}}));
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.format, QStringLiteral("ico"));
    QCOMPARE(p.naturalSize, QSize(48, 48));
    QCOMPARE(pictureSize(decoders(), path), QSize(48, 48));
    QVERIFY(isDisplayFormat(p.image));
    QVERIFY(near(p.image.pixel(24, 24), Green, 5));
}

void PictureTest::exifOrientationTurnsThePicture_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QPoint>("redAt"); // where the stored picture's left half ends up
    QTest::addColumn<QPoint>("blueAt");
    QTest::newRow("6: turned right") << 6 << QSize(40, 80) << QPoint(20, 10) << QPoint(20, 70);
    QTest::newRow("8: turned left") << 8 << QSize(40, 80) << QPoint(20, 70) << QPoint(20, 10);
    QTest::newRow("3: upside down") << 3 << QSize(80, 40) << QPoint(70, 20) << QPoint(10, 20);
    QTest::newRow("2: mirrored") << 2 << QSize(80, 40) << QPoint(70, 20) << QPoint(10, 20);
    QTest::newRow("4: flipped") << 4 << QSize(80, 40) << QPoint(10, 20) << QPoint(70, 20);
    QTest::newRow("5: transposed") << 5 << QSize(40, 80) << QPoint(20, 10) << QPoint(20, 70);
    QTest::newRow("7: transversed") << 7 << QSize(40, 80) << QPoint(20, 70) << QPoint(20, 10);
}

void PictureTest::exifOrientationTurnsThePicture() {
    QFETCH(int, orientation);
    QFETCH(QSize, shown);
    QFETCH(QPoint, redAt);
    QFETCH(QPoint, blueAt);
    const QByteArray jpeg = encoded(twoHalves(QSize(80, 40), Red, Blue), "jpeg", 95);
    const QString path = write(QStringLiteral("photo.jpg"), withExifOrientation(jpeg, orientation));
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, shown);
    QCOMPARE(p.image.size(), shown);
    QCOMPARE(pictureSize(decoders(), path), shown);
    QVERIFY(near(p.image.pixel(redAt), Red));
    QVERIFY(near(p.image.pixel(blueAt), Blue));
    QVERIFY(p.regionsDecodable);
    // A region of it, decoded alone, is that part of the picture turned: a gradient, so that a
    // rectangle taken from the wrong place or turned the wrong way differs by far.
    QImage gradient(80, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x)
            gradient.setPixel(x, y, qRgb(x * 3, y * 6, 128));
    const QByteArray bytes = withExifOrientation(encoded(gradient, "jpeg", 95), orientation);
    const QImage whole = decodePicture(decoders(), bytes).image;
    const QRect region =
        shown.width() > shown.height() ? QRect(13, 7, 29, 21) : QRect(7, 13, 21, 29);
    const QImage part = decodeRegion(decoders(), bytes, region);
    QCOMPARE(part.size(), region.size());
    for (int y = 0; y < region.height(); ++y)
        for (int x = 0; x < region.width(); ++x) {
            const QRgb a = part.pixel(x, y), b = whole.pixel(region.x() + x, region.y() + y);
            QVERIFY2(qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) <= 12,
                     qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
        }
}

void PictureTest::formatIsToldByContent_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    const QImage picture = twoHalves(QSize(32, 16), Red, Blue);
    QTest::newRow("png named .jpg") << "photo.jpg" << encoded(picture, "png") << "png";
    QTest::newRow("jpeg named .png") << "image.png" << encoded(picture, "jpeg") << "jpeg";
    QTest::newRow("bmp named .gif") << "anim.gif" << encoded(picture, "bmp") << "bmp";
    QTest::newRow("tiff named .txt") << "scan.txt" << encoded(picture, "tiff") << "tiff";
    QTest::newRow("svg named .jpg") << "vector.jpg" << svgText() << "svg";
    QTest::newRow("ico without suffix") << "icon" << iconFile({{16, 32, Red}}) << "ico";
    QTest::newRow("wmf named .emf") << "drawing.emf" << redBlueWmf() << "wmf";
    QTest::newRow("emf named .wmf") << "drawing.wmf" << redBlueEmf() << "emf";
}

void PictureTest::formatIsToldByContent() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    const Picture p = loadPicture(decoders(), write(name, bytes));
    QCOMPARE(p.format, format);
    QVERIFY(!p.isNull());
}

// The listed formats' sniffs never overlap: exactly one claims a file, under a name of its own,
// and each has a place in the sniff order of its own.
void PictureTest::oneFormatClaimsEachFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("name");
    const QImage picture = twoHalves(QSize(32, 16), Red, Blue);
    const auto row = [](const char* name, const QByteArray& bytes) {
        QTest::newRow(name) << bytes << QByteArray(name);
    };
    for (const char* format : {"jpeg", "png", "bmp", "tiff", "webp"})
        row(format, encoded(picture, format));
    row("gif", gifFile({picture}));
    row("ico", iconFile({{16, 32, Red}}));
    row("tga", tgaFile(picture));
    row("pnm", QByteArray("P6\n1 1\n255\n\0\0\0", 12));
    row("wmf", redBlueWmf());
    row("emf", redBlueEmf());
    row("jxl", jxlClaiming(QSize(32, 16)));
    row("heif", QByteArray("\0\0\0\x18"
                           "ftypheic\0\0\0\0"
                           "mif1heic",
                           24));
    row("avif", QByteArray("\0\0\0\x18"
                           "ftypmif1\0\0\0\0"
                           "mif1avif",
                           24));
    row("raw", QByteArray("FOVb") + QByteArray(60, '\0'));
}

void PictureTest::oneFormatClaimsEachFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, name);
    QSet<int> orders;
    QByteArrayList claims;
    for (const picture::PictureFormat* format : picture::pictureFormats()) {
        orders.insert(format->order());
        const QByteArray claimed = format->claims(
            QByteArrayView(bytes).first(qMin<qsizetype>(bytes.size(), picture::SniffHeadBytes)),
            QByteArrayView(bytes).last(qMin<qsizetype>(bytes.size(), picture::SniffTailBytes)));
        if (!claimed.isEmpty()) {
            QVERIFY(format->names().contains(claimed));
            claims << claimed;
        }
    }
    QCOMPARE(orders.size(), picture::pictureFormats().size());
    QCOMPARE(claims, QByteArrayList{name});
}

void PictureTest::unreadableContentIsAnInvalidPicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QImage picture = twoHalves(QSize(32, 16), Red, Blue);
    QByteArray noise(4096, '\0');
    QRandomGenerator random(7);
    for (char& c : noise)
        c = char(random.bounded(256));
    QTest::newRow("empty") << "empty.jpg" << QByteArray();
    QTest::newRow("jpeg markers only") << "cut.jpg" << encoded(picture, "jpeg").left(20);
    QTest::newRow("png signature only") << "cut.png" << encoded(picture, "png").left(12);
    QTest::newRow("gif without screen") << "cut.gif" << gifFile({picture}).left(8);
    QTest::newRow("bmp file header only") << "cut.bmp" << encoded(picture, "bmp").left(14);
    QTest::newRow("ico directory cut") << "cut.ico" << iconFile({{16, 32, Red}}).left(10);
    QTest::newRow("wmf header cut") << "cut.wmf" << redBlueWmf().left(30);
    QTest::newRow("emf header cut") << "cut.emf" << redBlueEmf().left(60);
    QTest::newRow("noise") << "noise.jpg" << noise;
    QTest::newRow("text") << "readme.png" << QByteArray("Nothing to see here.\n");
    QTest::newRow("zip archive") << "archive.bmp" << QByteArray("PK\x03\x04\x14\0\0\0\x08\0", 10);
    // A file type box of a movie: no picture libheif reads.
    QTest::newRow("mp4 movie") << "clip.heic"
                               << QByteArray("\0\0\0\x18"
                                             "ftypisom\0\0\x02\0"
                                             "isomiso2",
                                             24) +
                                      QByteArray(64, '\0');
    QTest::newRow("heic file type only") << "cut.heic"
                                         << QByteArray("\0\0\0\x18"
                                                       "ftypheic\0\0\0\0"
                                                       "mif1heic",
                                                       24);
    QTest::newRow("jxl signature only") << "cut.jxl" << QByteArray("\xFF\x0A", 2);
}

void PictureTest::unreadableContentIsAnInvalidPicture() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = write(name, bytes);
    for (const auto& attempt : std::initializer_list<std::function<void()>>{
             [&] { loadPicture(decoders(), path); }, [&] { pictureSize(decoders(), path); },
             [&] { renderPicture(decoders(), path, QSize(20, 20)); }}) {
        const std::optional<Error> e = failure(attempt);
        QVERIFY(e);
        QCOMPARE(e->number, errc::InvalidPicture);
        QCOMPARE(e->description, QStringLiteral("Invalid picture"));
    }
}

void PictureTest::fileSystemErrorsKeepTheirNumbers() {
    const std::optional<Error> missing = failure(
        [&] { loadPicture(decoders(), dir_.filePath(QStringLiteral("no such picture.jpg"))); });
    QVERIFY(missing);
    QCOMPARE(missing->number, 2);
    QCOMPARE(missing->description, QStringLiteral("No such file or directory"));
    QCOMPARE(failure([&] {
                 pictureSize(decoders(), dir_.filePath(QStringLiteral("gone.png")));
             })->number,
             2);

    const QString folder = dir_.filePath(QStringLiteral("folder.jpg"));
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(failure([&] { loadPicture(decoders(), folder); })->number, 21); // EISDIR

    // A fifo would block a reader that waits for a writer; it is no picture.
    const QString fifo = dir_.filePath(QStringLiteral("pipe.png"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(failure([&] { loadPicture(decoders(), fifo); })->number, errc::InvalidPicture);
}

void PictureTest::unreadableFileIsPermissionDenied() {
    if (::geteuid() == 0)
        QSKIP("root reads every file");
    const QString path =
        write(QStringLiteral("secret.png"), encoded(twoHalves(QSize(8, 8), Red, Blue), "png"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    const std::optional<Error> e = failure([&] { loadPicture(decoders(), path); });
    QVERIFY(e);
    QCOMPARE(e->number, 13);
    QCOMPARE(e->description, QStringLiteral("Permission denied"));
}

void PictureTest::hugeHeadersAreRefusedBeforeDecoding_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("claimed");
    const QImage picture = twoHalves(QSize(32, 16), Red, Blue);
    const QSize huge(100000, 100000);
    QTest::newRow("png") << "huge.png" << pngClaiming(huge) << huge;
    // JPEG and GIF store 16-bit sizes: the most they can claim.
    const QSize most(65000, 65000);
    QTest::newRow("jpeg") << "huge.jpg" << jpegClaiming(encoded(picture, "jpeg"), most) << most;
    // The screen and the first frame: after the screen and its colour table of 256, the frame's
    // control block (8 bytes) and its separator and position (5).
    QByteArray gif = gifFile({picture});
    for (int at : {6, 8, 13 + 768 + 8 + 5, 13 + 768 + 8 + 7})
        qToLittleEndian(quint16(65000), gif.data() + at);
    QTest::newRow("gif") << "huge.gif" << gif << most;
    const QSize claimed(60000, 60000);
    QTest::newRow("jxl") << "huge.jxl" << jxlClaiming(claimed) << claimed;
    if (hasEncoder(HeicLossless))
        QTest::newRow("heif") << "huge.heic"
                              << heifClaiming(encodedWith(HeicLossless, bandsPng(false)), claimed)
                              << claimed;
}

void PictureTest::hugeHeadersAreRefusedBeforeDecoding() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, claimed);
    QVERIFY(!bytes.isEmpty());
    const QString path = write(name, bytes);
    if (name.endsWith(QLatin1String(".jpg"))) {
        // libjpeg decodes a JPEG reduced: at 1/4 or 1/8, whichever the memory allows, as for a
        // real photo that large.
        const Picture p = loadPicture(decoders(), path);
        QCOMPARE(p.naturalSize, claimed);
        QVERIFY(p.fitsOnlyReduced);
        QVERIFY2(p.image.width() == 16250 || p.image.width() == 8125,
                 qPrintable(QString::number(p.image.width())));
    } else {
        const std::optional<Error> e = failure([&] { loadPicture(decoders(), path); });
        QVERIFY(e);
        QCOMPARE(e->number, errc::OutOfMemory);
        QCOMPARE(e->description, QStringLiteral("Out of memory"));
    }
    // The header alone is read without trouble: the info list can still tell the size.
    QCOMPARE(pictureSize(decoders(), path), claimed);
}

void PictureTest::ownDecodersDecodeUpright_data() {
    QTest::addColumn<Encoder>("encoder");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("alpha");
    // Shown turned right: by the orientation of the JPEG a JPEG XL was made from, by an added
    // "irot" property in a HEIF.
    QTest::addColumn<bool>("turned");
    QTest::addColumn<int>("tolerance");
    const QByteArray plain = bandsPng(false), withAlpha = bandsPng(true);
    const QByteArray turnedJpeg = withExifOrientation(encoded(threeBands(false), "jpeg", 95), 6);
    QTest::newRow("heic lossless") << HeicLossless << plain << "heif" << false << false << 4;
    QTest::newRow("heic 4:2:0") << HeicLossy << plain << "heif" << false << false << 40;
    QTest::newRow("heic alpha") << HeicLossless << withAlpha << "heif" << true << false << 4;
    QTest::newRow("heic turned") << HeicLossless << plain << "heif" << false << true << 4;
    QTest::newRow("avif lossless") << AvifLossless << plain << "avif" << false << false << 2;
    QTest::newRow("avif 10 bits, alpha") << AvifDeep << withAlpha << "avif" << true << false << 40;
    QTest::newRow("jxl lossless") << JxlLossless << plain << "jxl" << false << false << 0;
    QTest::newRow("jxl lossy") << JxlLossy << plain << "jxl" << false << false << 20;
    QTest::newRow("jxl alpha") << JxlLossless << withAlpha << "jxl" << true << false << 0;
    QTest::newRow("jxl turned") << JxlFromJpeg << turnedJpeg << "jxl" << false << true << 40;
    QTest::newRow("jxl container, turned")
        << JxlRecompressed << turnedJpeg << "jxl" << false << true << 40;
}

void PictureTest::ownDecodersDecodeUpright() {
    QFETCH(Encoder, encoder);
    QFETCH(QByteArray, input);
    QFETCH(QString, format);
    QFETCH(bool, alpha);
    QFETCH(bool, turned);
    QFETCH(int, tolerance);
    if (!hasEncoder(encoder))
        QSKIP(qPrintable(encoder.program + QStringLiteral(" is missing")));
    QByteArray bytes = encodedWith(encoder, input);
    if (turned && format == QLatin1String("heif"))
        bytes = withHeifQuarterTurn(bytes);
    QVERIFY(!bytes.isEmpty());
    // Told by content, not by name.
    const QString path = write(QStringLiteral("picture.dat"), bytes);
    const QSize natural = turned ? QSize(30, 60) : QSize(60, 30);
    QCOMPARE(pictureSize(decoders(), path), natural);
    const Picture p = loadPicture(decoders(), path, QSize(10, 10));
    QCOMPARE(p.format, format);
    QCOMPARE(p.naturalSize, natural);
    QCOMPARE(p.image.size(), natural);
    QCOMPARE(p.image.format(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    // The bands' middles in the upper rows, where the picture stored upright turned right has
    // them from the top down.
    const auto at = [&](int x, int y) { return turned ? QPoint(29 - y, x) : QPoint(x, y); };
    QVERIFY(near(p.image.pixel(at(10, 5)), Red, tolerance));
    QVERIFY(near(p.image.pixel(at(30, 5)), Green, tolerance));
    QVERIFY(near(p.image.pixel(at(50, 5)), Blue, tolerance));
    if (alpha) {
        const QRgb half = p.image.pixel(at(30, 25));
        QVERIFY2(qAbs(qAlpha(half) - 128) <= qMax(tolerance, 2),
                 qPrintable(QString::number(qAlpha(half))));
        // Not premultiplied: the colour stays whole.
        QVERIFY(qAbs(qGreen(half) - Green.green()) <= tolerance);
    }

    // The coded pixels lost: cut off (JPEG XL), or spoilt (libheif looks for the media data when
    // it reads the boxes). The size is still told from the header; the picture is invalid.
    QByteArray damaged = bytes;
    if (format == QLatin1String("jxl")) {
        damaged.truncate(bytes.size() / 2);
    } else {
        const qsizetype media = bytes.indexOf("mdat") + 4;
        QVERIFY(media > 4);
        damaged.replace(media, bytes.size() - media, QByteArray(bytes.size() - media, '\xFF'));
    }
    const QString cut = write(QStringLiteral("cut.dat"), damaged);
    QCOMPARE(pictureSize(decoders(), cut), natural);
    const std::optional<Error> e = failure([&] { loadPicture(decoders(), cut); });
    QVERIFY(e);
    QCOMPARE(e->number, errc::InvalidPicture);
}

void PictureTest::ownDecodersTellTheColourSpace_data() {
    QTest::addColumn<Encoder>("encoder");
    QTest::addColumn<bool>("p3");       // the PNG's ICC profile, Display P3
    QTest::addColumn<bool>("iccP3");    // a profile of Display P3 carried
    QTest::addColumn<int>("primaries"); // CICP, 0 when none
    QTest::addColumn<int>("transfer");
    QTest::newRow("heic P3") << HeicLossy << true << true << 0 << 0;
    QTest::newRow("heic untagged") << HeicLossy << false << false << 0 << 0;
    QTest::newRow("avif P3") << AvifLossless << true << true << 0 << 0;
    QTest::newRow("avif sRGB") << AvifLossless << false << false << 1 << 13;
    const Encoder avifPq{"avifenc", {"--cicp", "9/16/9", "%in", "%out"}, "x.avif"};
    // Mapped to SDR as decoded: the sRGB curve, in BT.2020.
    QTest::newRow("avif BT.2020 PQ") << avifPq << false << false << 9 << 13;
    QTest::newRow("jxl lossless P3") << JxlLossless << true << true << 0 << 0;
    QTest::newRow("jxl lossy P3") << JxlLossy << true << true << 0 << 0;
    QTest::newRow("jxl lossless sRGB") << JxlLossless << false << false << 0 << 0;
    QTest::newRow("jxl lossy sRGB") << JxlLossy << false << false << 0 << 0;
}

void PictureTest::ownDecodersTellTheColourSpace() {
    QFETCH(Encoder, encoder);
    QFETCH(bool, p3);
    QFETCH(bool, iccP3);
    QFETCH(int, primaries);
    QFETCH(int, transfer);
    if (!hasEncoder(encoder))
        QSKIP(qPrintable(encoder.program + QStringLiteral(" is missing")));
    const QByteArray bytes = encodedWith(encoder, bandsPng(false, p3));
    QVERIFY(!bytes.isEmpty());
    picture::PictureFile file(write(QStringLiteral("tagged.dat"), bytes));
    const picture::DecodedPicture d = encoder.program == QLatin1String("cjxl")
                                          ? picture::decodeJxl(file, picture::pictureByteBudget())
                                          : picture::decodeHeif(file, picture::pictureByteBudget());
    QCOMPARE(d.image.size(), QSize(60, 30));
    QCOMPARE(d.colour.icc.isEmpty(), !iccP3);
    if (iccP3)
        QCOMPARE(QColorSpace::fromIccProfile(d.colour.icc).primaries(),
                 QColorSpace::Primaries::DciP3D65);
    QCOMPARE(d.colour.cicpPrimaries, primaries);
    QCOMPARE(d.colour.cicpTransfer, transfer);
}

// A grey of 16-bit signal `signal` (0..1), as a PNG (`ppm` false) or a binary PPM.
QByteArray deepGrey(double signal, bool ppm) {
    const quint16 v = quint16(std::lround(signal * 65535));
    if (!ppm) {
        QImage image(32, 8, QImage::Format_RGBX64);
        image.fill(QColor::fromRgba64(v, v, v));
        return encoded(image, "png");
    }
    QByteArray bytes = "P6\n32 8\n65535\n";
    for (int i = 0; i < 32 * 8 * 3; ++i)
        bytes.append(char(v >> 8)).append(char(v & 0xFF));
    return bytes;
}

void PictureTest::hdrPicturesAreToneMapped_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("hlg");
    QTest::addColumn<double>("signal");
    QTest::addColumn<int>("shown"); // the grey shown on an sRGB screen
    // BT.2390's EETF from 1000 cd/m2 onto a white of 203 cd/m2 (the knee at 88 cd/m2), then the
    // sRGB curve; HLG through its OOTF for a 1000 cd/m2 display (gamma 1.2) first.
    QTest::newRow("avif PQ 5 cd/m2") << "avif" << false << 0.25 << 44;
    QTest::newRow("avif PQ 92 cd/m2") << "avif" << false << 0.5 << 180;
    QTest::newRow("avif PQ 202 cd/m2") << "avif" << false << 0.58 << 229;
    QTest::newRow("avif PQ 3906 cd/m2") << "avif" << false << 0.9 << 255;
    QTest::newRow("jxl PQ 32 cd/m2") << "jxl" << false << 0.4 << 111;
    QTest::newRow("jxl PQ 390 cd/m2") << "jxl" << false << 0.65 << 249;
    QTest::newRow("avif HLG 0.5") << "avif" << true << 0.5 << 137;
    QTest::newRow("jxl HLG 0.75") << "jxl" << true << 0.75 << 229;
    // No colour box: the transfer is the HEVC stream's own.
    QTest::newRow("heic PQ 92 cd/m2, in its stream") << "heic" << false << 0.5 << 180;
    QTest::newRow("heic HLG 0.5, in its stream") << "heic" << true << 0.5 << 137;
}

void PictureTest::hdrPicturesAreToneMapped() {
    QFETCH(QString, format);
    QFETCH(bool, hlg);
    QFETCH(double, signal);
    QFETCH(int, shown);
    const bool jxl = format == QLatin1String("jxl");
    const char* hevcTransfer = hlg ? "x265:transfer=arib-std-b67" : "x265:transfer=smpte2084";
    const Encoder encoder =
        jxl ? Encoder{"cjxl",
                      {"%in", "%out", "-d", "0", "-x",
                       hlg ? "color_space=RGB_D65_202_Rel_HLG" : "color_space=RGB_D65_202_Rel_PeQ"},
                      "x.jxl"}
        : format == QLatin1String("heic")
            ? Encoder{"heif-enc",
                      {"-b", "10", "-q", "95", "-p", hevcTransfer, "-p", "x265:colorprim=bt2020",
                       "%in", "-o", "%out"},
                      "x.heic"}
            : Encoder{"avifenc",
                      {"-l", "-d", "12", "--cicp", hlg ? "9/18/9" : "9/16/9", "%in", "%out"},
                      "x.avif"};
    if (!hasEncoder(encoder))
        QSKIP(qPrintable(encoder.program + QStringLiteral(" is missing")));
    const QByteArray bytes = encodedBy(encoder.program, encoder.args, deepGrey(signal, jxl),
                                       jxl ? "in.ppm" : "in.png", encoder.outName);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(format != QLatin1String("heic") || !bytes.contains("colr"));
    const Picture p = loadPicture(decoders(), write(QStringLiteral("hdr.") + format, bytes));
    const QRgb grey = p.image.pixel(16, 4);
    QVERIFY2(qAbs(qRed(grey) - shown) <= 3 && qAbs(qGreen(grey) - shown) <= 3 &&
                 qAbs(qBlue(grey) - shown) <= 3,
             qPrintable(QColor(grey).name()));
}

void PictureTest::bigPhotoLoads() {
    // 108 megapixels: above Qt's default allocation limit of 256 MB.
    const QSize size(12000, 9000);
    QString path;
    {
        const QByteArray jpeg = encoded(twoHalves(size, Red, Blue), "jpeg", 50);
        QVERIFY(!jpeg.isEmpty());
        path = write(QStringLiteral("big.jpg"), jpeg);
    }
    QCOMPARE(pictureSize(decoders(), path), size);
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, size);
    QCOMPARE(p.image.size(), size);
    QVERIFY(near(p.image.pixel(100, 4500), Red));
    QVERIFY(near(p.image.pixel(11900, 4500), Blue));
}

void PictureTest::shownPictureDecodesFromItsBytesAlone() {
    const QSize size(1600, 1200);
    const QString path =
        write(QStringLiteral("shown.jpg"), encoded(twoHalves(size, Red, Blue), "jpeg", 90));
    const std::shared_ptr<const ShownPicture> shown =
        ShownPicture::load(decoders(), path, QSize(400, 300), MetafilePolicy::Load, nullptr);
    QCOMPARE(shown->image().size(), QSize(400, 300));
    QVERIFY(shown->hasFull());
    // Another picture takes the file's place: what is decoded later is still the one shown.
    write(QStringLiteral("shown.jpg"), encoded(twoHalves(size, Green, Green), "jpeg", 90));
    const QImage full = shown->full();
    QCOMPARE(full.size(), size);
    QVERIFY(near(full.pixel(100, 600), Red));
    QVERIFY(near(full.pixel(1500, 600), Blue));
    const QImage region = shown->region(QRect(1500, 500, 40, 30));
    QCOMPARE(region.size(), QSize(40, 30));
    QVERIFY(near(region.pixel(20, 15), Blue));
    // The full picture is its asker's: the object keeps the image it was shown from, and the
    // next asker gets a decode of its own.
    QCOMPARE(shown->image().size(), QSize(400, 300));
    QVERIFY(shown->full().cacheKey() != full.cacheKey());
}

void PictureTest::truncatedJpegShowsWhatThereIs() {
    QImage picture(200, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            picture.setPixel(x, y, qRgb(x, y, (x * y) % 256));
    const QByteArray jpeg = encoded(picture, "jpeg", 90);
    const QString path = write(QStringLiteral("half.jpg"), jpeg.left(jpeg.size() / 2));
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, QSize(200, 200));
    QCOMPARE(pictureSize(decoders(), path), QSize(200, 200));
    QVERIFY(near(p.image.pixel(20, 10), QColor(picture.pixel(20, 10)), 30));
}

void PictureTest::reducedJpegHasQtsPixels_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<QSize>("decoded"); // libjpeg's size at the scale, rounded up
    QTest::newRow("1/2") << QSize(640, 480) << QSize(300, 220) << false << false << false
                         << QSize(320, 240);
    QTest::newRow("1/8") << QSize(1600, 1200) << QSize(180, 130) << false << false << false
                         << QSize(200, 150);
    QTest::newRow("grey") << QSize(800, 600) << QSize(200, 150) << true << false << false
                          << QSize(200, 150);
    QTest::newRow("progressive") << QSize(800, 600) << QSize(390, 290) << false << true << false
                                 << QSize(400, 300);
    QTest::newRow("ends early") << QSize(800, 600) << QSize(200, 150) << false << false << true
                                << QSize(200, 150);
    // Qt's reader would decode this one at 1/2 and scale; libjpeg's 1/4 is the sharper.
    QTest::newRow("1/4, odd size")
        << QSize(1001, 777) << QSize(200, 150) << false << false << false << QSize(251, 195);
    // Shown at a little over half or three quarters of the size: 5/8 and 6/8, not in full.
    QTest::newRow("5/8") << QSize(1600, 1200) << QSize(900, 700) << false << false << false
                         << QSize(1000, 750);
    QTest::newRow("6/8, progressive")
        << QSize(1200, 900) << QSize(850, 650) << false << true << false << QSize(900, 675);
}

void PictureTest::reducedJpegHasQtsPixels() {
    QFETCH(QSize, size);
    QFETCH(QSize, shown);
    QFETCH(bool, grey);
    QFETCH(bool, progressive);
    QFETCH(bool, truncated);
    QFETCH(QSize, decoded);
    QImage picture(size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y,
                             grey ? qRgb(x % 256, x % 256, x % 256)
                                  : qRgb(x % 256, y % 256, ((x / 7) * (y / 5)) % 256));
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(85);
        writer.setProgressiveScanWrite(progressive);
        QVERIFY(writer.write(picture));
    }
    if (truncated)
        bytes.truncate(bytes.size() * 2 / 3);
    const QString path = write(QStringLiteral("photo.jpg"), bytes);

    const Picture p = loadPicture(decoders(), path, shown);
    QCOMPARE(p.naturalSize, size);
    QCOMPARE(p.image.size(), decoded);
    QCOMPARE(p.image.format(), QImage::Format_RGB32);
    QVERIFY(p.isReduced());
    if (size.width() % decoded.width() != 0) {
        // Scaled otherwise than Qt's reader scales: the picture's pixel under (25, 30) is near.
        const QRgb at = p.image.pixel(25, 30);
        const int x = 25 * size.width() / decoded.width(),
                  y = 30 * size.height() / decoded.height();
        QVERIFY2(qAbs(qRed(at) - x) <= 12 && qAbs(qGreen(at) - y) <= 12,
                 qPrintable(
                     QStringLiteral("%1 %2 at %3 %4").arg(qRed(at)).arg(qGreen(at)).arg(x).arg(y)));
        return;
    }
    // What Qt's own reader gives at that scale, pixel for pixel.
    QImageReader reader(path);
    reader.setScaledSize(decoded);
    const QImage qt = reader.read().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(qt.size(), decoded);
    for (int y = 0; y < decoded.height(); ++y) {
        if (std::memcmp(p.image.constScanLine(y), qt.constScanLine(y),
                        std::size_t(decoded.width()) * 4) != 0)
            QFAIL(qPrintable(QStringLiteral("line %1 differs").arg(y)));
    }
}

void PictureTest::reducedTurnedJpegIsTurned() {
    const QByteArray jpeg = encoded(twoHalves(QSize(800, 400), Red, Blue), "jpeg", 95);
    const QString path = write(QStringLiteral("turned.jpg"), withExifOrientation(jpeg, 6));
    const Picture p = loadPicture(decoders(), path, QSize(100, 200));
    QCOMPARE(p.naturalSize, QSize(400, 800));
    QCOMPARE(p.image.size(), QSize(100, 200));
    QVERIFY(near(p.image.pixel(50, 20), Red));
    QVERIFY(near(p.image.pixel(50, 180), Blue));
    // In full from the bytes the picture kept, turned as the file's own decode, with the file
    // gone.
    const QImage full = loadPicture(decoders(), path).image;
    QVERIFY(QFile::remove(path));
    QCOMPARE(decodePicture(decoders(), p.bytes).image, full);
}

void PictureTest::fittedLoadDecodesAsForItsFittedSize_data() {
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("bounds");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("decoded");
    // The JPEG stands upright at 400 x 800, turned by its orientation.
    QTest::newRow("shrunk, 1/4") << QByteArray("jpeg") << QSize(120, 200) << 1.0 << QSize(100, 200);
    QTest::newRow("device pixels")
        << QByteArray("jpeg") << QSize(120, 200) << 2.0 << QSize(200, 400);
    QTest::newRow("fits whole") << QByteArray("jpeg") << QSize(1000, 900) << 1.0 << QSize(400, 800);
    QTest::newRow("no bounds") << QByteArray("jpeg") << QSize() << 1.0 << QSize(400, 800);
    // Only JPEGs are decoded reduced.
    QTest::newRow("not reduced") << QByteArray("png") << QSize(120, 200) << 1.0 << QSize(800, 400);
}

void PictureTest::fittedLoadDecodesAsForItsFittedSize() {
    QFETCH(QByteArray, format);
    QFETCH(QSize, bounds);
    QFETCH(qreal, ratio);
    QFETCH(QSize, decoded);
    const QByteArray bytes = encoded(twoHalves(QSize(800, 400), Red, Blue), format, 95);
    const QString path = write(QStringLiteral("turned.") + QString::fromLatin1(format),
                               format == "jpeg" ? withExifOrientation(bytes, 6) : bytes);
    const FitBounds fit{bounds, ratio};
    const Picture p = loadFittedPicture(decoders(), path, fit, MetafilePolicy::Load, nullptr);
    const QSize natural = format == "jpeg" ? QSize(400, 800) : QSize(800, 400);
    QCOMPARE(p.naturalSize, natural);
    QCOMPARE(p.image.size(), decoded);
    // The same as a load for the size it fits at, pixel for pixel.
    QCOMPARE(p.image, loadPicture(decoders(), path, fittedSize(natural, fit)).image);
}

void PictureTest::wmfIsDrawnAtNinetySixDpi() {
    const QString path = write(QStringLiteral("halves.wmf"), redBlueWmf());
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.format, QStringLiteral("wmf"));
    QVERIFY(p.isMetafile());
    QCOMPARE(p.naturalSize, QSize(192, 96));
    QCOMPARE(p.image.size(), QSize(192, 96));
    QCOMPARE(p.image.format(), QImage::Format_ARGB32);
    QCOMPARE(pictureSize(decoders(), path), QSize(192, 96));
    QVERIFY(near(p.image.pixel(48, 48), Red, 0));
    QVERIFY(near(p.image.pixel(144, 48), Blue, 0));
    QVERIFY(near(p.image.pixel(94, 2), Red, 0));
    QVERIFY(near(p.image.pixel(97, 93), Blue, 0));

    // Another unit: 1000 to the inch, 3 x 1.5 inches.
    const QString inch =
        write(QStringLiteral("units.wmf"), WmfBuilder(QRect(0, 0, 3000, 1500), 1000)
                                               .window(QRect(0, 0, 3000, 1500))
                                               .noPen()
                                               .solidBrush(Green)
                                               .rectangle(QRect(0, 0, 3000, 1500))
                                               .bytes());
    QCOMPARE(pictureSize(decoders(), inch), QSize(288, 144));
}

void PictureTest::absurdPenWidthsAreTamed() {
    // A pen of negative width, which libwmf takes as 65535 units, and one far wider than the
    // drawing: drawn as they are, either would paint the whole picture (slowly).
    for (int width : {-1, 30000}) {
        const QString path =
            write(QStringLiteral("pen.wmf"), WmfBuilder(QRect(0, 0, 2880, 1440), 1440)
                                                 .window(QRect(0, 0, 2880, 1440))
                                                 .noPen()
                                                 .solidBrush(Qt::white)
                                                 .rectangle(QRect(0, 0, 2880, 1440))
                                                 .pen(Red, width)
                                                 .line(QPoint(0, 720), QPoint(2880, 720))
                                                 .bytes());
        const Picture p = loadPicture(decoders(), path);
        QCOMPARE(p.naturalSize, QSize(192, 96));
        QVERIFY(near(p.image.pixel(96, 48), Red, 0));
        if (width < 0) // the thinnest line
            QVERIFY(near(p.image.pixel(96, 10), Qt::white, 0));
    }
}

void PictureTest::wmfWithoutPlaceableHeaderLoads() {
    const QString path = write(QStringLiteral("plain.wmf"), WmfBuilder()
                                                                .window(QRect(0, 0, 400, 200))
                                                                .noPen()
                                                                .solidBrush(Blue)
                                                                .rectangle(QRect(0, 0, 400, 200))
                                                                .bytes());
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.format, QStringLiteral("wmf"));
    QVERIFY(!p.naturalSize.isEmpty());
    // Its size comes from what the records draw, give or take the edge.
    QVERIFY(qAbs(p.naturalSize.width() - 2 * p.naturalSize.height()) <= 4);
    QVERIFY(near(p.image.pixel(p.image.width() / 2, p.image.height() / 2), Blue, 0));
}

void PictureTest::wmfTextIsDrawn() {
    // Black text on white: libwmf needs its Type 1 fonts for any of it to appear.
    const QString path = write(QStringLiteral("text.wmf"), WmfBuilder(QRect(0, 0, 2880, 720), 1440)
                                                               .window(QRect(0, 0, 2880, 720))
                                                               .noPen()
                                                               .solidBrush(Qt::white)
                                                               .rectangle(QRect(0, 0, 2880, 720))
                                                               .font(QStringLiteral("Arial"), 360)
                                                               .text(QPoint(100, 100), "Lumorra")
                                                               .bytes());
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, QSize(192, 48));
    int dark = 0;
    for (int y = 0; y < p.image.height(); ++y)
        for (int x = 0; x < p.image.width(); ++x)
            dark += qGray(p.image.pixel(x, y)) < 100 ? 1 : 0;
    QVERIFY2(dark > 50, qPrintable(QString::number(dark)));
}

void PictureTest::drawingWorkersDrawAsTheProgramWould_data() {
    QTest::addColumn<QByteArray>("bytes");
    QFile chart(QStringLiteral(PICTURE_TEST_DATA "/test-001.emf"));
    QVERIFY(chart.open(QIODevice::ReadOnly));
    QTest::newRow("emf chart with text") << chart.readAll();
    QTest::newRow("wmf text") << WmfBuilder(QRect(0, 0, 2880, 720), 1440)
                                     .font(QStringLiteral("Arial"), 360)
                                     .text(QPoint(100, 100), "Lumorra")
                                     .bytes();
    QTest::newRow("svg text") << QByteArray(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"40\">"
        "<text x=\"4\" y=\"30\" font-family=\"sans-serif\" font-size=\"24\">Lumorra</text></svg>");
}

void PictureTest::drawingWorkersDrawAsTheProgramWould() {
    // The same libraries and fonts draw in a drawing worker as they would in this process.
    QFETCH(QByteArray, bytes);
    const Picture drawn = decodePicture(decoders(), bytes);
    QImage here;
    if (drawn.format == QLatin1String("svg")) {
        picture::PictureFile file(bytes);
        here = picture::decodeJob(file, QSize(), picture::pictureByteBudget(), true).image;
    } else {
        here = (drawn.format == QLatin1String("wmf") ? picture::drawWmf(bytes, QSize())
                                                     : picture::drawEmf(bytes, QSize()))
                   .image;
    }
    QVERIFY(!here.isNull());
    QCOMPARE(drawn.image, here);
}

void PictureTest::emfNaturalSizeComesFromTheHeader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("natural");
    // Bounds are inclusive: 0..99 is 100 pixels.
    QTest::newRow("bounds") << redBlueEmf() << QSize(100, 50);
    QTest::newRow("bounds away from the origin")
        << EmfBuilder(QRect(74, -711, 253, 197), QRect(0, 0, 6000, 4000)).bytes()
        << QSize(253, 197);
    // Empty bounds: 50 x 30 mm at 1024 x 768 pixels on 320 x 240 mm, 3.2 pixels a millimetre.
    QTest::newRow("empty bounds") << EmfBuilder(0, 0, -1, -1, QRect(0, 0, 5000, 3000),
                                                QSize(1024, 768), QSize(320, 240))
                                         .bytes()
                                  << QSize(160, 96);
}

void PictureTest::emfNaturalSizeComesFromTheHeader() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, natural);
    const QString path = write(QStringLiteral("drawing.emf"), bytes);
    QCOMPARE(pictureSize(decoders(), path), natural);
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, natural);
    QCOMPARE(p.image.size(), natural);
    QCOMPARE(p.format, QStringLiteral("emf"));
}

void PictureTest::emfRecordingsFromOtherProgramsDraw_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("natural");
    QTest::newRow("drawn away from the origin") << "test-152.emf" << QSize(253, 197);
    QTest::newRow("chart with text") << "test-001.emf" << QSize(564, 423);
}

void PictureTest::emfRecordingsFromOtherProgramsDraw() {
    QFETCH(QString, file);
    QFETCH(QSize, natural);
    const QString path = QStringLiteral(PICTURE_TEST_DATA "/") + file;
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, natural);
    // Something is drawn, inside the picture.
    QVERIFY(opaquePixels(p.image) > 100);
}

void PictureTest::hugeEmfIsDrawnSmallerButKeepsItsSize() {
    // As a printer records a page: 14000 x 10000 device pixels.
    const QString path = write(QStringLiteral("page.emf"),
                               EmfBuilder(QRect(0, 0, 14000, 10000), QRect(0, 0, 21000, 15000),
                                          QSize(4960, 7016), QSize(210, 297))
                                   .noPen()
                                   .solidBrush(Red)
                                   .rectangle(QRect(0, 0, 7000, 10000))
                                   .solidBrush(Blue)
                                   .rectangle(QRect(7000, 0, 7000, 10000))
                                   .bytes());
    const Picture p = loadPicture(decoders(), path);
    QCOMPARE(p.naturalSize, QSize(14000, 10000));
    QCOMPARE(p.image.width(), 4096);
    QVERIFY(qAbs(p.image.height() - 2926) <= 1);
    QVERIFY(near(p.image.pixel(1000, 1000), Red, 10));
    QVERIFY(near(p.image.pixel(3000, 1000), Blue, 10));
}

void PictureTest::damagedEmfRecordsAreInvalid_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = redBlueEmf();
    QByteArray longHeader = good;
    qToLittleEndian(quint32(good.size() + 4), longHeader.data() + 4);
    QTest::newRow("header longer than the file") << longHeader;
    QByteArray overrun = good;
    qToLittleEndian(quint32(4000), overrun.data() + 88 + 4); // the first record after the header
    QTest::newRow("record past the end") << overrun;
    QByteArray odd = good;
    qToLittleEndian(quint32(23), odd.data() + 88 + 4);
    QTest::newRow("record size not in whole words") << odd;
    QTest::newRow("no end-of-file record") << good.left(good.size() - 20);
}

void PictureTest::damagedEmfRecordsAreInvalid() {
    QFETCH(QByteArray, bytes);
    const QString path = write(QStringLiteral("damaged.emf"), bytes);
    const std::optional<Error> e = failure([&] { loadPicture(decoders(), path); });
    QVERIFY(e);
    QCOMPARE(e->number, errc::InvalidPicture);
}

void PictureTest::metafilesAreDrawnAfreshAtTheSizeShown() {
    // The red part ends at 1450 twips: column 96.7 at 96 dpi, column 386.7 four times larger.
    // Drawn afresh, column 385 is red and 388 blue; the natural raster scaled up would blur
    // them.
    const QString wmf = write(QStringLiteral("edge.wmf"), WmfBuilder(QRect(0, 0, 2880, 1440), 1440)
                                                              .window(QRect(0, 0, 2880, 1440))
                                                              .noPen()
                                                              .solidBrush(Blue)
                                                              .rectangle(QRect(0, 0, 2880, 1440))
                                                              .solidBrush(Red)
                                                              .rectangle(QRect(0, 0, 1450, 1440))
                                                              .bytes());
    const QImage big = renderPicture(decoders(), wmf, QSize(768, 384));
    QCOMPARE(big.size(), QSize(768, 384));
    QVERIFY(near(big.pixel(385, 200), Red, 0));
    QVERIFY(near(big.pixel(388, 200), Blue, 0));

    const QString emf =
        write(QStringLiteral("edge.emf"), EmfBuilder(QRect(0, 0, 100, 50), QRect(0, 0, 2500, 1250))
                                              .noPen()
                                              .solidBrush(Blue)
                                              .rectangle(QRect(0, 0, 100, 50))
                                              .solidBrush(Red)
                                              .rectangle(QRect(0, 0, 50, 50))
                                              .bytes());
    const QImage emfBig = renderPicture(decoders(), emf, QSize(400, 200));
    QCOMPARE(emfBig.size(), QSize(400, 200));
    QVERIFY(near(emfBig.pixel(198, 100), Red, 10));
    QVERIFY(near(emfBig.pixel(202, 100), Blue, 10));
    // The natural size is not changed by drawing at another.
    QCOMPARE(pictureSize(decoders(), emf), QSize(100, 50));
}

void PictureTest::otherPicturesAreScaledToTheSizeShown() {
    const QString path =
        write(QStringLiteral("small.png"), encoded(twoHalves(QSize(40, 20), Red, Blue), "png"));
    const QImage shown = renderPicture(decoders(), path, QSize(80, 40));
    QCOMPARE(shown.size(), QSize(80, 40));
    QVERIFY(isDisplayFormat(shown));
    QVERIFY(near(shown.pixel(10, 20), Red));
    QVERIFY(near(shown.pixel(70, 20), Blue));
    QCOMPARE(failure([&] { renderPicture(decoders(), path, QSize()); })->number, errc::InvalidCall);
}

void PictureTest::aReaderThatCrashesOrHangsCostsOnlyItsChild() {
    using namespace std::chrono_literals;
    const auto failureOf = [](const std::function<void(picture::ChildWriter&)>& child) {
        return failure([&] {
            picture::runIsolated(
                child, [](picture::ChildReply& in) { in.read<qint64>(); }, 2s, 0);
        });
    };
    std::optional<Error> e = failureOf([](picture::ChildWriter&) { std::raise(SIGSEGV); });
    QVERIFY(e);
    QCOMPARE(e->number, errc::InvalidPicture);
    e = failureOf([](picture::ChildWriter& out) {
        const qint32 half = 0;
        out.send(&half, sizeof half);
        std::abort();
    });
    QVERIFY(e);
    QCOMPARE(e->number, errc::InvalidPicture);
    e = failureOf([](picture::ChildWriter&) { throw Error::program(errc::OutOfMemory); });
    QVERIFY(e);
    QCOMPARE(e->number, errc::OutOfMemory);

    // One that never answers is given up after its time.
    QElapsedTimer clock;
    clock.start();
    e = failure([&] {
        picture::runIsolated(
            [](picture::ChildWriter&) {
                for (;;)
                    ::pause();
            },
            [](picture::ChildReply&) {}, 300ms, 0);
    });
    QVERIFY(e);
    QCOMPARE(e->number, errc::InvalidPicture);
    QVERIFY(clock.elapsed() < 5000);

    // A sound answer arrives whole, however large.
    QByteArray answer(3 << 20, 'x');
    answer[answer.size() - 1] = 'y';
    QByteArray received;
    picture::runIsolated([&](picture::ChildWriter& out) { out.send(answer); },
                         [&](picture::ChildReply& in) {
                             received.resize(answer.size());
                             in.read(received.data(), received.size());
                         },
                         2s, 0);
    QCOMPARE(received, answer);
}

void PictureTest::damagedFilesNeverCrash_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("bytes");
    QImage picture(48, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            picture.setPixel(x, y, qRgba(x * 5, y * 8, 128, 255 - x));
    for (const char* f : {"jpeg", "png", "bmp", "tiff", "webp"})
        QTest::newRow(f) << QString::fromLatin1(f) << encoded(picture, f);
    QTest::newRow("gif") << "gif" << gifFile({picture, picture.mirrored()});
    QTest::newRow("tga") << "tga" << tgaFile(picture);
    QTest::newRow("ico") << "ico" << iconFile({{16, 32, Red}, {32, 8, Blue}});
    QTest::newRow("svg") << "svg" << svgText();
    QTest::newRow("wmf") << "wmf"
                         << WmfBuilder(QRect(0, 0, 2880, 1440), 1440)
                                .window(QRect(0, 0, 2880, 1440))
                                .noPen()
                                .solidBrush(Red)
                                .rectangle(QRect(0, 0, 1440, 1440))
                                .font(QStringLiteral("Times New Roman"), 300)
                                .text(QPoint(100, 100), "Hello")
                                .bytes();
    QTest::newRow("emf") << "emf" << redBlueEmf();
    QFile recorded(QStringLiteral(PICTURE_TEST_DATA "/test-001.emf"));
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QTest::newRow("emf with text") << "emf" << recorded.readAll();
    for (const Encoder& e : {HeicLossy, AvifDeep, JxlLossy, JxlRecompressed}) {
        if (hasEncoder(e))
            QTest::newRow(qPrintable(e.outName + QLatin1Char(' ') + e.args.join(QLatin1Char(' '))))
                << e.outName.mid(2)
                << encodedWith(e, e.args.contains(QLatin1String("-d")) ? bandsPng(true)
                                                                       : encoded(picture, "jpeg"));
    }
}

void PictureTest::damagedFilesNeverCrash() {
    QFETCH(QString, suffix);
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    std::vector<QByteArray> variants;
    for (qsizetype cut : {qsizetype(1), qsizetype(3), qsizetype(7), qsizetype(16), qsizetype(40),
                          qsizetype(90), bytes.size() / 3, bytes.size() / 2, bytes.size() - 1})
        variants.push_back(bytes.left(qMax<qsizetype>(1, cut)));
    QRandomGenerator random(quint32(qHash(suffix)) ^ quint32(bytes.size()));
    for (int i = 0; i < 30; ++i) {
        QByteArray v = bytes;
        const int changes = 1 + int(random.bounded(6));
        for (int k = 0; k < changes; ++k) {
            const qsizetype at = qsizetype(random.bounded(quint32(v.size())));
            // Some bytes at random, some set to their largest, where sizes and counts hide.
            v[at] = i % 2 == 0 ? char(random.bounded(256)) : char(0xFF);
        }
        variants.push_back(v);
    }
    int loaded = 0;
    // In full, and reduced for a small view (JPEG's own decoder at 1/4).
    const auto check = [&](const std::function<Picture()>& load) {
        try {
            const Picture p = load();
            QVERIFY(!p.isNull());
            QVERIFY(!p.naturalSize.isEmpty());
            QVERIFY(isDisplayFormat(p.image));
            ++loaded;
        } catch (const Error& e) {
            QVERIFY2(e.number == errc::InvalidPicture || e.number == errc::OutOfMemory,
                     qPrintable(QString::number(e.number) + QLatin1Char(' ') + e.description));
            QCOMPARE(e.description, programErrorText(e.number));
        }
    };
    for (const QByteArray& v : variants) {
        const QString path = write(QStringLiteral("damaged.") + suffix, v);
        check([&] { return loadPicture(decoders(), path); });
        check([&] { return loadPicture(decoders(), path, QSize(16, 10)); });
        ignoreErrors([&] { pictureSize(decoders(), path); });
    }
    // The truncations that keep most of the file still show, for JPEG at least.
    if (suffix == QLatin1String("jpeg"))
        QVERIFY(loaded > 0);
}

QTEST_MAIN(PictureTest)
#include "picture_tests.moc"
