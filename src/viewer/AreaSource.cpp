#include "AreaSource.h"

#include "picture/PictureLoader.h"

namespace lumorra {

PictureArea::Source areaSource(const Picture& picture, const ColourTransforms* colour) {
    PictureArea::Source source;
    const QByteArray bytes = picture.bytes;
    if (picture.isMetafile())
        source.renderer = [bytes, format = picture.format](QSize size) {
            return drawMetafile(bytes, format, size);
        };
    // A picture too large to hold in full stays reduced however large it is shown.
    if (picture.isReduced() && !picture.isMetafile() && !picture.fitsOnlyReduced)
        source.fullLoader = [bytes, colour] {
            return decodePicture(bytes, QSize(), MetafilePolicy::Load, colour).image;
        };
    if (drawnFromRegions(picture))
        source.regionLoader = [bytes, colour](QRect region) {
            return decodeRegion(bytes, region, colour);
        };
    source.bytes = bytes;
    return source;
}

} // namespace lumorra
