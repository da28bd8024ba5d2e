#include "PictureJobs.h"

#include "picture/PictureLoader.h"
#include "picture/formats/AnimationFrames.h"
#include "picture/formats/Formats.h"
#include "picture/formats/PictureDetails.h"
#include "picture/formats/PictureFormat.h"

namespace lumorra::picture {
namespace {

// The largest file whose camera details are read: the whole file is read into memory for them.
constexpr qint64 DetailsFileCap = qint64(256) << 20;

// Tells a file's format from its content.
Sniffed sniffFile(PictureFile& file) {
    return sniff(file.head(SniffHeadBytes), file.tail(SniffTailBytes));
}

// The format that reads a file: the one that claims it by its first and last bytes, unless
// another takes it over by its content (a camera RAW built on TIFF), which may hold the file
// within `budget` to tell; Qt's readers for a file no format claims.
const PictureFormat& formatOf(PictureFile& file, const Sniffed& s, qint64 budget) {
    for (const PictureFormat* format : pictureFormats()) {
        if (format->takesOver(file, s.qtFormat, budget))
            return *format;
    }
    return s.format != nullptr ? *s.format : qtReaderFormat();
}

} // namespace

QImage upright(QImage image, QImageIOHandler::Transformations t) {
    return formats::turned(std::move(image), t);
}

JobReply decodeJob(PictureFile& file, QSize shown, qint64 budget, bool hostOnly, qint64 memory) {
    Q_ASSERT(file.isHeld());
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    if (s.kind != Kind::Image)
        throw invalidPicture(); // metafiles have readers of their own
    const FormatJob job{s.qtFormat, budget, hostOnly, shown, memory};
    return formatOf(file, s, budget).decode(file, job);
}

namespace {

JobReply sizeJob(PictureFile& file, qint64 budget, bool drawing) {
    if (file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    return formatOf(file, s, budget).size(file, FormatJob{s.qtFormat, budget, drawing, QSize(), 0});
}

// A WMF or EMF drawn; in a drawing worker only, where the libraries may open their fonts.
JobReply metafileJob(const QByteArray& bytes, QSize shown, bool drawing) {
    PictureFile file(bytes);
    if (!drawing || file.size() == 0)
        throw invalidPicture();
    const Sniffed s = sniffFile(file);
    if (s.format == nullptr)
        throw invalidPicture();
    return s.format->draw(bytes, shown);
}

JobReply regionJob(const QByteArray& bytes, QRect region, qint64 budget) {
    PictureFile file(bytes);
    const Sniffed s = file.size() > 0 ? sniffFile(file) : Sniffed();
    if (s.format == nullptr)
        throw invalidPicture();
    return s.format->region(file, region, budget);
}

} // namespace

std::unique_ptr<FrameReader> openFrames(const QByteArray& bytes, qint64 budget) {
    const Sniffed s = sniff(bytes.left(SniffHeadBytes), bytes.right(SniffTailBytes));
    if (s.format == nullptr)
        throw invalidPicture();
    return s.format->frames(bytes, s.qtFormat, budget);
}

namespace {

// The size a picture is decoded for: the one asked for, or the one its natural size fits into
// the bounds at. A picture whose size cannot be told from its header is decoded in full.
QSize shownSize(PictureFile& file, const JobRequest& request) {
    if (!request.fitBounds.isValid())
        return request.shown;
    try {
        const QSize natural =
            sizeJob(file, request.budget, request.kind == WorkerKind::Drawing).naturalSize;
        return fittedSize(natural, FitBounds{request.fitBounds, request.fitRatio});
    } catch (const Error&) {
        return QSize();
    }
}

} // namespace

JobReply runPictureJob(const JobRequest& request) {
    const bool drawing = request.kind == WorkerKind::Drawing;
    switch (request.job) {
    case Job::Decode: {
        PictureFile file(request.bytes);
        return decodeJob(file, shownSize(file, request), request.budget, drawing, request.memory);
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
