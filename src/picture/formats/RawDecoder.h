#pragma once

// Camera RAW pictures, read with LibRaw from the file's bytes alone: no file is opened, nothing
// is kept between calls, and every function may run in any process. LibRaw is loaded when the
// first RAW picture is read. Not part of the loader's interface.

#include "picture/Decoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>

namespace lumorra::picture {

// Loads LibRaw now, where it is not loaded yet, and the local time zone it dates previews with: a
// decoder worker does so before it confines itself, as both open files. Sets TZ where it is not
// set: for a process of one thread. A library that cannot be loaded is left to the first read.
void loadRawLibrary();

// How many bytes of a TIFF file mayBeCameraRaw() wants to see.
inline constexpr int RawSniffBytes = 64 * 1024;

// Whether a file with a TIFF signature looks like a camera's RAW from its first bytes: a DNG
// version, a camera maker's name or a raw maker's marker in its first directory. Only a hint:
// isCameraRaw() decides.
bool mayBeCameraRaw(QByteArrayView head);

// Whether the bytes are a camera RAW picture: one of the RAW formats of their own signature
// (sniff() says "raw"), or a TIFF-based one that LibRaw opens as a DNG or as sensor data behind
// a colour filter array. A plain TIFF is not one.
bool isCameraRaw(const QByteArray& bytes);

// What a RAW file's header says, without a pixel decoded.
struct RawHeader {
    QSize size;   // the full decode's size, upright
    int flip = 0; // LibRaw's orientation: 3 half a turn, 5 a quarter anticlockwise, 6 clockwise
    QSize previewSize; // the embedded preview's stored size; empty when it has none
};
// Throws 481 for bytes LibRaw does not read as a RAW picture, 7 for one it has no memory for.
RawHeader readRawHeader(const QByteArray& bytes);

// Throws 7 when the full decode of a RAW picture of this header does not fit in `budget` bytes
// for its pixels and `working` bytes for LibRaw's own buffers; 481 for an empty size.
void requireRawMemory(const RawHeader& header, qint64 budget, qint64 working);

// The embedded JPEG preview, as stored (not turned), when it is worth showing instead of the
// raw data: at least half the full decode's size on each side. Empty otherwise. Where the file
// keeps it as it is, the bytes returned are those of `bytes`, not a copy: they must not outlive
// them. Otherwise LibRaw's copy, which carries the RAW's orientation.
QByteArray rawPreview(const QByteArray& bytes, const RawHeader& header);

// A picture stored as `flip` says, turned upright.
QImage rawUpright(const QImage& image, int flip);

// Decodes the raw data in full into `out` (RGB32, of the header's size): demosaiced, white
// balanced as shot, in sRGB, upright. Throws 481 for damaged data or a size other than out's,
// 7 when LibRaw runs out of memory.
void decodeRawInto(const QByteArray& bytes, QImage& out);

// The same into an image of its own, in this process.
DecodedPicture decodeRaw(const QByteArray& bytes);

} // namespace lumorra::picture
