// Camera RAW pictures, read with LibRaw (RawDecoder.cpp): those of a signature of their own, and
// those built on TIFF, which a TIFF's claim gives way to by their content.

#include "PictureFormat.h"
#include "QtReaderFormat.h"
#include "RawDecoder.h"
#include "picture/ImageBuffer.h"
#include "picture/sandbox/PictureJobs.h"
#include "picture/sandbox/SandboxChannel.h"

#include <limits>

namespace lumorra::picture {
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
        if (sniff(file.head(SniffHeadBytes), file.tail(SniffTailBytes)).qtFormat != "jpeg")
            return {};
        // A preview that has an orientation of its own (LibRaw writes the RAW's into one that
        // has no EXIF block) is turned by it; another, as the RAW says.
        const bool turnsItself = !readQtHeader(file, "jpeg").upright;
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

class Raw final : public PictureFormat {
public:
    // Before TIFF, whose files those built on it are.
    Raw() : PictureFormat(80, {"raw"}) {}

    // The formats of a signature of their own (Olympus, Panasonic, Fujifilm, Canon's CRW and
    // CR3, Minolta, Sigma).
    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        const auto starts = [&](QByteArrayView magic, int at = 0) {
            return hasMagic(h, magic, at);
        };
        const bool raw = starts("IIRO") || starts("IIRS") || starts("MMOR") ||
                         starts({"IIU\0", 4}) || starts("FUJIFILMCCD-RAW") ||
                         starts("HEAPCCDR", 6) || starts({"\0MRM", 4}) || starts("FOVb") ||
                         (starts("ftyp", 4) && starts("crx ", 8));
        return raw ? "raw" : QByteArray();
    }

    // A TIFF is a camera's RAW when LibRaw says so, its bytes held to tell (isCameraRaw()).
    bool takesOver(PictureFile& file, QByteArrayView claimed, qint64 budget) const override {
        if (claimed != "tiff" || !mayBeCameraRaw(file.head(RawSniffBytes)))
            return false;
        file.holdMapped(budget);
        return isCameraRaw(file.heldBytes());
    }

    // A TIFF built by a camera by the hints of its first directory; the worker decides.
    qint32 libraries(QByteArrayView head, QByteArrayView claimed) const override {
        const bool raw = claimed == "raw" || (claimed == "tiff" && mayBeCameraRaw(head));
        return raw ? channel::RawLibrary : 0;
    }

    // The header is read from the file mapped: its pixels are never read.
    JobReply size(PictureFile& file, const FormatJob& job) const override {
        file.holdMapped(job.budget);
        JobReply r;
        r.format = "raw";
        r.naturalSize = readRawHeader(file.heldBytes()).size;
        return r;
    }

    JobReply decode(PictureFile& file, const FormatJob& job) const override {
        return decodeRaw(file, job.shown, job.budget, job.memory);
    }
};

} // namespace

LUMORRA_LISTED_FORMAT(RawFormat, Raw)

} // namespace lumorra::picture
