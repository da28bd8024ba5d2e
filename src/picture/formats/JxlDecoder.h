#pragma once

// JPEG XL pictures, read with libjxl. Not part of the loader's interface.

#include "picture/Decoding.h"

#include <QSize>

namespace lumorra::picture {

// The natural size, turned as the picture's orientation says, from the codestream's header
// alone: no pixel is decoded. Throws 481 for a file libjxl cannot read.
QSize jxlSize(PictureFile& file);

// Decodes the picture (the first frame of an animation) in full, turned, in this process (a
// decoder worker). Throws 7 when it does not fit in `budget` bytes (before anything is decoded),
// 481 for a damaged file.
DecodedPicture decodeJxl(PictureFile& file, qint64 budget);

} // namespace lumorra::picture
