#include "Preloader.h"

#include "platform/FileSystem.h"
#include "platform/StartupProfile.h"
#include "ui/ScaledLevels.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace lumorra {
namespace {

// Whether a picture read for another size is what a decode for `shown` gives: the decoder
// scales JPEGs alone, by the eighths scaleFor() tells, and reads every other picture whole.
bool servesFor(const ShownPicture& picture, QSize shown) {
    if (picture.format() != QLatin1String("jpeg"))
        return true;
    const QSize wanted = scaledSize(picture.naturalSize(), scaleFor(picture.naturalSize(), shown));
    // One too large for memory in full is reduced at least as much as it fits, whatever the
    // size shown.
    if (picture.fitsOnlyReduced())
        return picture.image().width() <= wanted.width();
    return picture.image().size() == wanted;
}

} // namespace

Preloader::~Preloader() {
    clear();
}

std::optional<Preloader::Stamp> Preloader::stampOf(const QString& path) {
    try {
        return Stamp{fileLength(path), fileModified(path)};
    } catch (...) {
        return std::nullopt;
    }
}

qint64 Preloader::heldBytes() {
    qint64 bytes = 0;
    for (auto& [path, entry] : entries_) {
        if (entry.result.isFinished()) {
            if (const std::shared_ptr<const ShownPicture> p = entry.result.result())
                bytes += p->image().sizeInBytes() + p->bytes().size() +
                         (entry.drawing ? entry.drawing->sizeInBytes() : 0);
        } else if (const QSize expected =
                       entry.fit ? entry.fit->bounds * entry.fit->ratio : entry.shown;
                   expected.isValid()) {
            bytes += qint64(expected.width()) * expected.height() * 4 * 4;
        } else {
            bytes += MemoryCap; // a full decode of unknown size: count it as the whole cap
        }
    }
    return bytes;
}

void Preloader::preload(const std::vector<Request>& requests) {
    const auto wanted = [&](const QString& path, const Entry& entry) {
        return std::any_of(requests.begin(), requests.end(), [&](const Request& r) {
            return r.path == path && r.shown == entry.shown && r.fit == entry.fit;
        });
    };
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (wanted(it->first, it->second)) {
            ++it;
        } else {
            it->second.result.waitForFinished();
            it = entries_.erase(it);
        }
    }
    for (const Request& r : requests) {
        if (entries_.count(r.path) != 0)
            continue;
        if (heldBytes() >= MemoryCap)
            break;
        const std::optional<Stamp> stamp = stampOf(r.path);
        if (!stamp)
            continue;
        Entry entry{
            r.shown, *stamp, {}, r.fit, std::make_shared<QSize>(), std::make_shared<QImage>()};
        entry.result =
            QtConcurrent::run([path = r.path, shown = r.shown, fit = r.fit, drawnAt = r.drawnAt,
                               natural = entry.natural, drawing = entry.drawing, pool = &pool_,
                               colour = &colour_]() -> std::shared_ptr<const ShownPicture> {
                try {
                    profile::markOnce("decode: started");
                    std::shared_ptr<const ShownPicture> picture =
                        fit ? ShownPicture::loadFitted(*pool, path, *fit, MetafilePolicy::Refuse,
                                                       colour)
                            : ShownPicture::load(*pool, path, shown, MetafilePolicy::Refuse,
                                                 colour);
                    *natural = picture->naturalSize();
                    if (drawnAt && !picture->isAnimation())
                        *drawing = ScaledLevels::drawnAt(picture->image(),
                                                         drawnAt(picture->naturalSize()));
                    profile::markOnce("decode: done");
                    return picture;
                } catch (...) {
                    return nullptr; // the viewer reads it again and reports what fails
                }
            });
        entries_.emplace(r.path, std::move(entry));
    }
}

std::shared_ptr<const ShownPicture> Preloader::take(const QString& path, QSize shown,
                                                    QImage* drawing) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return nullptr;
    Entry entry = std::move(it->second);
    entries_.erase(it);
    std::shared_ptr<const ShownPicture> picture = entry.result.result();
    if (picture && (entry.shown != shown || entry.fit) && !servesFor(*picture, shown))
        return nullptr;
    // The file must be the one that was read: same length, same modification time, before
    // and after the decode.
    if (!picture || stampOf(path) != std::optional<Stamp>(entry.stamp))
        return nullptr;
    if (drawing && entry.drawing)
        *drawing = *entry.drawing;
    return picture;
}

std::optional<QSize> Preloader::naturalSize(const QString& path) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return std::nullopt;
    it->second.result.waitForFinished();
    const QSize natural = *it->second.natural;
    if (!natural.isValid() || stampOf(path) != std::optional<Stamp>(it->second.stamp))
        return std::nullopt;
    return natural;
}

void Preloader::keep(const Request& request, std::shared_ptr<const ShownPicture> picture,
                     Stamp stamp) {
    if (!picture || entries_.count(request.path) != 0)
        return;
    Entry entry{request.shown,
                std::move(stamp),
                QtFuture::makeReadyFuture(picture),
                request.fit,
                std::make_shared<QSize>(picture->naturalSize()),
                nullptr};
    entries_.emplace(request.path, std::move(entry));
}

void Preloader::adopt(Preloader& other) {
    entries_.merge(other.entries_);
    other.clear(); // what this one held already for the same files
}

void Preloader::clear() {
    for (auto& [path, entry] : entries_)
        entry.result.waitForFinished();
    entries_.clear();
}

} // namespace lumorra
