#include "QtReaderFormat.h"

#include "AnimationFrames.h"
#include "Formats.h"
#include "picture/ImageBuffer.h"
#include "picture/PictureLoader.h"
#include "picture/colour/EmbeddedProfile.h"
#include "picture/sandbox/PictureJobs.h"

#include <QBuffer>

namespace lumorra::picture {
namespace {

bool isIcon(const QByteArray& format) {
    return format == "ico" || format == "cur";
}

// The bit depth an icon directory gives for entry `i`, 0 when unknown.
int iconBitCount(const QByteArray& directory, int i) {
    return littleEndian<quint16>(directory, 6 + qsizetype(i) * 16 + 6);
}

// The formats whose animations Qt's readers play.
bool plays(QByteArrayView format) {
    return format == "gif" || format == "webp";
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

// Qt opens an icon at its first entry; show the largest, the deepest of equal ones. Only the
// entries the file has room for: a damaged header may claim tens of thousands, each of which Qt
// would look for.
void chooseIconEntry(PictureFile& file, QImageReader& reader, QtHeader& h) {
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

bool isSvg(const QByteArray& format) {
    return format == "svg" || format == "svgz";
}

// Whether Qt's reader for the file is its SVG one (SVG has no magic number a format claims).
bool readsAsSvg(PictureFile& file, const QByteArray& sniffed) {
    if (!sniffed.isEmpty())
        return isSvg(sniffed);
    file.rewind();
    QImageReader reader(&file.device());
    const bool svg = reader.canRead() && isSvg(reader.format().toLower());
    file.rewind();
    return svg;
}

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
        limitQtAllocation(budget_);
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

// PNG, GIF and WebP by their magic numbers; and, as qtReaderFormat(), what no format claims.
class QtReaders final : public QtReaderFormat {
public:
    QtReaders() : QtReaderFormat(40, {"png", "gif", "webp"}) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        if (hasMagic(h, {"\x89PNG\r\n\x1A\n", 8}))
            return "png";
        if (hasMagic(h, "GIF87a") || hasMagic(h, "GIF89a"))
            return "gif";
        if (hasMagic(h, "RIFF") && hasMagic(h, "WEBP", 8))
            return "webp";
        return {};
    }

    std::unique_ptr<FrameReader> frames(const QByteArray& bytes, QByteArrayView name,
                                        qint64 budget) const override {
        if (!plays(name))
            throw invalidPicture();
        return std::make_unique<QtFrames>(bytes, name.toByteArray(), budget);
    }
};

} // namespace

QtHeader readQtHeader(PictureFile& file, const QByteArray& sniffed) {
    file.rewind();
    QImageReader reader(&file.device());
    setUp(reader, sniffed);
    if (!reader.canRead())
        throw invalidPicture();
    QtHeader h;
    h.format = sniffed.isEmpty() ? reader.format().toLower() : sniffed;
    if (h.format.isEmpty())
        throw invalidPicture();
    h.size = reader.size();
    if (isIcon(h.format))
        chooseIconEntry(file, reader, h);
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

JobReply replyFor(PictureFile& file, const QtHeader& h, int* components) {
    JobReply r;
    r.format = h.format;
    if (!h.upright)
        r.flags |= JobReply::Turned;
    r.colour.icc = embeddedProfile(file.device(), h.format, components);
    file.rewind();
    return r;
}

void limitQtAllocation(qint64 budget) {
    QImageReader::setAllocationLimit(int(qMax<qint64>(1, budget >> 20)));
}

// A file that ends early: Qt's JPEG reader fills the missing rest grey and succeeds, and such a
// picture is shown, as a half-downloaded photo is worth seeing. A file whose header cannot be
// read, or a reader that gives up (PNG, GIF and others stop at the damage), is an invalid
// picture.
QImage readWithQt(PictureFile& file, const QtHeader& h, int eighths, QImage image, bool* animated) {
    file.rewind();
    QImageReader reader(&file.device());
    setUp(reader, h.format);
    if (h.index > 0 && !reader.jumpToImage(h.index))
        throw invalidPicture();
    if (eighths < 8)
        reader.setScaledSize(scaledSize(h.size, eighths));
    // The frame count of a GIF comes from a scan of its blocks, not from decoding them.
    *animated = plays(h.format) && reader.supportsAnimation() && reader.imageCount() > 1 &&
                file.size() <= AnimationFileCap;
    if (!reader.read(&image) || image.isNull())
        throw invalidPicture();
    if (h.ownTurn)
        image = formats::turned(std::move(image), h.transformation);
    return toDisplayFormat(image);
}

JobReply QtReaderFormat::size(PictureFile& file, const FormatJob& job) const {
    JobReply r;
    r.format = job.format;
    if (readsAsSvg(file, job.format)) {
        if (!job.drawing) {
            r.flags = JobReply::HostOnly;
            return r;
        }
        file.hold(job.budget);
        r = decode(file, FormatJob{job.format, job.budget, true, QSize(), 0});
        r.image = QImage();
        return r;
    }
    const QtHeader h = readQtHeader(file, job.format);
    if (h.size.isValid()) {
        r.naturalSize = h.turned ? h.size.transposed() : h.size;
        return r;
    }
    file.hold(job.budget);
    r = decode(file, FormatJob{job.format, job.budget, false, QSize(), 0});
    r.image = QImage();
    return r;
}

JobReply QtReaderFormat::decode(PictureFile& file, const FormatJob& job) const {
    if (!job.drawing && readsAsSvg(file, job.format)) {
        JobReply r;
        r.flags = JobReply::HostOnly;
        return r;
    }
    const QtHeader h = readQtHeader(file, job.format);
    // Qt's reader may tell a format no magic number claimed (a JPEG among them): its pixels are
    // read as that format reads them.
    const auto* named = dynamic_cast<const QtReaderFormat*>(namedFormat(h.format));
    return (named != nullptr ? *named : *this).decodeRead(file, h, job);
}

JobReply QtReaderFormat::decodeRead(PictureFile& file, const QtHeader& h,
                                    const FormatJob& job) const {
    int components = 0;
    JobReply r = replyFor(file, h, &components);
    // The bytes kept with the picture count against the budget, as its pixels do.
    const qint64 budget = job.budget - file.size();
    if (h.size.isValid())
        requireMemoryFor(h.size, budget);
    limitQtAllocation(budget);
    bool animated = false;
    r.image = readWithQt(file, h, 8, QImage(), &animated);
    if (animated)
        r.flags |= JobReply::Animated;
    r.naturalSize = r.image.size();
    return r;
}

LUMORRA_LISTED_FORMAT(QtReaderFormat, QtReaders)

const PictureFormat& qtReaderFormat() {
    return listed::QtReaderFormat();
}

} // namespace lumorra::picture
