#pragma once

// Windows metafiles, drawn by libwmf's raster renderer. libwmf's headers stay inside
// WmfReader.cpp: they declare wmf_free(), which the EMF library declares differently.

#include "picture/Decoding.h"

#include <QByteArray>
#include <QSize>

namespace lumorra::picture {

// The size a WMF is shown at: its extent at 96 pixels per inch, as libwmf scans it (in a drawing
// worker). Throws 481 for a damaged file.
QSize wmfNaturalSize(const QByteArray& data);

// Draws a WMF into a raster of `size`, or of its natural size within the metafile raster limit
// when `size` is empty.
// Runs the library in this process: the loader calls it in a drawing worker (Sandbox.h).
MetafileDrawing drawWmf(const QByteArray& data, QSize size);

} // namespace lumorra::picture
