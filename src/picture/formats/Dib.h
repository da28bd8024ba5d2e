#pragma once

// The device-independent bitmap inside BMP files and icon entries. Not part of the decoders'
// interface.

#include "Support.h"

namespace lumorra::formats {

struct DibPlace {
    qsizetype header = 14; // where the bitmap's information header starts
    qsizetype pixels = -1; // where its pixels start; -1: right after the colour table
    bool icon = false;     // an icon entry: twice the height, the XOR picture and an AND mask
};

// The bitmap's size as stored in its header (for an icon entry, without the mask), and its
// bits a pixel; throws 481 for a header it does not read.
QSize dibSize(QByteArrayView bytes, qsizetype header, bool icon, int* bits = nullptr);

// Decodes the bitmap, turned upright.
QImage decodeDib(QByteArrayView bytes, const DibPlace& place, qint64 budget);

} // namespace lumorra::formats
