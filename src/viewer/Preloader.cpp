#include "Preloader.h"

#include "platform/FileSystem.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace lumorra {

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
            const std::optional<Picture>& p = entry.result.result();
            if (p)
                bytes += p->image.sizeInBytes();
        } else if (entry.shown.isValid()) {
            bytes += qint64(entry.shown.width()) * entry.shown.height() * 4 * 4;
        } else {
            bytes += MemoryCap; // a full decode of unknown size: count it as the whole cap
        }
    }
    return bytes;
}

void Preloader::preload(const std::vector<Request>& requests) {
    const auto wanted = [&](const QString& path, QSize shown) {
        return std::any_of(requests.begin(), requests.end(),
                           [&](const Request& r) { return r.path == path && r.shown == shown; });
    };
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (wanted(it->first, it->second.shown)) {
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
        Entry entry{r.shown, *stamp, {}};
        entry.result = QtConcurrent::run(
            [path = r.path, shown = r.shown, colour = &colour_]() -> std::optional<Picture> {
                try {
                    return loadPicture(path, shown, MetafilePolicy::Refuse, colour);
                } catch (...) {
                    return std::nullopt; // the viewer reads it again and reports what fails
                }
            });
        entries_.emplace(r.path, std::move(entry));
    }
}

std::optional<Picture> Preloader::take(const QString& path, QSize shown) {
    const auto it = entries_.find(path);
    if (it == entries_.end())
        return std::nullopt;
    Entry entry = std::move(it->second);
    entries_.erase(it);
    if (entry.shown != shown)
        return std::nullopt;
    std::optional<Picture> picture = entry.result.result();
    // The file must be the one that was read: same length, same modification time, before
    // and after the decode.
    if (!picture || stampOf(path) != std::optional<Stamp>(entry.stamp))
        return std::nullopt;
    return picture;
}

void Preloader::clear() {
    for (auto& [path, entry] : entries_)
        entry.result.waitForFinished();
    entries_.clear();
}

} // namespace lumorra
