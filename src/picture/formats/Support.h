#pragma once

// What the decoders share. Not part of their interface.

#include "Formats.h"
#include "picture/Decoding.h"
#include "platform/Error.h"

#include <QImageIOHandler>
#include <QtEndian>

#include <cstring>

namespace lumorra::formats {

inline Error invalid() {
    return picture::invalidPicture();
}
inline Error tooLarge() {
    return picture::outOfMemory();
}

// Throws 481 for an empty size, 7 when a 32-bit picture of this size does not fit in `budget`.
inline void requirePixels(QSize size, qint64 budget) {
    picture::requireMemoryFor(size, budget);
}
// A new image of this size and format, filled with `fill`; checked against the budget first.
QImage newPicture(QSize size, QImage::Format format, qint64 budget, uint fill = 0);

// The size shown of a picture stored at `stored`.
QSize uprightSize(QSize stored, int orientation);
// The picture turned upright; throws 7 when there is no memory for the copy.
QImage turnedUpright(QImage image, int orientation);

// Bounds-checked reads of numbers from the bytes; 0 past their end.
inline quint8 u8(QByteArrayView b, qsizetype at) {
    return at >= 0 && at < b.size() ? quint8(b[at]) : 0;
}
template <class T> T le(QByteArrayView b, qsizetype at) {
    return picture::littleEndian<T>(b, at);
}
template <class T> T be(QByteArrayView b, qsizetype at) {
    return picture::bigEndian<T>(b, at);
}

// A value of `bits` bits (at most 32) scaled to 8 bits.
inline quint8 scaleTo8(quint32 value, int bits) {
    if (bits <= 0)
        return 0;
    if (bits == 8)
        return quint8(value);
    const quint64 max = (quint64(1) << bits) - 1;
    return quint8((quint64(value) * 255 + max / 2) / max);
}

} // namespace lumorra::formats
