#include "PictureFormat.h"

#include <algorithm>
#include <vector>

namespace lumorra::picture {

// ListedFormats.cpp, which the build writes from the *Format.cpp files of this folder.
std::vector<const PictureFormat*> listedFormats();

bool PictureFormat::takesOver(PictureFile&, QByteArrayView, qint64) const {
    return false;
}

JobReply PictureFormat::size(PictureFile&, const FormatJob&) const {
    throw invalidPicture();
}

JobReply PictureFormat::decode(PictureFile&, const FormatJob&) const {
    throw invalidPicture();
}

JobReply PictureFormat::region(PictureFile&, QRect, qint64) const {
    throw invalidPicture();
}

std::unique_ptr<FrameReader> PictureFormat::frames(const QByteArray&, QByteArrayView,
                                                   qint64) const {
    throw invalidPicture();
}

JobReply PictureFormat::draw(const QByteArray&, QSize) const {
    throw invalidPicture();
}

std::span<const PictureFormat* const> pictureFormats() {
    // Sorted once, on first use, and constant from then on.
    static const std::vector<const PictureFormat*> formats = [] {
        std::vector<const PictureFormat*> all = listedFormats();
        std::stable_sort(
            all.begin(), all.end(),
            [](const PictureFormat* a, const PictureFormat* b) { return a->order() < b->order(); });
        return all;
    }();
    return formats;
}

const PictureFormat* claimingFormat(QByteArrayView head, QByteArrayView tail, QByteArray* name) {
    for (const PictureFormat* format : pictureFormats()) {
        QByteArray claimed = format->claims(head, tail);
        if (!claimed.isEmpty()) {
            if (name != nullptr)
                *name = std::move(claimed);
            return format;
        }
    }
    return nullptr;
}

const PictureFormat* namedFormat(QByteArrayView name) {
    for (const PictureFormat* format : pictureFormats()) {
        if (std::any_of(format->names().begin(), format->names().end(),
                        [&](const QByteArray& n) { return n == name; }))
            return format;
    }
    return nullptr;
}

} // namespace lumorra::picture
