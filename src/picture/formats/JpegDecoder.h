#pragma once

// The JPEG decoder for the screen. Not part of the loader's interface.

#include <QByteArray>
#include <QImage>
#include <QRect>

namespace lumorra::picture {

// Decodes the JPEG file whose bytes are `bytes` with libjpeg at `eighths` eighths of its size
// (1 to 8, the sizes rounded up as libjpeg does: scaledSize()) into an RGB32 image in memory of
// its own, with libjpeg's default, exact settings: at 1/2, 1/4, 1/8 and in full the same pixels
// Qt's reader gives at that scale, in about half its time. A file that ends early is filled grey,
// as Qt's reader does. Returns a null image for what it does not decode this way (CMYK, damage
// libjpeg stops at, no memory): Qt's reader then decides. Safe to call from several threads at
// once.
//
// With `ink`, CMYK and YCCK pictures are decoded too: the image then holds the ink as stored,
// four bytes a pixel (C, M, Y, K), for the colour transform, and `ink` tells which it is.
struct JpegInk {
    bool cmyk = false;
    bool inverted = false; // 255 is no ink, as Adobe's programs store it
};
QImage decodeJpeg(const QByteArray& bytes, int eighths, JpegInk* ink = nullptr);

// The rectangle `region` of an RGB or grey JPEG, at full size, as decodeJpeg() gives those
// pixels: the rows above it are skipped and only the columns of blocks it covers are decoded.
// A null image for a CMYK picture, a region outside the picture, damage or no memory.
QImage decodeJpegRegion(const QByteArray& bytes, QRect region);

// Whether decodeJpegRegion() decodes regions of this JPEG cheaply: an RGB or grey picture
// stored in one sequential scan. A progressive one is held whole in coefficients to be decoded
// at all, which costs as much memory as its pixels.
bool jpegRegionsAreCheap(const QByteArray& bytes);

} // namespace lumorra::picture
