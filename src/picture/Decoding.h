#pragma once

// Pieces the picture readers share. Not part of the loader's interface.

#include "ImageBuffer.h"
#include "picture/colour/Colour.h"
#include "platform/Error.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtEndian>

#include <cstring>

namespace lumorra::picture {

class PictureFormat;

// However much memory is free, one picture never takes more than this.
inline constexpr qint64 PictureByteCap = qint64(2) << 30;
// A metafile loaded at its natural size is drawn into at most this many pixels on its long
// side; the viewer draws it afresh at the size it shows.
inline constexpr int MetafileRasterLimit = 4096;
// Metafiles are read whole into memory; none worth showing comes near this.
inline constexpr qint64 MetafileFileCap = qint64(256) << 20;
// An animation's file is kept in memory to play it from; a larger one shows its first frame.
inline constexpr qint64 AnimationFileCap = qint64(256) << 20;

// The bytes of a T at `at` in `bytes`, in their stored order; 0 where the bytes end first.
template <class T> T storedAt(QByteArrayView bytes, qsizetype at) {
    T value = 0;
    if (at < 0 || bytes.size() - at < qsizetype(sizeof(T)))
        return 0;
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}
// A little-endian number at `at` in `bytes`; 0 where the bytes end first.
template <class T> T littleEndian(QByteArrayView bytes, qsizetype at) {
    return qFromLittleEndian(storedAt<T>(bytes, at));
}
// A big-endian number at `at` in `bytes`; 0 where the bytes end first.
template <class T> T bigEndian(QByteArrayView bytes, qsizetype at) {
    return qFromBigEndian(storedAt<T>(bytes, at));
}

Error invalidPicture();
Error outOfMemory();

// How many bytes a decoded picture may take now: half the memory the system has available,
// within PictureByteCap.
qint64 pictureByteBudget();
// Throws Error 7 when a 32-bit picture of this size does not fit in the budget, 481 for an
// empty size.
void requireMemoryFor(QSize size, qint64 budget = pictureByteBudget());

// What a metafile library may allocate while it reads one file: a raster within the budget,
// and room for its own records.
qint64 childMemory();

// The raster a metafile of this natural size is drawn into when loaded.
QSize metafileRaster(QSize natural);

// A metafile drawn into a raster, and the size it is shown at.
struct MetafileDrawing {
    QSize naturalSize;
    QImage image; // ARGB32
};

// A picture from one of the loader's own decoders (HEIF and AVIF, JPEG XL), decoded in full.
struct DecodedPicture {
    QImage image;          // upright; ARGB32 (not premultiplied) with alpha, RGB32 without
    QSize naturalSize;     // the image's size
    ColourSource colour;   // how the pixels are meant; the loader converts them for the screen
    bool animated = false; // the first frame of an animation (JPEG XL)
};

// A picture file opened for reading, or a file's bytes held in memory. Only regular files are
// read: a fifo or a device would block or never end.
class PictureFile {
public:
    explicit PictureFile(const QString& path); // throws the errno Error, 481 for a non-file
    // The bytes of a file read before: everything reads them and nothing touches the disk.
    explicit PictureFile(const QByteArray& bytes);
    // A file opened before, by its descriptor, which it takes over (a decoder worker's).
    explicit PictureFile(int descriptor);
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    QIODevice& device() { return *device_; }
    // The file's descriptor, -1 for bytes held.
    int descriptor() const { return isHeld() ? -1 : file_.handle(); }
    qint64 size() const { return size_; }
    // The first bytes, for telling the format; the read position is left at the start.
    QByteArray head(int length);
    // The last bytes, the same way.
    QByteArray tail(int length);
    // The whole file; throws Error 7 when it is larger than `cap`. Held bytes are shared, not
    // copied.
    QByteArray readAll(qint64 cap);
    // Reads the whole file into memory, from where everything after reads it; throws Error 7
    // when it is larger than `cap`. The bytes are what the picture is decoded from, and what it
    // keeps for its full decode later, whatever becomes of the file.
    void hold(qint64 cap);
    // Holds the file by mapping it, not reading it: only the pages a reader looks at are read,
    // as a camera RAW's header is read for its size. For a decoder worker alone, where a file
    // cut short under the mapping ends the worker, not the program. The bytes held must not
    // outlive this. Reads the file as hold() does where it cannot be mapped.
    void holdMapped(qint64 cap);
    // Holds the bytes of `copy`, a sealed copy of the file (a worker's), read from it: the bytes
    // held are then those the worker decodes, whatever becomes of the file.
    void holdCopy(int copy);
    bool isHeld() const { return device_ == &buffer_; }
    // The bytes held, empty when the file is read from the disk.
    const QByteArray& heldBytes() const { return buffer_.data(); }
    void rewind();

private:
    QFile file_;
    QBuffer buffer_;
    QIODevice* device_ = &file_;
    void held(const QByteArray& bytes);

    qint64 size_ = 0;
    void* mapped_ = nullptr;
};

// What a file's first bytes say it is.
enum class Kind { Wmf, Emf, Image };
struct Sniffed {
    Kind kind = Kind::Image;
    QByteArray qtFormat; // for Kind::Image: the Qt reader's format, empty when unknown; "raw"
                         // for a camera RAW that is not TIFF-based
    const PictureFormat* format = nullptr; // the format that claimed it, null for none
};
// `head` is the file's first bytes, `tail` its last (a TGA file tells itself at its end). The
// formats are asked in their sniff order (PictureFormat.h).
Sniffed sniff(const QByteArray& head, const QByteArray& tail);
// How many bytes of each end sniff() looks at. (The file type box of a HEIF or AVIF file, with
// its brands, fits in the head.)
inline constexpr int SniffHeadBytes = 128;
inline constexpr int SniffTailBytes = 18;

} // namespace lumorra::picture
