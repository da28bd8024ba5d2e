#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

namespace lumorra {

class ColourTransforms;
namespace picture {
class DecoderPool;
}

// A decoded picture. The image is implicitly shared: copies of a Picture share its pixels.
struct Picture {
    QImage image;      // Format_ARGB32 or Format_RGB32, already turned upright
    QSize naturalSize; // the size the picture is shown at, in pixels
    QString format;    // "jpeg", "png", "bmp", "gif", "ico", "wmf", "emf", "svg", "heif", "avif",
                       // "jxl", "raw", ...
    // The file's bytes as they were read, still encoded: everything that needs the picture again
    // (in full after a reduced decode, a metafile drawn afresh) decodes it from these with
    // decodePicture(), never from the file, which may have been renamed, deleted or replaced
    // since. Implicitly shared.
    QByteArray bytes;
    // An animated GIF or WebP: the file's bytes, which the views play it from without reading
    // the file again (image is its first frame). Empty for a still picture. Shares `bytes`.
    QByteArray animation;
    // A photo larger than memory allows in full: decoded at the least reduction that fits,
    // however large it is shown; decodeRegion() gives its parts at full size.
    bool fitsOnlyReduced = false;
    // decodeRegion() decodes its parts without the rest: a sequential RGB or grey JPEG.
    bool regionsDecodable = false;
    // A camera RAW shown from the preview it carries: the full decode is to be had from bytes.
    bool fromPreview = false;
    // Stored turned: the image was turned upright as the picture's EXIF orientation says.
    bool turned = false;
    bool isNull() const { return image.isNull(); }
    bool isAnimation() const { return !animation.isEmpty(); }
    // Decoded smaller than its natural size (a photo decoded for the screen, a huge metafile),
    // or from a RAW's preview.
    bool isReduced() const { return image.size() != naturalSize || fromPreview; }
    // Metafiles are drawings: draw them afresh with renderPicture() to show them zoomed.
    bool isMetafile() const;
};

// Every decode of a file's bytes runs in a worker of `pool`, the program's decoder workers
// (picture/sandbox/Sandbox.h), made once by the program and passed to whoever decodes.

// Loads a picture file, its format told by its content rather than its name. The file is read
// once, whole; the picture keeps its bytes. Throws Error: the errno error when the file cannot
// be opened (2 "No such file or directory", 13 "Permission denied"), 481 "Invalid picture" for
// an empty, unknown, corrupt or unreadable file, 7 "Out of memory" for a picture (its decoded
// pixels and the bytes kept) too large to hold. Metafiles come drawn at their natural size, or
// smaller when that size is huge (naturalSize stays true then).
Picture loadPicture(picture::DecoderPool& pool, const QString& path);

enum class MetafilePolicy { Load, Refuse };

// Loads a picture for showing at `shown` pixels or less (aspect kept): a JPEG larger than that
// is decoded by libjpeg at the smallest of 1/2, 1/4 and 1/8 that still covers it, which is much
// faster and smaller; naturalSize stays the file's own. A camera RAW is shown from the JPEG
// preview it carries where that covers `shown`, and decoded in full otherwise. An invalid `shown`
// decodes in full. MetafilePolicy::Refuse throws Error 481 for a WMF or EMF instead of starting
// their reader, for callers on a thread of their own. Safe to call from several threads at once.
//
// A picture that carries a colour profile (or is CMYK) comes converted to the screen's colour
// space through `colour`; without it, to sRGB (for what leaves the program: a BMP, the
// clipboard). A picture without a profile is sRGB: on an sRGB screen its pixels are untouched.
Picture loadPicture(picture::DecoderPool& pool, const QString& path, QSize shown,
                    MetafilePolicy metafiles = MetafilePolicy::Load,
                    const ColourTransforms* colour = nullptr);

// The same for a picture file's bytes read before (Picture::bytes): the picture decoded from
// them alone, as loadPicture() decodes the file they came from, orientation and colour
// transform included. Throws 481 for empty or invalid bytes, 7 for a picture too large to hold.
Picture decodePicture(picture::DecoderPool& pool, const QByteArray& bytes, QSize shown = QSize(),
                      MetafilePolicy metafiles = MetafilePolicy::Load,
                      const ColourTransforms* colour = nullptr);

// A rectangle of the picture in `bytes` (an RGB or grey JPEG; Picture::bytes), in its natural
// pixels (turned upright as its EXIF orientation says), decoded at full size without decoding the
// rest of the picture's pixels, in the colours loadPicture() gives. Throws 481 for a picture it
// cannot decode this way or a rectangle outside it, 7 when the rectangle does not fit in memory.
QImage decodeRegion(picture::DecoderPool& pool, const QByteArray& bytes, QRect region,
                    const ColourTransforms* colour = nullptr);

// Whether a view that shows `picture` larger than it was decoded draws the regions it exposes,
// decoded at full size from the picture's bytes, rather than decoding the picture in full: for
// one too large to hold in full, and for a large photo, whose full decode costs far more time
// and memory than the screen's worth of it a zoom shows.
bool drawnFromRegions(const Picture& picture);

// The scale, in eighths of the natural size, a JPEG of natural size `natural` is decoded at to
// be shown within `shown` device pixels: the least of 8, 6, 5, 4, 2 and 1 that still holds as
// many pixels as are shown (libjpeg scales by eighths from the coefficients; 7/8 saves too little
// to pay for its slower transform). A photo shown at a little over half its size is decoded at
// 5/8 then: two fifths of the pixels, and of the memory, of the whole.
int scaleFor(QSize natural, QSize shown);
// The size a decode at `eighths` eighths gives, rounded up as libjpeg rounds it.
inline QSize scaledSize(QSize natural, int eighths) {
    return QSize((natural.width() * eighths + 7) / 8, (natural.height() * eighths + 7) / 8);
}

// Where a picture is to be shown shrunk to fit: within `bounds`, in pixels of the window, on a
// screen of `ratio` device pixels each.
struct FitBounds {
    QSize bounds;
    qreal ratio = 1;
    bool operator==(const FitBounds&) const = default;
};
// The device pixels a picture of natural size `natural` is shown at, shrunk to fit: its own size
// where it fits, else scaled into the bounds with its aspect kept. Invalid for an empty size or
// bounds.
QSize fittedSize(QSize natural, const FitBounds& fit);

// loadPicture() for showing shrunk to fit: the worker reads the natural size and decodes for
// fittedSize() of it in one job.
Picture loadFittedPicture(picture::DecoderPool& pool, const QString& path, const FitBounds& fit,
                          MetafilePolicy metafiles, const ColourTransforms* colour);

// The natural size alone, from the file's header where the format allows; throws like
// loadPicture() for a file it cannot read.
QSize pictureSize(picture::DecoderPool& pool, const QString& path);

// What a photo's EXIF tells of how it was taken, as text; a field is empty where the photo does
// not tell it.
struct PictureDetails {
    QString camera;       // make and model
    QString lens;         // the lens model
    QString focalLength;  // "50 mm"
    QString exposureTime; // "1/250 s", "2 s"
    QString aperture;     // "f/2.8"
    QString iso;          // "200"
    QDateTime taken;      // invalid when not told
    QString position;     // "48.85837° N, 2.29448° E"
    bool isEmpty() const;
};

// The details of the picture in the file, read in a decoder worker; empty for a file without
// EXIF, one that is no picture and one that cannot be read. Never throws.
PictureDetails pictureDetails(picture::DecoderPool& pool, const QString& path);

// Loads Qt's image format plugins. A picture read without its format told, as the widget style
// reads its own, makes Qt load and ask every plugin; on a thread once the window is on the
// screen this is done before a later read needs it.
void loadImageFormatPlugins();

// Reads the widget style's own pictures into the pixmap cache, under the names the style reads
// them by, with Qt's own PNG reader: the style's first paint then loads no image plugin. Call
// once the application object exists and before any other thread reads pictures.
void cacheStylePixmaps();

// The picture drawn at the given size: metafiles are drawn afresh at that size, other pictures
// are scaled. Throws like loadPicture(), and 5 "Invalid procedure call or argument" for an empty
// size.
QImage renderPicture(picture::DecoderPool& pool, const QString& path, QSize size,
                     const ColourTransforms* colour = nullptr);

// A metafile held in memory, "wmf" (with or without its placeable header) or "emf", drawn at
// `size` in a child process like a metafile file. Throws 481 for a damaged metafile, 5 for an
// empty size or another type, 7 when the drawing does not fit in memory.
QImage drawMetafile(picture::DecoderPool& pool, const QByteArray& data, const QString& type,
                    QSize size);

} // namespace lumorra
