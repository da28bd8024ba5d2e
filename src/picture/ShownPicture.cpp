#include "ShownPicture.h"

#include "Decoding.h"
#include "platform/Error.h"

#include <new>

namespace lumorra {

std::shared_ptr<const ShownPicture> ShownPicture::fromPicture(Picture picture,
                                                              picture::DecoderPool& pool,
                                                              const ColourTransforms* colour) {
    return std::make_shared<const ShownPicture>(std::move(picture), &pool, colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::load(picture::DecoderPool& pool,
                                                       const QString& path, QSize shown,
                                                       MetafilePolicy metafiles,
                                                       const ColourTransforms* colour) {
    return fromPicture(loadPicture(pool, path, shown, metafiles, colour), pool, colour);
}

std::shared_ptr<const ShownPicture>
ShownPicture::loadFitted(picture::DecoderPool& pool, const QString& path, const FitBounds& fit,
                         MetafilePolicy metafiles, const ColourTransforms* colour) {
    return fromPicture(loadFittedPicture(pool, path, fit, metafiles, colour), pool, colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::decode(picture::DecoderPool& pool,
                                                         const QByteArray& bytes, QSize shown,
                                                         const ColourTransforms* colour) {
    return fromPicture(decodePicture(pool, bytes, shown, MetafilePolicy::Load, colour), pool,
                       colour);
}

std::shared_ptr<const ShownPicture> ShownPicture::fromImage(const QImage& image,
                                                            QSize naturalSize) {
    Picture picture;
    picture.image = image;
    picture.naturalSize = naturalSize.isValid() ? naturalSize : image.size();
    return std::make_shared<const ShownPicture>(std::move(picture), nullptr, nullptr);
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
        QImage whole = decodePicture(*pool_, bytes(), QSize(), MetafilePolicy::Load, colour_).image;
        if (whole.size() == naturalSize())
            return whole;
    } catch (const Error&) {
    } catch (const std::bad_alloc&) {
    }
    return image();
}

QImage ShownPicture::region(QRect rect) const {
    // A picture from elsewhere has no bytes to decode from.
    if (pool_ == nullptr)
        throw picture::invalidPicture();
    return decodeRegion(*pool_, bytes(), rect, colour_);
}

QImage ShownPicture::drawn(QSize size) const {
    // A picture from elsewhere is no metafile.
    if (pool_ == nullptr)
        throw Error::program(errc::InvalidCall);
    return drawMetafile(*pool_, bytes(), format(), size);
}

} // namespace lumorra
