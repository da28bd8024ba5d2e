#pragma once

// What a worker that draws a drawing (WMF, EMF, SVG) readies before it confines itself
// (Confinement.h). Not part of the loader's interface.

#include <QByteArrayList>

namespace lumorra::picture {

// Makes Qt ready to draw text on an offscreen platform and reads the font configuration and the
// fonts' list, while files may still be opened; returns the paths the drawing libraries open
// their fonts and font maps from. False in `ok` when the process has more than one thread
// afterwards: the filter would not hold for the others.
QByteArrayList prepareDrawing(bool* ok);

} // namespace lumorra::picture
