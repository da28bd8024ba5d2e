#pragma once

// The formats Qt's image readers read, and what no format claims: PNG, GIF and WebP by their
// magic numbers, SVG and whatever else a reader of Qt's or of a plugin takes by its own sniff.
// JPEG derives from it for its own ways with the pixels. Not part of the loader's interface.

#include "PictureFormat.h"

#include <QImageIOHandler>
#include <QImageReader>

namespace lumorra::picture {

// What a Qt reader learns from a picture's header.
struct QtHeader {
    QByteArray format;   // Qt's name for it
    QSize size;          // as stored, before the turn; invalid when the reader cannot tell
    bool turned = false; // the EXIF orientation swaps width and height
    bool upright = true; // stored upright: no EXIF orientation to apply
    QImageIOHandler::Transformations transformation;
    bool ownTurn = false; // the orientation is the container's, which Qt's reader does not apply
    int index = 0;        // the image of a multi-image file to show
};

class QtReaderFormat : public PictureFormat {
public:
    using PictureFormat::PictureFormat;

    JobReply size(PictureFile& file, const FormatJob& job) const override;
    // Reads the header, then the pixels as the format of Qt's name for the file does
    // (decodeRead()).
    JobReply decode(PictureFile& file, const FormatJob& job) const override;

protected:
    // The picture of a header read: the pixels from Qt's reader, in full.
    virtual JobReply decodeRead(PictureFile& file, const QtHeader& h, const FormatJob& job) const;
};

// Reads the header with a reader of its own (a reader that has answered size() does not always
// decode afterwards). `sniffed` is the format claimed, empty for Qt to tell by the content.
QtHeader readQtHeader(PictureFile& file, const QByteArray& sniffed);
// The reply's start for the picture of `h`: its format, whether it is turned, its embedded colour
// profile (`components` gets the number of colour components the file stores, where it says).
JobReply replyFor(PictureFile& file, const QtHeader& h, int* components);
// Qt refuses pictures above 256 MB by default. Its limit is one for the whole process in Qt 6;
// it is set to the budget before each decode, which also guards the formats whose header tells
// no size.
void limitQtAllocation(qint64 budget);
// The pixels from Qt's reader, at `eighths` eighths of the size (scaledSize()), into `image`
// where it is of the right size and format; turned upright, in the display format. Throws 481
// where the reader gives up. `animated` tells whether the file is an animation to play.
QImage readWithQt(PictureFile& file, const QtHeader& h, int eighths, QImage image, bool* animated);

} // namespace lumorra::picture
