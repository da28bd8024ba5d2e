#pragma once

// HEIF (HEVC) and AVIF (AV1) pictures, read with libheif. Not part of the loader's interface.

#include "picture/Decoding.h"

#include <QSize>

namespace lumorra::picture {

// The natural size of the file's primary picture, turned and cropped as it is shown, from the
// file's boxes alone: no pixel is decoded. Throws 481 for a file libheif cannot read.
QSize heifSize(PictureFile& file);

// Decodes the primary picture in full, turned and cropped as it is shown, in this process (a
// decoder worker). Throws 7 when it does not fit in `budget` bytes (before anything is decoded),
// 481 for a damaged file.
DecodedPicture decodeHeif(PictureFile& file, qint64 budget);

} // namespace lumorra::picture
