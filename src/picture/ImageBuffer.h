#pragma once

#include <QImage>
#include <QSize>

namespace lumorra {

// A new, uninitialised image of this size and format (null when there is no memory for it).
// Large ones get memory of their own in huge pages where the system offers them: a photo's
// pixels then cost a handful of page faults instead of one per 4 KB, which is most of the time
// a decode or a scale takes on a loaded machine.
QImage newImage(QSize size, QImage::Format format);

// Where newImage() takes its images from instead, in a process that hands its pictures to
// another one (a decoder worker: memory the program maps); nullptr for its own memory.
using ImageAllocator = QImage (*)(QSize size, QImage::Format format);
void setImageAllocator(ImageAllocator allocator);

// Converts a decoded image to ARGB32 (with an alpha channel) or RGB32 (without), the formats
// the picture views draw. Throws Error 7 when there is no memory for the copy.
QImage toDisplayFormat(const QImage& image);

} // namespace lumorra
