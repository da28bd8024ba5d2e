#pragma once

#include "ui/PictureArea.h"

namespace lumorra {

class ColourTransforms;
struct Picture;

// Where a picture area gets more of a picture than the image it is given, all from the bytes
// read for the picture, never from its file: a metafile drawn afresh at the size shown, a
// reduced photo decoded in full, and a large one's regions decoded at full size. Decodes use
// `colour`'s screen.
PictureArea::Source areaSource(const Picture& picture, const ColourTransforms* colour);

} // namespace lumorra
