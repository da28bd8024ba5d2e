#pragma once

// Enhanced metafiles, turned into SVG by libemf2svg and drawn with Qt SVG. libemf2svg's headers
// stay inside EmfReader.cpp: the EMF library declares a wmf_free() of its own, unlike libwmf's.

#include "picture/Decoding.h"

#include <QByteArray>
#include <QSize>

namespace lumorra::picture {

// The size an EMF is shown at, from its header alone: the bounds, or where those are empty the
// frame at the recording device's resolution. `header` is the file's start (at least its first
// 88 bytes), `fileSize` the whole file's. Throws 481 for a damaged header.
QSize emfNaturalSize(const QByteArray& header, qint64 fileSize);
// How many of the file's first bytes emfNaturalSize() needs.
inline constexpr int EmfHeaderBytes = 88;

// Draws an EMF into a raster of `size`, or of its natural size within the metafile raster limit
// when `size` is empty.
// Runs the library in this process: the loader calls it in a drawing worker (Sandbox.h).
MetafileDrawing drawEmf(const QByteArray& data, QSize size);

} // namespace lumorra::picture
