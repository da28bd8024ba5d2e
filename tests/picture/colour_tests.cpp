// Colour profiles: what the loader shows of pictures in other colour spaces, checked against
// what lcms2 computes for the same pixels.

#include "picture/PictureLoader.h"
#include "picture/colour/Colour.h"
#include "support/Decoders.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cmath>
#include <lcms2.h>

using namespace lumorra;

namespace {

const QString GhostscriptProfiles = QStringLiteral("/usr/share/color/icc/ghostscript/");

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Display P3 as phones tag their photos: P3 primaries, D65, the sRGB curve.
QByteArray displayP3() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE p{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* curves[3] = {tone, tone, tone};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &p, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(int(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(tone);
    return bytes;
}

QByteArray profileNamed(const QString& name) {
    return name == QLatin1String("p3") ? displayP3() : fileBytes(GhostscriptProfiles + name);
}

// What lcms2 makes of one RGB pixel from `icc` to `toIcc` (each sRGB when empty).
QRgb lcmsConverted(QRgb pixel, const QByteArray& icc, const QByteArray& toIcc = {}) {
    cmsHPROFILE from = icc.isEmpty()
                           ? cmsCreate_sRGBProfile()
                           : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    cmsHPROFILE to = toIcc.isEmpty()
                         ? cmsCreate_sRGBProfile()
                         : cmsOpenProfileFromMem(toIcc.constData(), cmsUInt32Number(toIcc.size()));
    cmsHTRANSFORM t =
        cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    const uchar in[3] = {uchar(qRed(pixel)), uchar(qGreen(pixel)), uchar(qBlue(pixel))};
    uchar out[3] = {};
    cmsDoTransform(t, in, out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return qRgb(out[0], out[1], out[2]);
}

bool within(QRgb a, QRgb b, int levels) {
    return qAbs(qRed(a) - qRed(b)) <= levels && qAbs(qGreen(a) - qGreen(b)) <= levels &&
           qAbs(qBlue(a) - qBlue(b)) <= levels;
}

QString text(QRgb c) {
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// The pixels as stored, with no profile applied: Qt's reader converts nothing.
QRgb storedPixel(const QString& path, QPoint at) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().pixel(at);
}

QString imageMagick() {
    return QStandardPaths::findExecutable(QStringLiteral("convert"));
}

// Runs ImageMagick's convert; its standard output.
QByteArray convert(const QStringList& args) {
    QProcess p;
    p.start(imageMagick(), args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

} // namespace

class ColourTest : public QObject {
    Q_OBJECT
private slots:
    void profiledPicturesShowTheirColours_data();
    void profiledPicturesShowTheirColours();
    void cmykJpegsShowTheirColours_data();
    void cmykJpegsShowTheirColours();
    void untaggedPicturesAreUntouchedOnAnSrgbScreen();
    void aScreenProfileConvertsAndSrgbComesBack();
    void profilesThatAreNoProfilesLeaveThePictureAlone();
    void wideGamutColoursKeepTheirHue();

private:
    QTemporaryDir dir_;
};

void ColourTest::profiledPicturesShowTheirColours_data() {
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("shown");
    const QSize small(24, 16);
    QTest::newRow("jpeg adobe rgb") << QByteArray("jpeg") << "a98.icc" << small << QSize();
    QTest::newRow("jpeg display p3") << QByteArray("jpeg") << "p3" << small << QSize();
    QTest::newRow("jpeg prophoto") << QByteArray("jpeg") << "rommrgb.icc" << small << QSize();
    // Decoded at a quarter by libjpeg: the transform runs on the reduced pixels.
    QTest::newRow("jpeg reduced") << QByteArray("jpeg") << "a98.icc" << QSize(1600, 1200)
                                  << QSize(400, 300);
    QTest::newRow("png adobe rgb") << QByteArray("png") << "a98.icc" << small << QSize();
    QTest::newRow("png prophoto") << QByteArray("png") << "rommrgb.icc" << small << QSize();
    QTest::newRow("webp display p3") << QByteArray("webp") << "p3" << small << QSize();
    QTest::newRow("tiff adobe rgb") << QByteArray("tiff") << "a98.icc" << small << QSize();
}

void ColourTest::profiledPicturesShowTheirColours() {
    QFETCH(QByteArray, format);
    QFETCH(QString, profile);
    QFETCH(QSize, size);
    QFETCH(QSize, shown);
    const QByteArray icc = profileNamed(profile);
    if (icc.isEmpty())
        QSKIP("the Ghostscript colour profiles are not installed");
    QImage red(size, QImage::Format_RGB32);
    red.fill(lcmsConverted(qRgb(255, 0, 0), QByteArray(), icc));
    red.setColorSpace(QColorSpace::fromIccProfile(icc));
    QVERIFY(red.colorSpace().isValid());
    const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()) + '.' +
                                       QString::fromLatin1(format));
    if (!red.save(path, format.constData(), 95))
        QSKIP("no writer for this format");

    const QPoint centre(size.width() / 2, size.height() / 2);
    const QRgb stored = storedPixel(path, centre);
    const QRgb expected = lcmsConverted(stored, icc);
    // The file holds sRGB red in its own colour space: shown untransformed it would be another
    // colour.
    QVERIFY2(within(expected, qRgb(255, 0, 0), 4), qPrintable(text(expected)));
    QVERIFY2(!within(stored, expected, 10), qPrintable(text(stored)));

    ColourTransforms screen; // an sRGB screen
    const std::array<const ColourTransforms*, 2> targets{&screen, nullptr};
    for (const ColourTransforms* colour : targets) {
        const Picture picture =
            loadPicture(test::decoders(), path, shown, MetafilePolicy::Load, colour);
        const QPoint at(picture.image.width() / 2, picture.image.height() / 2);
        const QRgb got = picture.image.pixel(at);
        QVERIFY2(within(got, expected, 3),
                 qPrintable(text(got) + " shown, lcms2 gives " + text(expected)));
    }
}

void ColourTest::cmykJpegsShowTheirColours_data() {
    QTest::addColumn<bool>("withProfile");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("profile") << true << QSize();
    QTest::newRow("profile, reduced") << true << QSize(100, 80);
    QTest::newRow("no profile") << false << QSize();
}

void ColourTest::cmykJpegsShowTheirColours() {
    QFETCH(bool, withProfile);
    QFETCH(QSize, shown);
    if (imageMagick().isEmpty() || !QFile::exists(GhostscriptProfiles + "default_cmyk.icc"))
        QSKIP("ImageMagick or the Ghostscript colour profiles are missing");
    const QString path = dir_.filePath(QStringLiteral("cmyk-%1.jpg").arg(withProfile));
    // ImageMagick writes CMYK the way Adobe's programs do: inverted, with Adobe's marker.
    QStringList args{QStringLiteral("-size"),
                     QStringLiteral("400x320"),
                     QStringLiteral("xc:#ff0000"),
                     QStringLiteral("-profile"),
                     GhostscriptProfiles + "srgb.icc",
                     QStringLiteral("-profile"),
                     GhostscriptProfiles + "default_cmyk.icc"};
    if (!withProfile)
        args << QStringLiteral("+profile") << QStringLiteral("*");
    convert(args << path);
    QVERIFY(QFile::exists(path));

    const Picture picture = loadPicture(test::decoders(), path, shown);
    QCOMPARE(picture.naturalSize, QSize(400, 320));
    const QRgb got = picture.image.pixel(picture.image.width() / 2, picture.image.height() / 2);
    if (!withProfile) {
        // Ink taken off white: cyan-free red.
        QVERIFY2(within(got, qRgb(255, 0, 0), 3), qPrintable(text(got)));
        return;
    }
    // The ink ImageMagick stored for sRGB red, (0, 255, 255, 0) in its profile's terms, through
    // lcms2.
    const QByteArray cmyk = fileBytes(GhostscriptProfiles + "default_cmyk.icc");
    cmsHPROFILE from = cmsOpenProfileFromMem(cmyk.constData(), cmsUInt32Number(cmyk.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_CMYK_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const uchar ink[4] = {0, 255, 255, 0};
    uchar out[3] = {};
    cmsDoTransform(t, ink, out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(srgb);
    const QRgb expected = qRgb(out[0], out[1], out[2]);
    QVERIFY2(within(got, expected, 3),
             qPrintable(text(got) + " shown, lcms2 gives " + text(expected)));
}

void ColourTest::untaggedPicturesAreUntouchedOnAnSrgbScreen() {
    QImage pattern(32, 8, QImage::Format_RGB32);
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 8; ++y)
            pattern.setPixel(x, y, qRgb(x * 8, 255 - x * 8, (x * 37) % 256));
    const QString path = dir_.filePath(QStringLiteral("plain.png"));
    QVERIFY(pattern.save(path));
    ColourTransforms screen;
    QCOMPARE(loadPicture(test::decoders(), path, QSize(), MetafilePolicy::Load, &screen).image,
             pattern);
    QCOMPARE(loadPicture(test::decoders(), path).image, pattern);
}

void ColourTest::aScreenProfileConvertsAndSrgbComesBack() {
    const QByteArray a98 = profileNamed(QStringLiteral("a98.icc"));
    if (a98.isEmpty())
        QSKIP("the Ghostscript colour profiles are not installed");
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(qRgb(40, 200, 60));
    const QString path = dir_.filePath(QStringLiteral("srgb.png"));
    QVERIFY(green.save(path));

    ColourTransforms screen;
    screen.setScreenProfile(a98);
    QVERIFY(!screen.screenIsSrgb());
    // An untagged picture is sRGB, shown in the screen's colours...
    const QImage shown =
        loadPicture(test::decoders(), path, QSize(), MetafilePolicy::Load, &screen).image;
    const QRgb onScreen = lcmsConverted(qRgb(40, 200, 60), QByteArray(), a98);
    QVERIFY2(within(shown.pixel(4, 4), onScreen, 3), qPrintable(text(shown.pixel(4, 4))));
    // ... and what leaves the program (clipboard, BMP) is sRGB again.
    QVERIFY2(within(screen.screenToSrgb(shown).pixel(4, 4), qRgb(40, 200, 60), 3),
             qPrintable(text(screen.screenToSrgb(shown).pixel(4, 4))));
    // A screen profile that cannot be read is sRGB.
    screen.setScreenProfile("not a profile");
    QVERIFY(screen.screenIsSrgb());
    QCOMPARE(loadPicture(test::decoders(), path, QSize(), MetafilePolicy::Load, &screen).image,
             green);
}

void ColourTest::profilesThatAreNoProfilesLeaveThePictureAlone() {
    // A JPEG whose APP2 segment claims a profile: the right header, then random bytes.
    QImage blue(16, 16, QImage::Format_RGB32);
    blue.fill(qRgb(30, 60, 220));
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(blue.save(&buffer, "JPEG", 95));
    }
    QByteArray profile(600, '\0');
    for (int i = 0; i < profile.size(); ++i)
        profile[i] = char((i * 7919) % 251);
    profile.replace(36, 4, "acsp");
    QByteArray segment("\xFF\xE2", 2);
    const int length = 2 + 14 + int(profile.size());
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append(QByteArray("ICC_PROFILE\0", 12)).append('\1').append('\1').append(profile);
    jpeg.insert(2, segment);
    const QString path = dir_.filePath(QStringLiteral("bad-profile.jpg"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(jpeg);
    f.close();

    ColourTransforms screen;
    const QImage shown =
        loadPicture(test::decoders(), path, QSize(), MetafilePolicy::Load, &screen).image;
    QCOMPARE(shown.pixel(8, 8), storedPixel(path, QPoint(8, 8)));
}

void ColourTest::wideGamutColoursKeepTheirHue() {
    // BT.2020 orange, linear (1, 0.5, 0) with the sRGB curve: past sRGB's gamut, where it is
    // (1.37, 0.44, -0.07). Each channel clipped, it would turn yellower; moved toward its grey,
    // it keeps the hue (G - B) / (R - B) of 0.357. A grey stays as it is.
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 188, 0));
    image.setPixel(1, 0, qRgb(128, 128, 128));
    ColourSource bt2020;
    bt2020.cicpPrimaries = 9;
    bt2020.cicpTransfer = 13;
    ColourTransforms screen;
    QVERIFY(screen.toScreen(image, bt2020));
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const QRgb orange = image.pixel(0, 0);
    const double r = linear(qRed(orange)), g = linear(qGreen(orange)), b = linear(qBlue(orange));
    QVERIFY2(qAbs((g - b) / (r - b) - 0.357) < 0.02, qPrintable(text(orange)));
    QVERIFY2(within(image.pixel(1, 0), qRgb(128, 128, 128), 1),
             qPrintable(text(image.pixel(1, 0))));
}

QTEST_GUILESS_MAIN(ColourTest)
#include "colour_tests.moc"
