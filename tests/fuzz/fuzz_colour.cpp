// The colour transforms with random bytes as a profile: as a picture's embedded RGB or CMYK
// profile, as the screen's profile, and inside a PNG's iCCP chunk and a JPEG's APP2 segment
// read by the loader. A profile lcms2 refuses leaves the picture as it was; nothing else may
// happen.

#include "FuzzSupport.h"
#include "picture/PictureLoader.h"
#include "picture/colour/Colour.h"
#include "picture/sandbox/Sandbox.h"
#include "platform/Error.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <zlib.h>

namespace {

// The decoder workers of the run.
lumorra::picture::DecoderPool& decoders() {
    static lumorra::picture::DecoderPool pool(lumorra::picture::DecoderPool::defaultProgram());
    return pool;
}

QImage pattern(bool alpha) {
    QImage image(17, 5, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 15, y * 50, 255 - x * 15, alpha ? x * 15 : 255));
    return image;
}

QByteArray chunk(const QByteArray& type, const QByteArray& body) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), out.data());
    out += type + body;
    QByteArray crc(4, '\0');
    const QByteArray covered = type + body;
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef*>(covered.constData()),
                                        uInt(covered.size()))),
                          crc.data());
    return out + crc;
}

// A small PNG with the input, deflated, as its iCCP profile.
QByteArray pngWithProfile(const QByteArray& profile) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    pattern(false).save(&buffer, "PNG");
    uLongf length = compressBound(uLong(profile.size()));
    QByteArray deflated(qsizetype(length), '\0');
    compress(reinterpret_cast<Bytef*>(deflated.data()), &length,
             reinterpret_cast<const Bytef*>(profile.constData()), uLong(profile.size()));
    deflated.truncate(qsizetype(length));
    // After the signature and IHDR (8 + 25 bytes).
    return png.left(33) + chunk("iCCP", QByteArray("fuzz\0\0", 6) + deflated) + png.mid(33);
}

// A small JPEG with the input as its APP2 profile (as much of it as one segment holds).
QByteArray jpegWithProfile(const QByteArray& profile) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    pattern(false).save(&buffer, "JPEG");
    const QByteArray body = QByteArray("ICC_PROFILE\0\1\1", 14) + profile.left(65000);
    QByteArray segment("\xFF\xE2\0\0", 4);
    qToBigEndian<quint16>(quint16(body.size() + 2), segment.data() + 2);
    return jpeg.left(2) + segment + body + jpeg.mid(2);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumorra::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumorra;
    const QByteArray profile = fuzz::bytes(data, size);
    {
        ColourTransforms colour;
        for (bool alpha : {false, true}) {
            QImage image = pattern(alpha);
            colour.toScreen(image, ColourSource{profile, 0, 0});
        }
        const QImage ink = pattern(false);
        for (bool inverted : {false, true})
            (void)colour.cmykToScreen(ink.constBits(), ink.width(), ink.height(),
                                      ink.bytesPerLine(), inverted, profile);
        colour.setScreenProfile(profile);
        QImage image = pattern(false);
        colour.toScreen(image, ColourSource{});
        (void)colour.screenToSrgb(image);
        if (size >= 2) // a CICP description
            colour.toScreen(image, ColourSource{{}, data[0], data[1]});
    }
    static fuzz::InputFile file;
    for (const QByteArray& picture : {pngWithProfile(profile), jpegWithProfile(profile)}) {
        try {
            const QString& path =
                file.write(reinterpret_cast<const uint8_t*>(picture.constData()), picture.size());
            (void)loadPicture(decoders(), path);
        } catch (const Error&) {
        }
    }
    return 0;
}
