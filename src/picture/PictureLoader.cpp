#include "PictureLoader.h"

#include "Decoding.h"
#include "ImageBuffer.h"
#include "picture/colour/Colour.h"
#include "picture/formats/EmfReader.h"
#include "picture/formats/JpegDecoder.h"
#include "picture/sandbox/Isolation.h"
#include "picture/sandbox/PictureJobs.h"
#include "picture/sandbox/Sandbox.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QPixmap>
#include <QStringList>

#include <new>
#include <unistd.h>

namespace lumorra {

using namespace picture;

namespace {

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

// The picture a worker decoded, in the screen's colours.
Picture finished(JobReply r, const ColourTransforms* colour) {
    Picture picture;
    if ((r.flags & JobReply::CmykInk) != 0) {
        const JpegInk ink{true, (r.flags & JobReply::InkInverted) != 0};
        picture.image = upright(cmykToScreen(r.image, ink, r.colour.icc, colour),
                                QImageIOHandler::Transformations(int(r.transformation)));
    } else {
        picture.image = r.image;
        manageColour(picture.image, r.colour, colour);
    }
    picture.naturalSize = r.naturalSize;
    picture.format = QString::fromLatin1(r.format);
    picture.fitsOnlyReduced = (r.flags & JobReply::FitsOnlyReduced) != 0;
    picture.regionsDecodable = (r.flags & JobReply::RegionsDecodable) != 0;
    picture.fromPreview = (r.flags & JobReply::FromPreview) != 0;
    picture.turned = (r.flags & JobReply::Turned) != 0;
    return picture;
}

JobReply runJob(DecoderPool& pool, JobRequest request,
                std::chrono::milliseconds timeout = WorkerTimeout) {
    request.memory = childMemory();
    return pool.run(request, timeout);
}

// A raster picture decoded in a worker from the request's bytes, held in `file` once the job is
// done. SVG, which draws its text with the system's fonts, is drawn in a drawing worker.
Picture decodeImage(DecoderPool& pool, PictureFile& file, JobRequest request,
                    const ColourTransforms* colour) {
    request.budget = pictureByteBudget();
    JobReply r = runJob(pool, request);
    if ((r.flags & JobReply::HostOnly) != 0) {
        request.kind = WorkerKind::Drawing;
        request.meanwhile = nullptr;
        r = runJob(pool, request);
    }
    const bool animated = (r.flags & JobReply::Animated) != 0;
    Picture picture = finished(std::move(r), colour);
    if (picture.image.isNull())
        throw invalidPicture();
    if (animated)
        picture.animation = file.heldBytes();
    return picture;
}

// The decode of a picture whose bytes are held.
JobRequest heldRequest(PictureFile& file, QSize shown) {
    JobRequest request;
    request.bytes = file.heldBytes();
    request.shown = shown;
    return request;
}

template <class F> auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw outOfMemory();
    }
}

// A metafile drawn in a drawing worker, at `size` or (empty) at its natural size.
Picture loadMetafile(DecoderPool& pool, Kind kind, const QByteArray& data, QSize size) {
    JobRequest request;
    request.job = Job::Metafile;
    request.kind = WorkerKind::Drawing;
    request.bytes = data;
    request.shown = size;
    request.budget = pictureByteBudget();
    const JobReply r = runJob(pool, request, MetafileTimeout);
    const QByteArray format = kind == Kind::Wmf ? "wmf" : "emf";
    if (r.image.isNull() || r.naturalSize.isEmpty() || r.format != format ||
        (!size.isEmpty() && r.image.size() != size))
        throw invalidPicture();
    return Picture{r.image, r.naturalSize, QString::fromLatin1(format), {}, {}};
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

Picture loadPicture(DecoderPool& pool, const QString& path) {
    return loadPicture(pool, path, QSize());
}

namespace {

// The picture in a file whose bytes are held in memory; it keeps them.
Picture decodeHeld(DecoderPool& pool, PictureFile& file, QSize shown, MetafilePolicy metafiles,
                   const ColourTransforms* colour) {
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    Picture picture;
    if (s.kind == Kind::Image) {
        picture = decodeImage(pool, file, heldRequest(file, shown), colour);
    } else {
        if (metafiles == MetafilePolicy::Refuse)
            throw invalidPicture();
        picture = loadMetafile(pool, s.kind, file.readAll(MetafileFileCap), QSize());
    }
    picture.bytes = file.heldBytes();
    return picture;
}

// A file's picture for showing at `shown`, or at the size that fits `fit` where one is given.
Picture loadFile(DecoderPool& pool, const QString& path, QSize shown, const FitBounds* fit,
                 MetafilePolicy metafiles, const ColourTransforms* colour) {
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        if (file.size() > pictureByteBudget())
            throw outOfMemory();
        if (sniffFile(file).kind != Kind::Image) {
            file.hold(pictureByteBudget());
            return decodeHeld(pool, file, shown, metafiles, colour);
        }
        // The worker decodes a sealed copy of the file; the program reads the copy into memory,
        // the bytes the picture keeps, while it does.
        struct Copy {
            int fd;
            ~Copy() { ::close(fd); }
        } const copy{sealedCopy(file.descriptor(), file.size())};
        JobRequest request;
        request.sealed = copy.fd;
        request.shown = shown;
        if (fit != nullptr) {
            request.fitBounds = fit->bounds;
            request.fitRatio = fit->ratio;
        }
        request.meanwhile = [&] { file.holdCopy(copy.fd); };
        Picture picture = decodeImage(pool, file, request, colour);
        picture.bytes = file.heldBytes();
        return picture;
    });
}

} // namespace

Picture loadPicture(DecoderPool& pool, const QString& path, QSize shown, MetafilePolicy metafiles,
                    const ColourTransforms* colour) {
    return loadFile(pool, path, shown, nullptr, metafiles, colour);
}

Picture loadFittedPicture(DecoderPool& pool, const QString& path, const FitBounds& fit,
                          MetafilePolicy metafiles, const ColourTransforms* colour) {
    return loadFile(pool, path, QSize(), &fit, metafiles, colour);
}

Picture decodePicture(DecoderPool& pool, const QByteArray& bytes, QSize shown,
                      MetafilePolicy metafiles, const ColourTransforms* colour) {
    return guarded([&] {
        PictureFile file(bytes);
        return decodeHeld(pool, file, shown, metafiles, colour);
    });
}

QImage decodeRegion(DecoderPool& pool, const QByteArray& bytes, QRect region,
                    const ColourTransforms* colour) {
    return guarded([&] {
        if (bytes.isEmpty())
            throw invalidPicture();
        JobRequest request;
        request.job = Job::Region;
        request.bytes = bytes;
        request.region = region;
        request.budget = pictureByteBudget();
        JobReply r = runJob(pool, request);
        if (r.image.isNull() || r.image.size() != region.size())
            throw invalidPicture();
        manageColour(r.image, r.colour, colour);
        return r.image;
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

int scaleFor(QSize natural, QSize shown) {
    if (natural.isEmpty() || shown.isEmpty())
        return 8;
    int scale = 8;
    for (const int eighths : {6, 5, 4, 2, 1}) {
        if (qint64(natural.width()) * eighths / 8 < shown.width() ||
            qint64(natural.height()) * eighths / 8 < shown.height())
            break;
        scale = eighths;
    }
    return scale;
}

QSize fittedSize(QSize natural, const FitBounds& fit) {
    if (natural.isEmpty() || fit.bounds.isEmpty())
        return QSize();
    const QSize shown =
        natural.width() <= fit.bounds.width() && natural.height() <= fit.bounds.height()
            ? natural
            : natural.scaled(fit.bounds, Qt::KeepAspectRatio);
    return shown * fit.ratio;
}

void loadImageFormatPlugins() {
    QByteArray nothing;
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    // PNG has no plugin: Qt asks each one whether it reads PNG before it takes its own reader.
    QImageReader reader(&buffer, "png");
    (void)reader.canRead();
}

void cacheStylePixmaps() {
    // With no plugin path, a picture read by its file name can only be read by Qt's built-in
    // readers; the pixmap it gives stays in the cache under the file's name.
    const QStringList paths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    (void)QPixmap(QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"));
    QCoreApplication::setLibraryPaths(paths);
}

QSize pictureSize(DecoderPool& pool, const QString& path) {
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        QByteArray head;
        const Sniffed s = sniffFile(file, &head);
        switch (s.kind) {
        case Kind::Wmf: // libwmf scans the records for it
            break;
        case Kind::Emf:
            return emfNaturalSize(head, file.size());
        case Kind::Image:
            break;
        }
        JobRequest request;
        request.job = Job::Size;
        request.kind = s.kind == Kind::Wmf ? WorkerKind::Drawing : WorkerKind::Picture;
        request.file = file.descriptor();
        request.budget = pictureByteBudget();
        JobReply r = runJob(pool, request);
        if ((r.flags & JobReply::HostOnly) != 0) {
            request.kind = WorkerKind::Drawing;
            r = runJob(pool, request);
        }
        if (r.naturalSize.isEmpty())
            throw invalidPicture();
        return r.naturalSize;
    });
}

bool PictureDetails::isEmpty() const {
    return camera.isEmpty() && lens.isEmpty() && focalLength.isEmpty() && exposureTime.isEmpty() &&
           aperture.isEmpty() && iso.isEmpty() && !taken.isValid() && position.isEmpty();
}

PictureDetails pictureDetails(DecoderPool& pool, const QString& path) {
    PictureDetails d;
    try {
        PictureFile file(path);
        // Only a picture is read whole for them: a movie or a document has none to show.
        const Sniffed sniffed = sniffFile(file);
        if (sniffed.kind != Kind::Image || sniffed.qtFormat.isEmpty())
            return {};
        JobRequest request;
        request.job = Job::Details;
        request.file = file.descriptor();
        request.budget = pictureByteBudget();
        request.memory = childMemory();
        // A photo's header is read in milliseconds; a file that takes longer has nothing to show.
        const QStringList fields =
            QString::fromUtf8(pool.run(request, std::chrono::seconds(5)).text)
                .split(QLatin1Char('\n'));
        QString* const text[] = {&d.camera,   &d.lens, &d.focalLength, &d.exposureTime,
                                 &d.aperture, &d.iso,  nullptr,        &d.position};
        for (qsizetype i = 0; i < qMin<qsizetype>(fields.size(), 8); ++i) {
            if (text[i] != nullptr)
                *text[i] = fields[i];
            else
                d.taken = QDateTime::fromString(fields[i], Qt::ISODate);
        }
    } catch (...) {
        // No details: the file is gone, unreadable, no picture, or its worker failed.
        return {};
    }
    return d;
}

QImage renderPicture(DecoderPool& pool, const QString& path, QSize size,
                     const ColourTransforms* colour) {
    if (size.isEmpty())
        throw Error::program(errc::InvalidCall);
    return guarded([&] {
        PictureFile file(path);
        if (file.size() == 0)
            throw invalidPicture();
        requireMemoryFor(size);
        const Sniffed s = sniffFile(file);
        if (s.kind != Kind::Image)
            return loadMetafile(pool, s.kind, file.readAll(MetafileFileCap), size).image;
        file.hold(pictureByteBudget());
        const QImage image = decodeImage(pool, file, heldRequest(file, QSize()), colour).image;
        if (image.size() == size)
            return image;
        const QImage scaled = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            throw outOfMemory();
        return toDisplayFormat(scaled);
    });
}

QImage drawMetafile(DecoderPool& pool, const QByteArray& data, const QString& type, QSize size) {
    if (size.isEmpty() || (type != QLatin1String("wmf") && type != QLatin1String("emf")))
        throw Error::program(errc::InvalidCall);
    return guarded([&] {
        if (data.isEmpty() || data.size() > MetafileFileCap)
            throw invalidPicture();
        return loadMetafile(pool, type == QLatin1String("wmf") ? Kind::Wmf : Kind::Emf, data, size)
            .image;
    });
}

} // namespace lumorra
