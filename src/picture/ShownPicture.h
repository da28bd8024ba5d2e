#pragma once

#include "PictureLoader.h"

#include <memory>

namespace lumorra {

class ColourTransforms;

// The picture on the screen: the file's bytes as they were read, still encoded, its natural
// size and format, and the image decoded for showing, perhaps reduced. Whatever else is wanted
// of it (the picture in full, a region at full size, a metafile drawn afresh at another size)
// is decoded from these bytes, never from the file, which may have been renamed, deleted or
// replaced since, and by the decoder workers as every decode is. Nothing decoded later is kept
// here: it never changes, and the views that show it share one, as
// std::shared_ptr<const ShownPicture>.
class ShownPicture {
public:
    // Decodes in `pool`'s workers into the colour space of `colour`'s screen, as loadPicture()
    // does; `pool` and `colour` outlive the picture and the decodes made from it.
    static std::shared_ptr<const ShownPicture>
    fromPicture(Picture picture, picture::DecoderPool& pool, const ColourTransforms* colour);
    // A file read and decoded for showing at `shown` pixels; throws like loadPicture().
    static std::shared_ptr<const ShownPicture> load(picture::DecoderPool& pool, const QString& path,
                                                    QSize shown, MetafilePolicy metafiles,
                                                    const ColourTransforms* colour);
    // The same for showing shrunk to fit (loadFittedPicture()).
    static std::shared_ptr<const ShownPicture> loadFitted(picture::DecoderPool& pool,
                                                          const QString& path, const FitBounds& fit,
                                                          MetafilePolicy metafiles,
                                                          const ColourTransforms* colour);
    // The picture in bytes read before, decoded for showing at `shown` pixels; throws like
    // decodePicture().
    static std::shared_ptr<const ShownPicture> decode(picture::DecoderPool& pool,
                                                      const QByteArray& bytes, QSize shown,
                                                      const ColourTransforms* colour);
    // A picture from elsewhere (the clipboard): no bytes, nothing more to be had of it. Its
    // natural size is the image's unless told.
    static std::shared_ptr<const ShownPicture> fromImage(const QImage& image,
                                                         QSize naturalSize = QSize());

    // The image decoded for showing; an animation's first frame.
    const QImage& image() const { return picture_.image; }
    QSize naturalSize() const { return picture_.naturalSize; }
    const QString& format() const { return picture_.format; }
    // Empty for a picture from elsewhere.
    const QByteArray& bytes() const { return picture_.bytes; }
    // An animated GIF or WebP: the bytes it plays from. Empty for a still picture.
    const QByteArray& animation() const { return picture_.animation; }
    bool isAnimation() const { return picture_.isAnimation(); }
    bool isMetafile() const { return picture_.isMetafile(); }
    // The image is smaller than the picture in full, or a camera RAW's preview.
    bool isReduced() const { return picture_.isReduced(); }
    // Too large to hold in full: the image is all of it there is, besides regions.
    bool fitsOnlyReduced() const { return picture_.fitsOnlyReduced; }

    // What more can be had: the picture in full (reduced, and no metafile, which is drawn
    // afresh instead), regions at full size (drawnFromRegions()), a drawing at any size.
    bool hasFull() const;
    bool hasRegions() const;
    bool isDrawn() const { return isMetafile() && !bytes().isEmpty(); }

    // The picture in full, decoded now and not kept: each caller holds it as long as it needs
    // it. The image held where that is the picture in full, and where the full one cannot be
    // had (no memory for it).
    QImage full() const;
    // A rectangle in natural pixels decoded at full size; throws like decodeRegion(). Safe to
    // call from several threads at once.
    QImage region(QRect rect) const;
    // A metafile drawn afresh at `size`; throws like drawMetafile().
    QImage drawn(QSize size) const;

    // Made by the functions above; public for std::make_shared. A picture from elsewhere has
    // no pool: nothing of it is decoded.
    ShownPicture(Picture picture, picture::DecoderPool* pool, const ColourTransforms* colour)
        : picture_(std::move(picture)), pool_(pool), colour_(colour) {}

private:
    const Picture picture_;
    picture::DecoderPool* const pool_;
    const ColourTransforms* const colour_;
};

} // namespace lumorra
