#include "ShownPicture.h"

#include "platform/Error.h"

#include <new>

namespace lumorra {

std::shared_ptr<const ShownPicture> ShownPicture::fromPicture(Picture picture,
                                                              const ColourTransforms* colour) {
    return std::make_shared<const ShownPicture>(std::move(picture), colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::load(const QString& path, QSize shown,
                                                       MetafilePolicy metafiles,
                                                       const ColourTransforms* colour) {
    return fromPicture(loadPicture(path, shown, metafiles, colour), colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::decode(const QByteArray& bytes, QSize shown,
                                                         const ColourTransforms* colour) {
    return fromPicture(decodePicture(bytes, shown, MetafilePolicy::Load, colour), colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::fromImage(const QImage& image,
                                                            QSize naturalSize) {
    Picture picture;
    picture.image = image;
    picture.naturalSize = naturalSize.isValid() ? naturalSize : image.size();
    return fromPicture(std::move(picture), nullptr);
}

bool ShownPicture::hasFull() const {
    return isReduced() && !isMetafile() && !fitsOnlyReduced() && !bytes().isEmpty();
}

bool ShownPicture::hasRegions() const {
    return !bytes().isEmpty() && drawnFromRegions(picture_);
}

QImage ShownPicture::full() const {
    if (!hasFull())
        return image();
    try {
        QImage whole = decodePicture(bytes(), QSize(), MetafilePolicy::Load, colour_).image;
        if (whole.size() == naturalSize())
            return whole;
    } catch (const Error&) {
    } catch (const std::bad_alloc&) {
    }
    return image();
}

QImage ShownPicture::region(QRect rect) const {
    return decodeRegion(bytes(), rect, colour_);
}

QImage ShownPicture::drawn(QSize size) const {
    return drawMetafile(bytes(), format(), size);
}

} // namespace lumorra
