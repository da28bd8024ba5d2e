#include "PictureLoader.h"

#include "Colour.h"
#include "Decoding.h"
#include "EmbeddedProfile.h"
#include "EmfReader.h"
#include "HeifDecoder.h"
#include "Isolation.h"
#include "JpegDecoder.h"
#include "JxlDecoder.h"
#include "RawDecoder.h"
#include "WmfReader.h"
#include "picture/formats/Formats.h"
#include "platform/ImageBuffer.h"

#include <QBuffer>
#include <QImageReader>

#include <new>

namespace lumorra {

using namespace picture;

namespace {

// What a Qt reader learns from a picture's header.
struct Header {
    QByteArray format;
    QSize size;          // as stored, before the turn; invalid when the reader cannot tell
    bool turned = false; // the EXIF orientation swaps width and height
    bool upright = true; // stored upright: no EXIF orientation to apply
    QImageIOHandler::Transformations transformation;
    bool ownTurn = false; // the orientation is the container's, which Qt's reader does not apply
    int index = 0;        // the image of a multi-image file to show
};

bool isIcon(const QByteArray& format) {
    return format == "ico" || format == "cur";
}

// The bit depth an icon directory gives for entry `i`, 0 when unknown.
int iconBitCount(const QByteArray& directory, int i) {
    return littleEndian<quint16>(directory, 6 + qsizetype(i) * 16 + 6);
}

// The reader reads from a file opened by descriptor, which has no name: Qt tells the format
// from the content alone when the loader has not told it already. A format told goes straight
// to its own reader; Qt would otherwise load every image format plugin it has to ask each one.
void setUp(QImageReader& reader, const QByteArray& format) {
    if (!format.isEmpty()) {
        reader.setFormat(format);
        reader.setAutoDetectImageFormat(false);
    }
    reader.setAutoTransform(true);
}

// The EXIF orientation a PNG or WebP file keeps in a chunk of its own, read chunk by chunk.
int containerOrientation(PictureFile& file, const QByteArray& format) {
    const int orientation = formats::containerOrientation(format, [&](qint64 at, qint64 length) {
        return file.device().seek(at) ? file.device().read(length) : QByteArray();
    });
    file.rewind();
    return orientation;
}

// Reads the header with a reader of its own: a reader that has answered size() does not always
// decode afterwards.
Header readHeader(PictureFile& file, const QByteArray& sniffedFormat) {
    file.rewind();
    QImageReader reader(&file.device());
    setUp(reader, sniffedFormat);
    if (!reader.canRead())
        throw invalidPicture();
    Header h;
    h.format = sniffedFormat.isEmpty() ? reader.format().toLower() : sniffedFormat;
    if (h.format.isEmpty())
        throw invalidPicture();
    h.size = reader.size();
    if (isIcon(h.format)) {
        // Qt opens an icon at its first entry; show the largest, the deepest of equal ones. Only
        // the entries the file has room for: a damaged header may claim tens of thousands, each
        // of which Qt would look for.
        const int count =
            int(qMin<qint64>(reader.imageCount(), qMax<qint64>(0, (file.size() - 6) / 16)));
        const QByteArray directory = file.head(6 + 16 * qBound(0, count, 4096));
        qint64 bestArea = -1;
        int bestBits = -1;
        for (int i = 0; i < count; ++i) {
            if (!reader.jumpToImage(i))
                break;
            const QSize s = reader.size();
            const qint64 area = s.isValid() ? qint64(s.width()) * s.height() : 0;
            const int bits = iconBitCount(directory, i);
            if (area > bestArea || (area == bestArea && bits > bestBits)) {
                bestArea = area;
                bestBits = bits;
                h.index = i;
                h.size = s;
            }
        }
    }
    h.transformation = reader.transformation();
    if (h.transformation == QImageIOHandler::TransformationNone &&
        (h.format == "png" || h.format == "webp")) {
        h.transformation = formats::transformationOf(containerOrientation(file, h.format));
        h.ownTurn = h.transformation != QImageIOHandler::TransformationNone;
    }
    h.turned = h.transformation.testFlag(QImageIOHandler::TransformationRotate90);
    h.upright = h.transformation == QImageIOHandler::TransformationNone;
    return h;
}

// The size libjpeg decodes a picture of `size` at 1/`reduction` (rounded up).
QSize reducedSize(QSize size, int reduction) {
    return QSize((size.width() + reduction - 1) / reduction,
                 (size.height() + reduction - 1) / reduction);
}

bool fitsInMemory(QSize size, qint64 budget) {
    return qint64(size.width()) * size.height() * 4 <= budget;
}

// The picture turned upright as its EXIF orientation says, as Qt's reader turns what it decodes.
QImage upright(QImage image, QImageIOHandler::Transformations t) {
    if (t == QImageIOHandler::TransformationNone)
        return image;
    image = image.mirrored(t.testFlag(QImageIOHandler::TransformationMirror),
                           t.testFlag(QImageIOHandler::TransformationFlip));
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
    if (image.isNull())
        throw outOfMemory();
    return image;
}

// The rectangle of a picture stored at `stored` that upright() turns into `region`: upright()
// mirrors and flips, then turns a quarter clockwise, so this undoes the turn, then the rest.
QRect storedRect(QRect region, QSize stored, QImageIOHandler::Transformations t) {
    QRect r = region;
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        r = QRect(r.y(), stored.height() - r.x() - r.width(), r.height(), r.width());
    if (t.testFlag(QImageIOHandler::TransformationMirror))
        r.moveLeft(stored.width() - r.x() - r.width());
    if (t.testFlag(QImageIOHandler::TransformationFlip))
        r.moveTop(stored.height() - r.y() - r.height());
    return r;
}

// Brings decoded pixels into the screen's colour space (or sRGB without `colour`). The
// transforms of a picture without a colour target are made for it alone: Save As and the
// clipboard's loads, which are rare.
void manageColour(QImage& image, const ColourSource& source, const ColourTransforms* colour) {
    if (colour != nullptr) {
        colour->toScreen(image, source);
    } else if (source.isTagged()) {
        const ColourTransforms srgb;
        srgb.toScreen(image, source);
    }
}

QImage cmykToScreen(const QImage& ink, const JpegInk& how, const QByteArray& icc,
                    const ColourTransforms* colour) {
    const auto convert = [&](const ColourTransforms& c) {
        return c.cmykToScreen(ink.constBits(), ink.width(), ink.height(), ink.bytesPerLine(),
                              how.inverted, icc);
    };
    QImage image;
    if (colour != nullptr) {
        image = convert(*colour);
    } else {
        const ColourTransforms srgb;
        image = convert(srgb);
    }
    if (image.isNull())
        throw outOfMemory();
    return image;
}

// HEIF, AVIF and JPEG XL have decoders of their own, not Qt's readers. They decode in full.
bool hasOwnDecoder(const QByteArray& format) {
    return format == "heif" || format == "avif" || format == "jxl";
}

Picture loadOwn(PictureFile& file, const QByteArray& format, const ColourTransforms* colour) {
    DecodedPicture d = format == "jxl" ? decodeJxl(file) : decodeHeif(file);
    manageColour(d.image, d.colour, colour);
    return Picture{d.image, d.naturalSize, QString::fromLatin1(format), {}, {}};
}

Picture loadRaw(PictureFile& file, QSize shown, const ColourTransforms* colour);

// TIFF, TGA, BMP, ICO and CUR, PBM/PGM/PPM: the program's own decoders, from the bytes.
Picture loadFormat(PictureFile& file, const QByteArray& format, const ColourTransforms* colour) {
    // The bytes kept with the picture count against the budget, as its pixels do.
    const formats::Decoded d =
        formats::decode(format, file.heldBytes(), pictureByteBudget() - file.size());
    Picture picture{toDisplayFormat(d.image), d.image.size(), QString::fromLatin1(format), {}, {}};
    manageColour(picture.image, ColourSource{d.icc, 0, 0}, colour);
    return picture;
}

// Decoding a picture whose file ends early: Qt's JPEG reader fills the missing rest grey and
// succeeds, and such a picture is shown, as a half-downloaded photo is worth seeing. A file
// whose header cannot be read, or a reader that gives up (PNG, GIF and others stop at the
// damage), is an invalid picture.
//
// The file's bytes are held in memory (PictureFile::hold()).
Picture loadImage(PictureFile& file, const QByteArray& sniffedFormat, QSize shown = QSize(),
                  const ColourTransforms* colour = nullptr) {
    Q_ASSERT(file.isHeld());
    if (sniffedFormat == "raw" || (sniffedFormat == "tiff" && isCameraRaw(file.heldBytes())))
        return loadRaw(file, shown, colour);
    if (hasOwnDecoder(sniffedFormat))
        return loadOwn(file, sniffedFormat, colour);
    if (formats::decodes(sniffedFormat))
        return loadFormat(file, sniffedFormat, colour);
    const Header h = readHeader(file, sniffedFormat);
    int components = 0;
    const QByteArray icc = embeddedProfile(file.device(), h.format, &components);
    file.rewind();
    // libjpeg decodes at 1/2, 1/4 and 1/8 directly from the coefficients.
    int reduction = 1;
    if (h.format == "jpeg" && h.size.isValid() && shown.isValid())
        reduction = reductionFor(h.turned ? h.size.transposed() : h.size, shown);
    // The bytes kept with the picture count against the budget, as its pixels do.
    const qint64 budget = pictureByteBudget() - file.size();
    // A photo too large to hold in full is decoded at the least reduction that fits: it is
    // shown, and a zoom shows its regions decoded at full size from its bytes.
    bool fitsOnlyReduced = false;
    if (h.format == "jpeg" && h.size.isValid()) {
        fitsOnlyReduced = !fitsInMemory(h.size, budget);
        while (reduction < 8 && !fitsInMemory(reducedSize(h.size, reduction), budget))
            reduction *= 2;
        requireMemoryFor(reducedSize(h.size, reduction), budget);
    } else if (h.size.isValid()) {
        requireMemoryFor(h.size, budget);
    }
    // Qt refuses pictures above 256 MB by default. Its limit is one for the whole program in
    // Qt 6; the loader is its only user and sets it to its budget before each decode, which
    // also guards the formats whose header tells no size.
    QImageReader::setAllocationLimit(int(qMax<qint64>(1, budget >> 20)));

    QImage image;
    bool animated = false;
    // CMYK photos: libjpeg gives the ink, the colour transform makes it RGB (Qt's reader would
    // take the ink off white without the picture's profile).
    if (h.format == "jpeg" && components == 4) {
        JpegInk ink;
        const QImage raw = decodeJpeg(file.heldBytes(), reduction, &ink);
        if (!raw.isNull() && ink.cmyk)
            image = upright(cmykToScreen(raw, ink, icc, colour), h.transformation);
        else if (!raw.isNull())
            image = upright(raw, h.transformation);
    }
    // libjpeg decodes an upright photo, reduced or whole, straight into the display format (Qt's
    // reader converts each row from three bytes a pixel). Turned photos, and what libjpeg
    // refuses, such as a truncated file, go to Qt's reader.
    const bool inkDone = !image.isNull();
    if (image.isNull() && h.format == "jpeg" && h.upright)
        image = decodeJpeg(file.heldBytes(), reduction);
    if (image.isNull()) {
        file.rewind();
        QImageReader reader(&file.device());
        setUp(reader, h.format);
        if (h.index > 0 && !reader.jumpToImage(h.index))
            throw invalidPicture();
        if (reduction > 1) {
            // The size libjpeg gives at that scale (rounded up), so Qt resamples nothing.
            reader.setScaledSize(reducedSize(h.size, reduction));
        } else if (h.format == "jpeg" && h.size.isValid()) {
            // Qt's JPEG reader decodes into an image of the right size and format it is given.
            image = newImage(h.size, QImage::Format_RGB32);
        }
        // The frame count of a GIF comes from a scan of its blocks, not from decoding them.
        animated = (h.format == "gif" || h.format == "webp") && reader.supportsAnimation() &&
                   reader.imageCount() > 1 && file.size() <= AnimationFileCap;
        if (!reader.read(&image) || image.isNull())
            throw invalidPicture();
        if (h.ownTurn)
            image = upright(image, h.transformation);
    }
    Picture picture;
    if (animated)
        picture.animation = file.heldBytes();
    picture.image = toDisplayFormat(image);
    if (!inkDone)
        manageColour(picture.image, ColourSource{icc, 0, 0}, colour);
    picture.naturalSize =
        reduction > 1 ? (h.turned ? h.size.transposed() : h.size) : picture.image.size();
    picture.format = QString::fromLatin1(h.format);
    picture.fitsOnlyReduced = fitsOnlyReduced;
    picture.regionsDecodable =
        h.format == "jpeg" && components != 4 && jpegRegionsAreCheap(file.heldBytes());
    return picture;
}

// A camera RAW's embedded preview, decoded as a JPEG file is (reduced, its colours managed),
// where the picture is shown smaller than its natural size and the preview has the pixels
// shown; a null picture otherwise, or where the preview is damaged.
Picture loadRawPreview(const QByteArray& bytes, const RawHeader& h, QSize shown,
                       const ColourTransforms* colour) {
    const QSize fitted = h.size.scaled(shown, Qt::KeepAspectRatio);
    const QSize preview = h.flip & 4 ? h.previewSize.transposed() : h.previewSize;
    if (fitted.width() >= h.size.width() || preview.width() < fitted.width() ||
        preview.height() < fitted.height())
        return {};
    const QByteArray jpeg = rawPreview(bytes, h);
    if (jpeg.isEmpty())
        return {};
    try {
        PictureFile file(jpeg);
        // A preview that has an orientation of its own (LibRaw writes the RAW's into one that
        // has no EXIF block) is turned by it; another, as the RAW says.
        const bool turnsItself = !readHeader(file, "jpeg").upright;
        const bool turnedHere = !turnsItself && (h.flip & 4) != 0;
        Picture p = loadImage(file, "jpeg", turnedHere ? shown.transposed() : shown, colour);
        if (!turnsItself)
            p.image = rawUpright(p.image, h.flip);
        p.naturalSize = h.size;
        p.format = QStringLiteral("raw");
        p.fitsOnlyReduced = false;
        p.regionsDecodable = false;
        p.fromPreview = true;
        return p;
    } catch (const Error& e) {
        if (e.number == errc::OutOfMemory)
            throw;
        return {};
    }
}

// A camera RAW: shown from its preview where that will do; decoded in full by LibRaw, in a child
// process, for 1:1 and above and for everything that wants the whole picture.
Picture loadRaw(PictureFile& file, QSize shown, const ColourTransforms* colour) {
    const QByteArray& bytes = file.heldBytes();
    const RawHeader h = readRawHeader(bytes);
    requireRawMemory(h, pictureByteBudget() - file.size(), childMemory());
    if (shown.isValid()) {
        Picture preview = loadRawPreview(bytes, h, shown, colour);
        if (!preview.isNull())
            return preview;
    }
    Picture picture;
    picture.image = decodeIsolated(
        h.size, QImage::Format_RGB32, [&](QImage& out) { decodeRawInto(bytes, out); },
        DecoderTimeout, childMemory());
    manageColour(picture.image, ColourSource{}, colour);
    picture.naturalSize = h.size;
    picture.format = QStringLiteral("raw");
    return picture;
}

template <class F> auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw outOfMemory();
    }
}

Picture loadMetafile(Kind kind, const QByteArray& data, QSize size) {
    const MetafileDrawing d = kind == Kind::Wmf ? drawWmf(data, size) : drawEmf(data, size);
    return Picture{d.image,
                   d.naturalSize,
                   kind == Kind::Wmf ? QStringLiteral("wmf") : QStringLiteral("emf"),
                   {},
                   {}};
}

// Tells a file's format from its content.
Sniffed sniffFile(PictureFile& file, QByteArray* head = nullptr) {
    const QByteArray start = file.head(SniffHeadBytes);
    if (head != nullptr)
        *head = start;
    return sniff(start, file.tail(SniffTailBytes));
}

} // namespace

bool Picture::isMetafile() const {
    return format == QLatin1String("wmf") || format == QLatin1String("emf");
}

Picture loadPicture(const QString& path) {
    return loadPicture(path, QSize());
}

namespace {

// The picture in a file whose bytes are held in memory; it keeps them.
Picture decodeHeld(PictureFile& file, QSize shown, MetafilePolicy metafiles,
                   const ColourTransforms* colour) {
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    Picture picture;
    if (s.kind == Kind::Image) {
        picture = loadImage(file, s.qtFormat, shown, colour);
    } else {
        if (metafiles == MetafilePolicy::Refuse)
            throw invalidPicture();
        picture = loadMetafile(s.kind, file.readAll(MetafileFileCap), QSize());
    }
    picture.bytes = file.heldBytes();
    return picture;
}

} // namespace

Picture loadPicture(const QString& path, QSize shown, MetafilePolicy metafiles,
                    const ColourTransforms* colour) {
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        file.hold(pictureByteBudget());
        return decodeHeld(file, shown, metafiles, colour);
    });
}

Picture decodePicture(const QByteArray& bytes, QSize shown, MetafilePolicy metafiles,
                      const ColourTransforms* colour) {
    return guarded([&] {
        PictureFile file(bytes);
        return decodeHeld(file, shown, metafiles, colour);
    });
}

QImage decodeRegion(const QByteArray& bytes, QRect region, const ColourTransforms* colour) {
    return guarded([&] {
        PictureFile file(bytes);
        if (file.size() == 0 || sniffFile(file).qtFormat != "jpeg")
            throw invalidPicture();
        const Header h = readHeader(file, "jpeg");
        const QSize natural = h.turned ? h.size.transposed() : h.size;
        if (region.isEmpty() || !QRect(QPoint(0, 0), natural).contains(region))
            throw invalidPicture();
        int components = 0;
        const QByteArray icc = embeddedProfile(file.device(), h.format, &components);
        if (components == 4)
            throw invalidPicture();
        requireMemoryFor(region.size());
        // A turned photo: the stored rectangle that turns into the region, turned likewise.
        QImage image = decodeJpegRegion(bytes, storedRect(region, h.size, h.transformation));
        if (image.isNull())
            throw invalidPicture();
        image = upright(image, h.transformation);
        manageColour(image, ColourSource{icc, 0, 0}, colour);
        return image;
    });
}

bool drawnFromRegions(const Picture& picture) {
    // From 16 megapixels up: 64 MB in full, against a few MB for a screen's regions.
    constexpr qint64 LargePixels = qint64(16) << 20;
    if (picture.fitsOnlyReduced)
        return true;
    return picture.regionsDecodable && picture.isReduced() &&
           qint64(picture.naturalSize.width()) * picture.naturalSize.height() >= LargePixels;
}

int reductionFor(QSize natural, QSize shown) {
    if (natural.isEmpty() || shown.isEmpty())
        return 1;
    int reduction = 1;
    while (reduction < 8 && natural.width() / (reduction * 2) >= shown.width() &&
           natural.height() / (reduction * 2) >= shown.height())
        reduction *= 2;
    return reduction;
}

void loadImageFormatPlugins() {
    QByteArray nothing;
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    // PNG has no plugin: Qt asks each one whether it reads PNG before it takes its own reader.
    QImageReader reader(&buffer, "png");
    (void)reader.canRead();
}

QSize pictureSize(const QString& path) {
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        QByteArray head;
        const Sniffed s = sniffFile(file, &head);
        switch (s.kind) {
        case Kind::Wmf:
            return wmfNaturalSize(file.readAll(MetafileFileCap));
        case Kind::Emf:
            return emfNaturalSize(head, file.size());
        case Kind::Image:
            break;
        }
        if (s.qtFormat == "raw" ||
            (s.qtFormat == "tiff" && mayBeCameraRaw(file.head(RawSniffBytes)))) {
            file.hold(pictureByteBudget());
            if (isCameraRaw(file.heldBytes()))
                return readRawHeader(file.heldBytes()).size;
        }
        if (hasOwnDecoder(s.qtFormat))
            return s.qtFormat == "jxl" ? jxlSize(file) : heifSize(file);
        if (formats::decodes(s.qtFormat)) {
            file.hold(pictureByteBudget());
            return formats::readHeader(s.qtFormat, file.heldBytes()).size;
        }
        const Header h = readHeader(file, s.qtFormat);
        if (!h.size.isValid()) {
            file.hold(pictureByteBudget());
            return loadImage(file, s.qtFormat).naturalSize;
        }
        return h.turned ? h.size.transposed() : h.size;
    });
}

QImage renderPicture(const QString& path, QSize size, const ColourTransforms* colour) {
    if (size.isEmpty())
        throw Error::program(errc::InvalidCall);
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        requireMemoryFor(size);
        const Sniffed s = sniffFile(file);
        if (s.kind != Kind::Image)
            return loadMetafile(s.kind, file.readAll(MetafileFileCap), size).image;
        file.hold(pictureByteBudget());
        const QImage image = loadImage(file, s.qtFormat, QSize(), colour).image;
        if (image.size() == size)
            return image;
        const QImage scaled = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            throw outOfMemory();
        return toDisplayFormat(scaled);
    });
}

QImage drawMetafile(const QByteArray& data, const QString& type, QSize size) {
    if (size.isEmpty() || (type != QLatin1String("wmf") && type != QLatin1String("emf")))
        throw Error::program(errc::InvalidCall);
    return guarded([&] {
        if (data.isEmpty() || data.size() > MetafileFileCap)
            throw invalidPicture();
        return loadMetafile(type == QLatin1String("wmf") ? Kind::Wmf : Kind::Emf, data, size).image;
    });
}

} // namespace lumorra
