#pragma once

// Reading the colour profile a picture file carries. Not part of the loader's interface.

#include <QByteArray>
#include <QIODevice>

namespace lumorra::picture {

// The ICC profile embedded in a JPEG (APP2 "ICC_PROFILE" segments), PNG (iCCP), WebP (ICCP) or
// TIFF (tag 34675) file; empty when it has none, for other formats and for a damaged one. Reads
// the header only, never the pixels; the read position is left anywhere. For a JPEG,
// `jpegComponents` gets the number of colour components of its frame (4 for CMYK and YCCK).
QByteArray embeddedProfile(QIODevice& file, const QByteArray& format,
                           int* jpegComponents = nullptr);

// The largest profile read; real ones are a few kilobytes, LUT profiles up to about a megabyte.
inline constexpr int ProfileByteCap = 4 << 20;

} // namespace lumorra::picture
