// JPEG: Qt's reader tells the header; libjpeg decodes the pixels of an upright photo, reduced or
// whole, straight into the display format (Qt's reader converts each row from three bytes a
// pixel), the ink of a CMYK one, and the regions of a large one at full size. Turned photos, and
// what libjpeg refuses, such as a truncated file, go to Qt's reader.

#include "JpegDecoder.h"
#include "QtReaderFormat.h"
#include "picture/ImageBuffer.h"
#include "picture/PictureLoader.h"
#include "picture/colour/EmbeddedProfile.h"
#include "picture/sandbox/PictureJobs.h"
#include "picture/sandbox/SandboxChannel.h"

namespace lumorra::picture {
namespace {

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

// The pixels at `eighths` eighths: from libjpeg where the photo is upright and libjpeg decodes
// it, from Qt's reader otherwise.
QImage readPixels(PictureFile& file, const QtHeader& h, int eighths) {
    if (h.upright) {
        QImage image = decodeJpeg(file.heldBytes(), eighths);
        if (!image.isNull())
            return image;
    }
    // Qt's JPEG reader decodes into an image of the right size and format it is given.
    QImage image;
    if (eighths >= 8 && h.size.isValid())
        image = newImage(h.size, QImage::Format_RGB32);
    bool animated = false;
    return readWithQt(file, h, eighths, std::move(image), &animated);
}

// CMYK photos: libjpeg gives the ink, the program's colour transform makes it RGB (Qt's reader
// would take the ink off white without the picture's profile). The ink goes into `r`; a
// four-component picture that is not ink comes back upright, as it is; a null image where
// libjpeg does not decode it.
QImage readInk(PictureFile& file, const QtHeader& h, int eighths, JobReply& r) {
    JpegInk ink;
    const QImage raw = decodeJpeg(file.heldBytes(), eighths, &ink);
    if (!raw.isNull() && ink.cmyk) {
        r.image = raw;
        r.flags |= JobReply::CmykInk | (ink.inverted ? quint32(JobReply::InkInverted) : 0u);
        r.transformation = quint32(h.transformation.toInt());
        return {};
    }
    if (raw.isNull())
        return {};
    QImage image = upright(raw, h.transformation);
    r.colour.icc.clear();
    return image;
}

class Jpeg final : public QtReaderFormat {
public:
    Jpeg() : QtReaderFormat(30, {"jpeg"}) {}

    QByteArray claims(QByteArrayView h, QByteArrayView) const override {
        return hasMagic(h, {"\xFF\xD8\xFF", 3}) ? "jpeg" : QByteArray();
    }
    // Of Qt's image format plugins, a JPEG needs the JPEG one alone.
    qint32 libraries(QByteArrayView, QByteArrayView claimed) const override {
        return claimed == "jpeg" ? channel::JpegReaderOnly : 0;
    }

    JobReply region(PictureFile& file, QRect region, qint64 budget) const override;

protected:
    JobReply decodeRead(PictureFile& file, const QtHeader& h, const FormatJob& job) const override;
};

JobReply Jpeg::decodeRead(PictureFile& file, const QtHeader& h, const FormatJob& job) const {
    int components = 0;
    JobReply r = replyFor(file, h, &components);
    // libjpeg decodes at eighths of the size directly from the coefficients.
    int eighths = 8;
    if (h.size.isValid() && job.shown.isValid())
        eighths = scaleFor(h.turned ? h.size.transposed() : h.size, job.shown);
    // The bytes kept with the picture count against the budget, as its pixels do.
    const qint64 budget = job.budget - file.size();
    // A photo too large to hold in full is decoded at the least reduction that fits: it is
    // shown, and a zoom shows its regions decoded at full size from its bytes.
    if (h.size.isValid()) {
        if (!fitsInMemory(h.size, budget))
            r.flags |= JobReply::FitsOnlyReduced;
        while (eighths > 1 && !fitsInMemory(scaledSize(h.size, eighths), budget))
            eighths = eighths > 4 ? 4 : eighths / 2;
        requireMemoryFor(scaledSize(h.size, eighths), budget);
    }
    limitQtAllocation(budget);
    const QImage image = components == 4 ? readInk(file, h, eighths, r) : QImage();
    const bool ink = (r.flags & JobReply::CmykInk) != 0;
    if (!ink)
        r.image = image.isNull() ? readPixels(file, h, eighths) : image;
    const QSize decoded = ink && h.turned ? r.image.size().transposed() : r.image.size();
    r.naturalSize = eighths < 8 ? (h.turned ? h.size.transposed() : h.size) : decoded;
    if (components != 4 && jpegRegionsAreCheap(file.heldBytes()))
        r.flags |= JobReply::RegionsDecodable;
    return r;
}

JobReply Jpeg::region(PictureFile& file, QRect region, qint64 budget) const {
    const QtHeader h = readQtHeader(file, "jpeg");
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
    QImage image = decodeJpegRegion(file.heldBytes(), storedRect(region, h.size, h.transformation));
    if (image.isNull())
        throw invalidPicture();
    r.image = upright(image, h.transformation);
    r.naturalSize = natural;
    return r;
}

} // namespace

LUMORRA_LISTED_FORMAT(JpegFormat, Jpeg)

} // namespace lumorra::picture
