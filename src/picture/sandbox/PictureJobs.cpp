#include "PictureJobs.h"

#include "picture/ImageBuffer.h"
#include "picture/PictureLoader.h"
#include "picture/colour/EmbeddedProfile.h"
#include "picture/formats/AnimationFrames.h"
#include "picture/formats/EmfReader.h"
#include "picture/formats/Formats.h"
#include "picture/formats/HeifDecoder.h"
#include "picture/formats/JpegDecoder.h"
#include "picture/formats/JxlDecoder.h"
#include "picture/formats/PictureDetails.h"
#include "picture/formats/RawDecoder.h"
#include "picture/formats/WmfReader.h"

#include <QBuffer>
#include <QImageReader>

#include <limits>

namespace lumorra::picture {
namespace {

// The largest file whose camera details are read: the whole file is read into memory for them.
constexpr qint64 DetailsFileCap = qint64(256) << 20;

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

bool fitsInMemory(QSize size, qint64 budget) {
    return qint64(size.width()) * size.height() <= budget / 4;
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

// HEIF, AVIF and JPEG XL have decoders of their own, not Qt's readers. They decode in full.
bool hasOwnDecoder(const QByteArray& format) {
    return format == "heif" || format == "avif" || format == "jxl";
}

JobReply decodeOwn(PictureFile& file, const QByteArray& format, qint64 budget) {
    DecodedPicture d = format == "jxl" ? decodeJxl(file, budget) : decodeHeif(file, budget);
    JobReply r;
    r.image = d.image;
    r.naturalSize = d.naturalSize;
    r.format = format;
    r.colour = d.colour;
    const bool sequence =
        format == "jxl" ? d.animated : format == "avif" && isAvifSequence(file.heldBytes());
    if (sequence && file.size() <= AnimationFileCap)
        r.flags |= JobReply::Animated;
    return r;
}

// TIFF, TGA, BMP, ICO and CUR, PBM/PGM/PPM: the program's own decoders, from the bytes.
JobReply decodeFormat(PictureFile& file, const QByteArray& format, qint64 budget) {
    // The bytes kept with the picture count against the budget, as its pixels do.
    const formats::Decoded d = formats::decode(format, file.heldBytes(), budget - file.size());
    JobReply r;
    r.image = toDisplayFormat(d.image);
    r.naturalSize = d.image.size();
    r.format = format;
    r.colour.icc = d.icc;
    return r;
}

// Whether a file sniffed as `format` is a camera RAW, its bytes held to tell.
bool isRaw(PictureFile& file, const QByteArray& format, qint64 budget) {
    if (format == "raw")
        return true;
    if (format != "tiff" || !mayBeCameraRaw(file.head(RawSniffBytes)))
        return false;
    file.hold(budget);
    return isCameraRaw(file.heldBytes());
}

// Tells a file's format from its content.
Sniffed sniffFile(PictureFile& file, QByteArray* head = nullptr) {
    const QByteArray start = file.head(SniffHeadBytes);
    if (head != nullptr)
        *head = start;
    return sniff(start, file.tail(SniffTailBytes));
}

bool isSvg(const QByteArray& format) {
    return format == "svg" || format == "svgz";
}

// Whether Qt's reader for the file is its SVG one (SVG has no magic number sniff() knows).
bool readsAsSvg(PictureFile& file, const QByteArray& sniffed) {
    if (!sniffed.isEmpty())
        return isSvg(sniffed);
    file.rewind();
    QImageReader reader(&file.device());
    const bool svg = reader.canRead() && isSvg(reader.format().toLower());
    file.rewind();
    return svg;
}

} // namespace

QImage upright(QImage image, QImageIOHandler::Transformations t) {
    return formats::turned(std::move(image), t);
}

namespace {

// The pixels of a raster picture: libjpeg for photos, Qt's readers for the rest. A file that
// ends early: Qt's JPEG reader fills the missing rest grey and succeeds, and such a picture is
// shown, as a half-downloaded photo is worth seeing. A file whose header cannot be read, or a
// reader that gives up (PNG, GIF and others stop at the damage), is an invalid picture.
QImage readPixels(PictureFile& file, const Header& h, int reduction, bool* animated) {
    QImage image;
    // libjpeg decodes an upright photo, reduced or whole, straight into the display format (Qt's
    // reader converts each row from three bytes a pixel). Turned photos, and what libjpeg
    // refuses, such as a truncated file, go to Qt's reader.
    if (h.format == "jpeg" && h.upright)
        image = decodeJpeg(file.heldBytes(), reduction);
    if (!image.isNull())
        return image;
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
    *animated = (h.format == "gif" || h.format == "webp") && reader.supportsAnimation() &&
                reader.imageCount() > 1 && file.size() <= AnimationFileCap;
    if (!reader.read(&image) || image.isNull())
        throw invalidPicture();
    if (h.ownTurn)
        image = formats::turned(std::move(image), h.transformation);
    return toDisplayFormat(image);
}

} // namespace

using lumorra::reductionFor;

namespace {

// A camera RAW's embedded preview, decoded as a JPEG file is (reduced), where the picture is
// shown smaller than its natural size and the preview has the pixels shown; no image otherwise,
// or where the preview is damaged.
JobReply decodeRawPreview(const QByteArray& bytes, const RawHeader& h, QSize shown, qint64 budget) {
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
        if (sniffFile(file).qtFormat != "jpeg")
            return {};
        // A preview that has an orientation of its own (LibRaw writes the RAW's into one that
        // has no EXIF block) is turned by it; another, as the RAW says.
        const bool turnsItself = !readHeader(file, "jpeg").upright;
        const bool turnedHere = !turnsItself && (h.flip & 4) != 0;
        JobReply r = decodeJob(file, turnedHere ? shown.transposed() : shown, budget, false);
        // CMYK ink is turned after the colour transform: the full decode serves such a RAW.
        if ((r.flags & JobReply::CmykInk) != 0 || r.image.isNull())
            return {};
        if (!turnsItself)
            r.image = rawUpright(r.image, h.flip);
        r.naturalSize = h.size;
        r.format = "raw";
        r.flags = JobReply::FromPreview;
        return r;
    } catch (const Error& e) {
        if (e.number == errc::OutOfMemory)
            throw;
        return {};
    }
}

// A camera RAW: shown from its preview where that will do; decoded in full by LibRaw, in this
// worker (whose address space is the budget of LibRaw's buffers), for 1:1 and above and for
// everything that wants the whole picture. sRGB, upright.
JobReply decodeRaw(PictureFile& file, QSize shown, qint64 budgetAll, qint64 memory) {
    const QByteArray& bytes = file.heldBytes();
    const RawHeader h = readRawHeader(bytes);
    // The bytes kept with the picture count against the budget, as its pixels do.
    const qint64 budget = budgetAll - file.size();
    requireRawMemory(h, budget, memory > 0 ? memory : std::numeric_limits<qint64>::max());
    if (shown.isValid()) {
        JobReply preview = decodeRawPreview(bytes, h, shown, budget);
        if (!preview.image.isNull())
            return preview;
    }
    JobReply r;
    r.image = newImage(h.size, QImage::Format_RGB32);
    if (r.image.isNull())
        throw outOfMemory();
    decodeRawInto(bytes, r.image);
    r.naturalSize = h.size;
    r.format = "raw";
    return r;
}

} // namespace

JobReply decodeJob(PictureFile& file, QSize shown, qint64 budgetAll, bool hostOnly, qint64 memory) {
    Q_ASSERT(file.isHeld());
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    if (s.kind != Kind::Image)
        throw invalidPicture(); // metafiles have readers of their own
    if (isRaw(file, s.qtFormat, budgetAll))
        return decodeRaw(file, shown, budgetAll, memory);
    if (hasOwnDecoder(s.qtFormat))
        return decodeOwn(file, s.qtFormat, budgetAll);
    if (formats::decodes(s.qtFormat))
        return decodeFormat(file, s.qtFormat, budgetAll);
    JobReply r;
    if (!hostOnly && readsAsSvg(file, s.qtFormat)) {
        r.flags = JobReply::HostOnly;
        return r;
    }
    const Header h = readHeader(file, s.qtFormat);
    r.format = h.format;
    if (!h.upright)
        r.flags |= JobReply::Turned;
    int components = 0;
    r.colour.icc = embeddedProfile(file.device(), h.format, &components);
    file.rewind();
    // libjpeg decodes at 1/2, 1/4 and 1/8 directly from the coefficients.
    int reduction = 1;
    if (h.format == "jpeg" && h.size.isValid() && shown.isValid())
        reduction = reductionFor(h.turned ? h.size.transposed() : h.size, shown);
    // The bytes kept with the picture count against the budget, as its pixels do.
    const qint64 budget = budgetAll - file.size();
    // A photo too large to hold in full is decoded at the least reduction that fits: it is
    // shown, and a zoom shows its regions decoded at full size from its bytes.
    if (h.format == "jpeg" && h.size.isValid()) {
        if (!fitsInMemory(h.size, budget))
            r.flags |= JobReply::FitsOnlyReduced;
        while (reduction < 8 && !fitsInMemory(reducedSize(h.size, reduction), budget))
            reduction *= 2;
        requireMemoryFor(reducedSize(h.size, reduction), budget);
    } else if (h.size.isValid()) {
        requireMemoryFor(h.size, budget);
    }
    // Qt refuses pictures above 256 MB by default. Its limit is one for the whole process in
    // Qt 6; it is set to the budget before each decode, which also guards the formats whose
    // header tells no size.
    QImageReader::setAllocationLimit(int(qMax<qint64>(1, budget >> 20)));

    // CMYK photos: libjpeg gives the ink, the program's colour transform makes it RGB (Qt's
    // reader would take the ink off white without the picture's profile).
    QImage image;
    if (h.format == "jpeg" && components == 4) {
        JpegInk ink;
        const QImage raw = decodeJpeg(file.heldBytes(), reduction, &ink);
        if (!raw.isNull() && ink.cmyk) {
            r.image = raw;
            r.flags |= JobReply::CmykInk | (ink.inverted ? quint32(JobReply::InkInverted) : 0u);
            r.transformation = quint32(h.transformation.toInt());
        } else if (!raw.isNull()) {
            image = upright(raw, h.transformation);
            r.colour.icc.clear(); // a four-component picture that is not ink: as it is
        }
    }
    const bool ink = (r.flags & JobReply::CmykInk) != 0;
    if (!ink) {
        bool animated = false;
        r.image = image.isNull() ? readPixels(file, h, reduction, &animated) : image;
        if (animated)
            r.flags |= JobReply::Animated;
    }
    const QSize decoded = ink && h.turned ? r.image.size().transposed() : r.image.size();
    r.naturalSize = reduction > 1 ? (h.turned ? h.size.transposed() : h.size) : decoded;
    if (h.format == "jpeg" && components != 4 && jpegRegionsAreCheap(file.heldBytes()))
        r.flags |= JobReply::RegionsDecodable;
    return r;
}

namespace {

JobReply sizeJob(PictureFile& file, qint64 budget, bool drawing) {
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    JobReply r;
    if (s.kind == Kind::Wmf && drawing) {
        r.format = "wmf";
        r.naturalSize = wmfNaturalSize(file.readAll(MetafileFileCap));
        return r;
    }
    if (s.kind != Kind::Image)
        throw invalidPicture();
    r.format = s.qtFormat;
    // A TIFF's or camera RAW's header is read from the file mapped: its pixels are never read.
    if (s.qtFormat == "tiff" || s.qtFormat == "raw")
        file.holdMapped(budget);
    if (isRaw(file, s.qtFormat, budget)) {
        file.hold(budget);
        r.format = "raw";
        r.naturalSize = readRawHeader(file.heldBytes()).size;
        return r;
    }
    if (hasOwnDecoder(s.qtFormat)) {
        r.naturalSize = s.qtFormat == "jxl" ? jxlSize(file) : heifSize(file);
        return r;
    }
    if (formats::decodes(s.qtFormat)) {
        file.hold(budget);
        r.naturalSize = formats::readHeader(s.qtFormat, file.heldBytes()).size;
        return r;
    }
    if (readsAsSvg(file, s.qtFormat)) {
        if (!drawing) {
            r.flags = JobReply::HostOnly;
            return r;
        }
        file.hold(budget);
        r = decodeJob(file, QSize(), budget, true);
        r.image = QImage();
        return r;
    }
    const Header h = readHeader(file, s.qtFormat);
    if (h.size.isValid()) {
        r.naturalSize = h.turned ? h.size.transposed() : h.size;
        return r;
    }
    file.hold(budget);
    r = decodeJob(file, QSize(), budget, false);
    r.image = QImage();
    return r;
}

// A WMF or EMF drawn; in a drawing worker only, where the libraries may open their fonts.
JobReply metafileJob(const QByteArray& bytes, QSize shown, bool drawing) {
    PictureFile file(bytes);
    const Kind kind = file.size() > 0 ? sniffFile(file).kind : Kind::Image;
    if (!drawing || kind == Kind::Image)
        throw invalidPicture();
    const MetafileDrawing d = kind == Kind::Wmf ? drawWmf(bytes, shown) : drawEmf(bytes, shown);
    JobReply r;
    r.image = d.image;
    r.naturalSize = d.naturalSize;
    r.format = kind == Kind::Wmf ? "wmf" : "emf";
    return r;
}

JobReply regionJob(const QByteArray& bytes, QRect region, qint64 budget) {
    PictureFile file(bytes);
    if (file.size() == 0 || sniffFile(file).qtFormat != "jpeg")
        throw invalidPicture();
    const Header h = readHeader(file, "jpeg");
    const QSize natural = h.turned ? h.size.transposed() : h.size;
    if (region.isEmpty() || !QRect(QPoint(0, 0), natural).contains(region))
        throw invalidPicture();
    int components = 0;
    JobReply r;
    r.format = "jpeg";
    r.colour.icc = embeddedProfile(file.device(), h.format, &components);
    if (components == 4)
        throw invalidPicture();
    requireMemoryFor(region.size(), budget);
    // A turned photo: the stored rectangle that turns into the region, turned likewise.
    QImage image = decodeJpegRegion(bytes, storedRect(region, h.size, h.transformation));
    if (image.isNull())
        throw invalidPicture();
    r.image = upright(image, h.transformation);
    r.naturalSize = natural;
    return r;
}

} // namespace

namespace {

// The frames of a GIF or WebP, from Qt's reader, which composes a GIF's partial frames.
class QtFrames final : public FrameReader {
public:
    QtFrames(const QByteArray& bytes, const QByteArray& format, qint64 budget)
        : format_(format), budget_(budget) {
        buffer_.setData(bytes);
        if (format == "webp") {
            buffer_.open(QIODevice::ReadOnly);
            colour.icc = embeddedProfile(buffer_, format);
        }
        rewind();
        // Qt's reader gives the loop count as QMovie counts it: further passes after the
        // first, -1 for ever, 0 for a single pass.
        loops = reader_->loopCount();
    }
    bool next(Frame& frame) override {
        QImageReader::setAllocationLimit(int(qMax<qint64>(1, budget_ >> 20)));
        QImage image;
        if (!reader_->canRead() || !reader_->read(&image) || image.isNull())
            return false;
        frame.image = toDisplayFormat(image);
        frame.delay = reader_->nextImageDelay();
        return true;
    }
    void rewind() override {
        reader_.reset();
        buffer_.close();
        buffer_.open(QIODevice::ReadOnly);
        reader_ = std::make_unique<QImageReader>(&buffer_);
        setUp(*reader_, format_);
    }

private:
    QByteArray format_;
    qint64 budget_;
    QBuffer buffer_;
    std::unique_ptr<QImageReader> reader_;
};

} // namespace

std::unique_ptr<FrameReader> openFrames(const QByteArray& bytes, qint64 budget) {
    const QByteArray format =
        sniff(bytes.left(SniffHeadBytes), bytes.right(SniffTailBytes)).qtFormat;
    if (format == "gif" || format == "webp")
        return std::make_unique<QtFrames>(bytes, format, budget);
    if (format == "avif")
        return avifFrames(bytes, budget);
    if (format == "jxl")
        return jxlFrames(bytes, budget);
    throw invalidPicture();
}

JobReply runPictureJob(const JobRequest& request) {
    const bool drawing = request.kind == WorkerKind::Drawing;
    switch (request.job) {
    case Job::Decode: {
        PictureFile file(request.bytes);
        return decodeJob(file, request.shown, request.budget, drawing, request.memory);
    }
    case Job::Size: {
        PictureFile file(request.file);
        return sizeJob(file, request.budget, drawing);
    }
    case Job::Metafile:
        return metafileJob(request.bytes, request.shown, drawing);
    case Job::Region:
        return regionJob(request.bytes, request.region, request.budget);
    case Job::Details: {
        PictureFile file(request.file);
        JobReply r;
        r.text = readPictureDetails(file.readAll(qMin(request.budget, DetailsFileCap)));
        return r;
    }
    default:
        throw invalidPicture();
    }
}

// The camera details reader (PictureDetails.cpp, on libexiv2) is linked into the decoder program
// alone; in any other process that runs these jobs, a picture has no details to give.
[[gnu::weak]] QByteArray readPictureDetails(const QByteArray&) {
    return {};
}
[[gnu::weak]] void prepareDetailsReading() {}

} // namespace lumorra::picture
